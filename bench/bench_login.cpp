// "Log In" from the click to the form's arrival at the site's server, on a page served on
// 127.0.0.1: the first press (the web engine starts with it), a second press, a login in two
// steps over two pages, and the longest stall of the window's event loop during those last two.

#include "StallMeter.h"

#include "app/FMain.h"
#include "platform/LoginAgent.h"
#include "platform/MessageBox.h"
#include "support/LoginTestSite.h"
#include "util/Files.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

QByteArray page(const QByteArray& body)
{
    return "<!DOCTYPE html><html><head><meta charset=utf-8></head><body>" + body + "</body></html>";
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    UUtils::setAppDir(dir.path());
    for (int i = 0; i < 10; ++i)
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // no message waits for a user

    LoginTestSite site("127.0.0.1");
    site.setPage("/login", page("<h1>Sign in</h1><form method=post action=/done><input name=user>"
                                "<input type=password name=pass><button type=submit>Log in</button></form>"));
    site.setPage("/step1", page("<form method=post action=/step2><input type=email name=user>"
                                "<button type=submit>Continue</button></form>"));
    site.setPage("/step2", page("<form method=post action=/done><input type=password name=pass>"
                                "<button type=submit>Sign in</button></form>"));
    QElapsedTimer clock;
    qint64 arrived = -1;
    site.setOnPost([&](const QByteArray& path) {
        if (path == "/done")
            arrived = clock.nsecsElapsed();
    });

    TfrmMain window;
    window.show();
    QCoreApplication::processEvents();
    if (auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer1")))
        timer->stop(); // no news poll
    auto* loginUrl = window.findChild<QLineEdit*>(QStringLiteral("edtLoginURL"));
    auto* button = window.findChild<QPushButton*>(QStringLiteral("btnLogIn"));
    window.findChild<QLineEdit*>(QStringLiteral("edtLogin"))->setText(QStringLiteral("bench@example.com"));
    window.findChild<QLineEdit*>(QStringLiteral("edtPassword"))->setText(QStringLiteral("secret"));

    // One login: the time from the click until the form reached the server, in ms; -1 on failure.
    auto logIn = [&](const QByteArray& path) -> double {
        loginUrl->setText(site.url(path));
        arrived = -1;
        clock.start();
        button->click();
        QDeadlineTimer deadline(60000);
        while (arrived < 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Let the page after the form settle before the next login.
        QDeadlineTimer after(500);
        while (!after.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return arrived < 0 ? -1 : arrived / 1e6;
    };

    const double first = logIn("/login");
    if (first < 0)
        return 1;
    bench("login_first_press_with_engine_start", first, "ms");
    StallMeter meter;
    const double second = logIn("/login");
    if (second < 0)
        return 1;
    bench("login_second_press", second, "ms");
    const double steps = logIn("/step1");
    if (steps < 0)
        return 1;
    bench("login_two_steps", steps, "ms");
    bench("login_longest_stall", meter.longestMs(), "ms");
    return 0;
}
