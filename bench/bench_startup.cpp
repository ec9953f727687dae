// Time from process start to the main window shown, for the program without any files.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // A copy of the program in an empty folder: no records, no settings file.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quillet");
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("quillet"));
    if (!QFile::copy(program, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(program));
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLET_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QList<double> times;
    for (int run = 0; run < 7; ++run) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        QElapsedTimer timer;
        timer.start();
        process.start(copy, {});
        if (!process.waitForStarted(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(copy));
            return 1;
        }
        while (!process.canReadLine() && process.state() == QProcess::Running)
            process.waitForReadyRead(10000);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (process.readLine().trimmed() != "shown") {
            std::fprintf(stderr, "the program did not report its window\n");
            return 1;
        }
        process.waitForFinished(10000);
        if (run > 0) // the first run warms the disk cache
            times.append(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("BENCH startup_to_window_shown %.1f ms\n", times[times.size() / 2]);
    return 0;
}
