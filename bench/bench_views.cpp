// Figures of the browser pane, the HTML view and the balloon: the first "Browse" to a local page
// (the web engine starts with it), how long a news body takes from the selection to the screen
// (the first one loads the web engine plugin), the longest stall of the event loop while a
// hostile body renders, and a balloon with a 1 MB title.

#include "StallMeter.h"

#include "app/FMain.h"
#include "news/FNews.h"
#include "platform/HtmlView.h"
#include "platform/HttpClient.h"
#include "platform/MessageHint.h"
#include "platform/WebBrowser.h"

#include "news/NewsTestSupport.h"
#include "support/Controls.h"
#include "support/ScriptedHttpServer.h"

#include <QLineEdit>
#include <QPushButton>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

void bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Waits, with the event loop running, until the view has laid out its document.
bool waitShown(const THtmlView* view, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (view->isLoading() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return !view->isLoading();
}

QByteArray ordinaryBody(int seed)
{
    QByteArray body = "<html><body><h1>News " + QByteArray::number(seed) + "</h1>";
    while (body.size() < 20 * 1024)
        body += "<p>This month every member earns a <b>higher commission</b> on <a href=\"http://example.com/\">all "
                "products</a>; see the table below.</p><table><tr><td>Level</td><td>Rate</td></tr></table>\r\n";
    return body + "</body></html>";
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    UUtils::setAppDir(dir.path());
    NewsTest::writeSettings("1");
    NewsTest::answerBoxes(20);

    ScriptedHttpServer server;
    server.setHandler([](const ScriptedRequest& r, QTcpSocket* s) {
        if (r.method == "GET") {
            ScriptedHttpServer::reply(s, 200, "<html><body><h1>Login</h1><input name=user></body></html>");
            return;
        }
        const QByteArray id = NewsTest::formField(r, "newsid");
        if (id == "100")
            ScriptedHttpServer::reply(s, 200,
                                      QByteArray("<table><tr><td>").repeated(100) + "deep" +
                                          QByteArray("</td></tr></table>").repeated(100) + "\xAFOK");
        else
            ScriptedHttpServer::reply(s, 200, ordinaryBody(id.toInt()) + "\xAFOK");
    });

    {
        // The first "Browse" of a run, from the click to the page loaded.
        TfrmMain window;
        named<QTimer>(window, "Timer1")->stop();
        window.show();
        QCoreApplication::processEvents();
        named<QLineEdit>(window, "edtWebsiteURL")->setText(QString::fromLatin1(server.url("/login")));
        bool loaded = false;
        QElapsedTimer clock;
        clock.start();
        named<QPushButton>(window, "btnBrowseWebsite")->click(); // makes the pane's adapter
        QObject::connect(window.webBrowser(), &TWebBrowser::loadFinished, [&loaded](bool) { loaded = true; });
        QDeadlineTimer deadline(60000);
        while (!loaded && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!loaded)
            return 1;
        bench("browse_first_local_page", clock.nsecsElapsed() / 1e6, "ms");
    }
    NewsTest::useMasterLevel(server.url("/")); // after the main window's branding

    THttpClient http;
    {
        TfrmNews window(&http, {"3^First^June 3", "2^Second^June 2", "100^Deep^June 1"});
        window.show();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        for (const auto& [row, name] :
             {std::pair{0, "news_body_20kb_shown_first"}, {1, "news_body_20kb_shown_second"}}) {
            clock.start();
            window.lvwItems->setCurrentItem(window.lvwItems->topLevelItem(row));
            if (!waitShown(window.prfEditorNews, 60000))
                return 1;
            bench(name, clock.nsecsElapsed() / 1e6, "ms");
        }

        StallMeter meter;
        window.lvwItems->setCurrentItem(window.lvwItems->topLevelItem(2));
        if (!waitShown(window.prfEditorNews, 60000))
            return 1;
        // The frames of the laid-out page still arrive after it reports itself shown.
        QDeadlineTimer after(1000);
        while (!after.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        bench("news_body_100_tables_longest_stall", meter.longestMs(), "ms");
    }

    {
        TMessageHint hint;
        const QString title = QStringLiteral("You've Got A Message!\r\n") + QString(1 << 20, QLatin1Char('W'));
        QElapsedTimer clock;
        clock.start();
        hint.showHint(QGuiApplication::primaryScreen()->geometry().center(), title);
        hint.repaint();
        bench("balloon_show_1mb_title", clock.nsecsElapsed() / 1e6, "ms");
    }
    return 0;
}
