// Scratch: the adapter on its own, until the window exists.
#include "platform/Clipboard.h"
#include "platform/WebBrowser.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <QVBoxLayout>

class TstBrowserPane : public QObject
{
    Q_OBJECT
    TestHttpServer m_server;
    QWidget* m_window = nullptr;
    TWebBrowser* m_browser = nullptr;

    QVariant js(const QString& script)
    {
        QVariant result;
        bool done = false;
        m_browser->view()->page()->runJavaScript(script, [&](const QVariant& v) { result = v; done = true; });
        if (!QTest::qWaitFor([&] { return done; }, 10000))
            qWarning() << "js timeout" << script;
        return result;
    }
    bool load(const QString& path)
    {
        QSignalSpy spy(m_browser, &TWebBrowser::loadFinished);
        m_browser->navigate(m_server.url(path).toString());
        return spy.wait(20000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        m_server.setPage("/a", "<html><title>A</title><body><a id=l href='/b'>to b</a></body></html>");
        m_server.setPage("/b", "<html><title>B</title><body>b</body></html>");
        m_server.setPage("/c", "<html><title>C</title><body>c</body></html>");
        m_server.setPage("/login", "<html><body><input id=user><input id=pass type=password></body></html>");
        m_server.setPage("/popup", "<html><body onload=\"window.open('/c')\"><a id=t target=_blank href='/c' "
                                   "style='display:block;width:300px;height:100px'>new</a></body></html>");
        m_server.setEndless("/endless");
        m_window = new QWidget;
        m_window->resize(800, 600);
        auto* c = new QWidget(m_window);
        auto* l = new QVBoxLayout(m_window);
        l->addWidget(c);
        m_browser = new TWebBrowser(c);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanupTestCase() { delete m_window; }

    void basics()
    {
        QVERIFY(!m_browser->view());
        QVERIFY(!m_browser->goBack());
        QVERIFY(!m_browser->paste());
        QElapsedTimer t; t.start();
        QVERIFY(load("/a"));
        qDebug() << "first load ms" << t.elapsed();
        QVERIFY(load("/b"));
        QVERIFY(m_browser->goBack());
        QTRY_COMPARE(m_browser->view()->url(), m_server.url("/a"));
        QVERIFY(!m_browser->goBack());
        QVERIFY(m_browser->goForward());
        QTRY_COMPARE(m_browser->view()->url(), m_server.url("/b"));
        QVERIFY(!m_browser->goForward());
    }
    void endless()
    {
        QSignalSpy started(m_browser, &TWebBrowser::loadStarted);
        m_browser->navigate(m_server.url("/endless").toString());
        QTRY_VERIFY(m_server.requestCount("/endless") == 1);
        QTRY_VERIFY(m_browser->busy());
        QTest::qWait(500);
        QVERIFY(m_browser->busy());
        QSignalSpy fin(m_browser, &TWebBrowser::loadFinished);
        m_browser->stop();
        QVERIFY(fin.wait(5000));
        QVERIFY(!m_browser->busy());
        qDebug() << m_browser->view()->url() << fin.at(0);
        QVERIFY(m_browser->goBack());
        QTRY_COMPARE(m_browser->view()->url(), m_server.url("/a"));
    }
    void paste()
    {
        QVERIFY(load("/login"));
        m_browser->view()->setFocus();
        js("document.getElementById('pass').focus()");
        TClipboard::setText(QStringLiteral("pässwörd€"));
        QVERIFY(m_browser->paste());
        QTRY_COMPARE(js("document.getElementById('pass').value").toString(), QStringLiteral("pässwörd€"));
        TClipboard::setText(QString());
        QCOMPARE(TClipboard::text(), QString());
        QVERIFY(m_browser->paste());
        QTest::qWait(300);
        QCOMPARE(js("document.getElementById('pass').value").toString(), QStringLiteral("pässwörd€"));
    }
    void popup()
    {
        m_server.clearRequests();
        QVERIFY(load("/popup"));
        QTest::qWait(500);
        qDebug() << m_server.requests();
        QVariant r = js("var r=document.getElementById('t').getBoundingClientRect(); [r.left+10, r.top+10]");
        QList<QVariant> xy = r.toList();
        QWidget* target = m_browser->view()->focusProxy();
        QVERIFY(target);
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(xy.at(0).toInt(), xy.at(1).toInt()));
        QTRY_COMPARE(m_browser->view()->url(), m_server.url("/c"));
        qDebug() << m_server.requests();
    }
    void bad_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("unresolvable") << "http://nowhere.invalid/";
        QTest::newRow("refused") << "http://127.0.0.1:1/";
        QTest::newRow("words") << "not an address";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("100KB") << "http://127.0.0.1/" + QString(100 * 1024, QLatin1Char('x'));
    }
    void bad()
    {
        QFETCH(QString, address);
        QSignalSpy fin(m_browser, &TWebBrowser::loadFinished);
        QSignalSpy st(m_browser, &TWebBrowser::loadStarted);
        m_browser->navigate(address);
        fin.wait(5000);
        qDebug() << st.count() << fin.count() << m_browser->view()->url().toString().left(80) << m_browser->busy();
        QVERIFY(load("/b"));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TstBrowserPane tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_browserpane.moc"
