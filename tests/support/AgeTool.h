#pragma once

// Runs the real `age` tool, which reads pass phrases from a terminal only: through a pseudo-terminal
// (forkpty), answering each "passphrase" prompt with the given pass phrase. Bounded in time.
#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

struct AgeRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray output; // what age wrote to the terminal
};

// args without the program name, e.g. {"-p", "-o", out, in}. Answers every prompt that ends in ':'
// after the word "passphrase" with passPhrase (bytes, as typed).
inline AgeRun runAgeWithPassPhrase(const QStringList& args, const QByteArray& passPhrase, int timeoutMs = 60000)
{
    AgeRun run;
    std::vector<QByteArray> argBytes;
    argBytes.push_back("age");
    for (const QString& a : args)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return run;
    if (pid == 0) {
        execvp("age", argv.data());
        _exit(127);
    }
    QElapsedTimer clock;
    clock.start();
    qsizetype answered = 0; // prompts answered so far, counted in the output
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        const int left = int(timeoutMs - clock.elapsed());
        if (left <= 0)
            break;
        if (poll(&fd, 1, std::min(left, 200)) > 0) {
            char buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                break; // the terminal closed: age ended
            run.output.append(buf, n);
            const qsizetype prompts = run.output.toLower().count("passphrase");
            if (prompts > answered && run.output.trimmed().endsWith(':')) {
                answered = prompts;
                const QByteArray line = passPhrase + "\r";
                if (write(master, line.constData(), size_t(line.size())) != line.size())
                    break;
            }
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.finished = true;
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            close(master);
            return run;
        }
    }
    // The terminal closed (age ended) or the time ran out.
    int status = 0;
    while (clock.elapsed() < timeoutMs) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.finished = true;
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            close(master);
            return run;
        }
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(master);
    return run;
}
