// The HTML view: documents render in a renderer process of their own, read no local file,
// stop at the time-out, and survive the death of their renderer.

#include "platform/HtmlView.h"

#include "support/HtmlViewProbe.h"
#include "support/TestHttpServer.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

#include <csignal>

using namespace HtmlViewProbe;

class TestHtmlView : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    TestHttpServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_server.isListening());
        m_server.setPage("/pic.png", pngBytes(4, 4), "image/png");
        m_server.setPage("/style.css", "#probe { width: 123px; }", "text/css");
        m_server.setEndless("/never");
        m_server.setPage("/page", "<p>a web page</p>");
        QFile pic(m_dir.filePath("pic.png"));
        QVERIFY(pic.open(QIODevice::WriteOnly));
        pic.write(pngBytes(4, 4));
        pic.close();
        QFile css(m_dir.filePath("style.css"));
        QVERIFY(css.open(QIODevice::WriteOnly));
        css.write("#probe { width: 123px; }");
        css.close();
    }

    void showsTheDocumentOutOfProcess()
    {
        THtmlView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(!view.view()); // no engine before the first document
        QSignalSpy finished(&view, &THtmlView::loadFinished);
        view.setHtml(QStringLiteral("<title>Plain</title><p><b>Hi</b> caf\u00E9 \u20AC</p>"
                                    "<script>document.title = 'scripted';</script>"));
        QVERIFY(view.isLoading());
        QCOMPARE(shownText(&view), QStringLiteral("Hi caf\u00E9 \u20AC"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(engineView(view)->title(), QStringLiteral("Plain")); // no script ran
        const qint64 renderer = engineView(view)->page()->renderProcessPid();
        QVERIFY(renderer > 0);
        QVERIFY(renderer != QCoreApplication::applicationPid());

        // A new document replaces the old one whole.
        view.setHtml(QStringLiteral("<p>two</p>"));
        QCOMPARE(shownText(&view), QStringLiteral("two"));
        QCOMPARE(view.html(), QStringLiteral("<p>two</p>"));
    }

    void whatADocumentMayRead_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("probe"); // a script whose answer tells whether the resource was read
        QTest::addColumn<int>("whenRead");  // the probe's answer when it was
        QTest::addColumn<bool>("readByNews");
        QTest::addColumn<bool>("readByWelcome");
        const QString dir = QUrl::fromLocalFile(m_dir.path() + "/").toString();
        const QString web = m_server.url("/").toString();
        const QString imageWidth = "document.getElementById('i').naturalWidth";
        const QString boxWidth = "document.getElementById('probe').offsetWidth";
        const QString probeBox = "<div id=probe style='display:inline-block'>x</div>";

        QTest::newRow("web picture") << "<img id=i src='" + web + "pic.png'>" << imageWidth << 4 << false << true;
        QTest::newRow("web style sheet") << "<link rel=stylesheet href='" + web + "style.css'>" + probeBox << boxWidth
                                         << 123 << false << true;
        QTest::newRow("file picture") << "<img id=i src='" + dir + "pic.png'>" << imageWidth << 4 << false << false;
        QTest::newRow("file style sheet")
            << "<link rel=stylesheet href='" + dir + "style.css'>" + probeBox << boxWidth << 123 << false << false;
        QTest::newRow("picture under a file base")
            << "<base href='" + dir + "'><img id=i src='pic.png'>" << imageWidth << 4 << false << false;
        QTest::newRow("bare path") << "<img id=i src='" + m_dir.path() + "/pic.png'>" << imageWidth << 4 << false
                                   << false;
    }
    void whatADocumentMayRead()
    {
        QFETCH(QString, document);
        QFETCH(QString, probe);
        QFETCH(int, whenRead);
        QFETCH(bool, readByNews);
        QFETCH(bool, readByWelcome);
        for (const bool welcome : {false, true}) { // set up as the news body and as the welcome page
            THtmlView view;
            view.setLoadsWebContent(welcome);
            view.setFollowLinks(welcome);
            view.resize(400, 300);
            view.show();
            view.setHtml(document);
            QVERIFY(waitLoaded(&view));
            const QVariant answer = evaluate(&view, probe);
            QVERIFY2(answer.isValid(), qPrintable(probe));
            QCOMPARE(answer.toInt() == whenRead, welcome ? readByWelcome : readByNews);
        }
    }

    void linksOpenOnlyWhereFollowed_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("opens");
        const QString web = m_server.url("/page").toString();
        const QString file = QUrl::fromLocalFile(m_dir.filePath("style.css")).toString();
        QTest::newRow("news body, web link") << false << web << false;
        QTest::newRow("welcome page, web link") << true << web << true;
        QTest::newRow("welcome page, file link") << true << file << false;
    }
    void linksOpenOnlyWhereFollowed()
    {
        QFETCH(bool, follow);
        QFETCH(QString, target);
        QFETCH(bool, opens);
        THtmlView view;
        view.setLoadsWebContent(follow);
        view.setFollowLinks(follow);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setHtml("<a id=l href='" + target + "' style='display:block;width:200px;height:100px'>go</a>");
        QVERIFY(waitLoaded(&view));
        const QVariant box = evaluate(&view, "(r => [r.x + r.width / 2, r.y + r.height / 2])"
                                             "(document.getElementById('l').getBoundingClientRect())");
        const QVariantList centre = box.toList();
        QCOMPARE(centre.size(), 2);
        const int before = m_server.requestCount("/page");
        QWidget* surface = engineView(view)->focusProxy();
        QVERIFY(surface);
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(centre[0].toInt(), centre[1].toInt()));
        if (opens) {
            QTRY_COMPARE_WITH_TIMEOUT(engineView(view)->url().toString(), target, 10000);
            QCOMPARE(m_server.requestCount("/page"), before + 1);
        } else {
            QTest::qWait(1000);
            QCOMPARE(engineView(view)->url().scheme(), QStringLiteral("quillet-html"));
            QCOMPARE(m_server.requestCount("/page"), before);
            QCOMPARE(shownText(&view), QStringLiteral("go"));
        }
    }

    void aRedirectToAFileIsRefused()
    {
        THtmlView view;
        view.setFollowLinks(true);
        view.show();
        const QString target = QUrl::fromLocalFile(m_dir.filePath("style.css")).toString();
        view.setHtml("<meta http-equiv=refresh content='0; url=" + target + "'><p>stays</p>");
        QTest::qWait(1500);
        QCOMPARE(shownText(&view), QStringLiteral("stays"));
        QCOMPARE(engineView(view)->url().scheme(), QStringLiteral("quillet-html"));
    }

    void aStuckDocumentStopsAtTheTimeout()
    {
        THtmlView view;
        view.setLoadsWebContent(true); // a frame from a server that never ends its answer
        view.setTimeout(800);
        view.show();
        QSignalSpy timedOut(&view, &THtmlView::timedOut);
        QSignalSpy finished(&view, &THtmlView::loadFinished);
        view.setHtml("<p>waiting</p><iframe src='" + m_server.url("/never").toString() + "'></iframe>");
        QVERIFY(timedOut.wait(10000));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QVERIFY(!view.isLoading());
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(shownText(&view).startsWith(QStringLiteral("waiting")));
        // The view goes on with the next document.
        view.setHtml("<p>next</p>");
        QCOMPARE(shownText(&view), QStringLiteral("next"));
        QTest::qWait(1000);
        QCOMPARE(timedOut.size(), 1);
    }

    void aRendererBusyPastTheTimeoutIsGivenUp()
    {
        // 5,000 nested tables keep a renderer busy laying them out for far longer than the time-out.
        THtmlView view;
        view.setTimeout(1500);
        view.show();
        QSignalSpy finished(&view, &THtmlView::loadFinished);
        view.setHtml(QString("<table><tr><td>").repeated(5000) + "deep" + QString("</td></tr></table>").repeated(5000));
        const qint64 renderer = engineView(view)->page()->renderProcessPid();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(view.html().isEmpty());
        QCOMPARE(shownText(&view), QString()); // the view is empty
        if (renderer > 0)                      // the busy renderer goes with its view
            QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(renderer), 0) != 0, 10000);
        view.setHtml("<p>next</p>");
        QCOMPARE(shownText(&view, 5000), QStringLiteral("next"));
    }

    void aDeadRendererLeavesAnEmptyView()
    {
        THtmlView view;
        view.show();
        view.setHtml("<p>alive</p>");
        QCOMPARE(shownText(&view), QStringLiteral("alive"));
        const qint64 renderer = engineView(view)->page()->renderProcessPid();
        QVERIFY(renderer > 0);
        QSignalSpy died(&view, &THtmlView::rendererDied);
        QCOMPARE(::kill(pid_t(renderer), SIGKILL), 0);
        QVERIFY(died.wait(10000));
        QVERIFY(view.html().isEmpty());
        QCOMPARE(shownText(&view), QString());
        view.setHtml("<p>again</p>");
        QCOMPARE(shownText(&view), QStringLiteral("again"));
        QVERIFY(engineView(view)->page()->renderProcessPid() != renderer);
    }
};

QTEST_MAIN(TestHtmlView)
#include "tst_htmlview.moc"
