// The built-in browser pane of the main window, driven through its buttons against pages served on
// 127.0.0.1. One window and one web engine serve every test: the engine is slow to start.

#include "app/Application.h"
#include "app/FMain.h"
#include "platform/Clipboard.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "support/Controls.h"
#include "support/PageScript.h"
#include "support/TestHttpServer.h"
#include "util/Files.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

class TstBrowserPane : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TestHttpServer m_server;
    TfrmMain* m_w = nullptr;

    QWebEngineView* view() const { return named<QWidget>(m_w, "EmbeddedWB1")->findChild<QWebEngineView*>(); }
    QString address(const QString& path) const { return m_server.url(path).toString(); }

    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Runs action and waits until a load ends successfully at url. A stopped load that reports its
    // end late does not count.
    bool loadsAt(const std::function<void()>& action, const QUrl& url, int timeoutMs = 20000)
    {
        bool loaded = false;
        const QMetaObject::Connection c = connect(m_w->webBrowser(), &TWebBrowser::loadFinished, this, [&](bool ok) {
            if (ok && view()->url() == url)
                loaded = true;
        });
        action();
        (void)QTest::qWaitFor([&] { return loaded; }, timeoutMs);
        disconnect(c);
        return loaded;
    }

    bool clickLoads(QAbstractButton* button, const QString& path)
    {
        return loadsAt([&] { click(button); }, m_server.url(path));
    }

    bool go(const QString& path)
    {
        named<QLineEdit>(m_w, "edtURL")->setText(address(path));
        return clickLoads(named<QPushButton>(m_w, "bsSkinButton2"), path);
    }

    QVariant js(const QString& script) { return runPageScript(view()->page(), script); }

    QWidget* pageWidget() const { return view()->focusProxy(); }

    // A freshly loaded page drops mouse input until it is ready for it: click an empty corner
    // until the page sees a press.
    void waitForPageInput()
    {
        js(QStringLiteral(
            "window.presses = 0; document.addEventListener('mousedown', function() { ++window.presses; }, true);"));
        const QPoint corner(pageWidget()->width() - 5, pageWidget()->height() - 5);
        for (int i = 0; i < 50; ++i) {
            QTest::mouseClick(pageWidget(), Qt::LeftButton, {}, corner);
            if (js(QStringLiteral("window.presses")).toInt() > 0)
                return;
            QTest::qWait(100);
        }
        QFAIL("the page takes no mouse input");
    }

    // A real mouse click on the page element with the given id.
    void clickElement(const QString& id)
    {
        waitForPageInput();
        const QVariantList xy =
            js(QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                              "return [r.left + 5, r.top + 5];})()")
                   .arg(id))
                .toList();
        QCOMPARE(xy.size(), 2);
        QTest::mouseClick(pageWidget(), Qt::LeftButton, {}, QPoint(xy.at(0).toInt(), xy.at(1).toInt()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UUtils::setAppDir(m_dir.path()); // an empty program folder: no branding, no records
        QVERIFY(m_server.isListening());
        m_server.setPage("/a",
                         "<html><head><title>A</title></head><body>"
                         "<a id=link href='/b' style='display:block;width:200px;height:40px'>to b</a></body></html>");
        m_server.setPage("/b", "<html><head><title>B</title></head><body>b</body></html>");
        m_server.setPage("/c", "<html><head><title>C</title></head><body>c</body></html>");
        m_server.setPage("/login", "<html><body><form>"
                                   "<input id=user style='width:200px;height:30px'><br>"
                                   "<input id=pass type=password style='width:200px;height:30px'>"
                                   "</form></body></html>");
        m_server.setPage("/popup", "<html><body onload=\"window.open('/c')\">"
                                   "<a id=tab target=_blank href='/b' style='display:block;width:200px;height:40px'>"
                                   "new window</a></body></html>");
        m_server.setResponse("/redirect", 302, {"Location: /b"}, QByteArray());
        m_server.setResponse(
            "/download", 200,
            {"Content-Type: application/octet-stream", "Content-Disposition: attachment; filename=x.bin"},
            QByteArray(64 * 1024, 'x'));
        m_server.setEndless("/endless");

        m_w = new TfrmMain;
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w));
        named<QTimer>(m_w, "Timer1")->stop(); // no news poll during these tests
    }

    void cleanupTestCase() { delete m_w; }

    void init() { TMessageBox::clearTestState(); }

    // The pane never talks to the user.
    void cleanup() { QVERIFY(TMessageBox::shownMessages().isEmpty()); }

    // Until the first navigation there is no page view and the web engine has not started: every
    // button but "Browse"/"Go!" with text does nothing, "Paste" only sets the clipboard.
    void beforeFirstNavigation()
    {
        named<QLineEdit>(m_w, "edtURL")->setText(QStringLiteral("typed"));
        for (QLineEdit* f : {named<QLineEdit>(m_w, "edtWebsiteURL"), named<QLineEdit>(m_w, "edtLoginURL"),
                             named<QLineEdit>(m_w, "edtAffiliateURL"), named<QLineEdit>(m_w, "edtCloaked")})
            f->clear();
        const QList<QAbstractButton*> buttons = {
            named<QToolButton>(m_w, "bsSkinSpeedButton1"), named<QToolButton>(m_w, "bsSkinSpeedButton2"),
            named<QToolButton>(m_w, "bsSkinSpeedButton4"), named<QToolButton>(m_w, "bsSkinSpeedButton3"),
            named<QPushButton>(m_w, "btnBrowseWebsite"),   named<QPushButton>(m_w, "btnBrowseLogin"),
            named<QPushButton>(m_w, "btnBrowseAffiliate"), named<QPushButton>(m_w, "btnBrowseCloaked")};
        for (QAbstractButton* b : buttons)
            click(b);
        // Enter in the address box does not navigate.
        named<QLineEdit>(m_w, "edtURL")->setFocus();
        QTest::keyClick(named<QLineEdit>(m_w, "edtURL"), Qt::Key_Return);

        named<QLineEdit>(m_w, "edtLogin")->setText(QStringLiteral("someone"));
        click(named<QPushButton>(m_w, "btnUPaste"));
        QCOMPARE(TClipboard::text(), QStringLiteral("someone"));

        QTest::qWait(200);
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), QStringLiteral("typed"));
        QVERIFY(!view());
        QVERIFY(m_server.requests().isEmpty());
    }

    void browse_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::newRow("website") << "btnBrowseWebsite"
                                 << "edtWebsiteURL";
        QTest::newRow("login") << "btnBrowseLogin"
                               << "edtLoginURL";
        QTest::newRow("affiliate") << "btnBrowseAffiliate"
                                   << "edtAffiliateURL";
        QTest::newRow("cloaked") << "btnBrowseCloaked"
                                 << "edtCloaked";
    }

    // "Browse" puts the field's text into the address box exactly and loads it.
    void browse()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        auto* edit = m_w->findChild<QLineEdit*>(field);
        auto* btn = m_w->findChild<QPushButton*>(button);
        QVERIFY(edit && btn);
        const QString target = address(QStringLiteral("/a?from=") + field);
        edit->setText(target);
        named<QLineEdit>(m_w, "edtURL")->setText(QStringLiteral("something else"));
        m_server.clearRequests();

        QVERIFY(loadsAt([&] { click(btn); }, QUrl(target)));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), target);
        QCOMPARE(view()->url(), QUrl(target));
        QCOMPARE(view()->title(), QStringLiteral("A"));
        QVERIFY(m_server.requests().contains(QStringLiteral("/a?from=") + field));
        edit->clear();
    }

    // "Go!" loads the address box's text and leaves it as it is; Enter in the box does nothing.
    void goButton()
    {
        QVERIFY(go(QStringLiteral("/b")));
        QCOMPARE(view()->url(), m_server.url(QStringLiteral("/b")));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), address(QStringLiteral("/b")));

        m_server.clearRequests();
        named<QLineEdit>(m_w, "edtURL")->setText(address(QStringLiteral("/c")));
        named<QLineEdit>(m_w, "edtURL")->setFocus();
        QTest::keyClick(named<QLineEdit>(m_w, "edtURL"), Qt::Key_Return);
        QTest::qWait(500);
        QCOMPARE(m_server.requestCount(QStringLiteral("/c")), 0);
        QCOMPARE(view()->url(), m_server.url(QStringLiteral("/b")));

        // An empty address box: nothing.
        named<QLineEdit>(m_w, "edtURL")->clear();
        click(named<QPushButton>(m_w, "bsSkinButton2"));
        QTest::qWait(300);
        QCOMPARE(m_server.requestCount(QStringLiteral("/c")), 0);
        QCOMPARE(view()->url(), m_server.url(QStringLiteral("/b")));
    }

    // Back and Forward walk the history and do nothing at its ends; Refresh loads again. None of
    // them touches the address box.
    void history()
    {
        QVERIFY(go(QStringLiteral("/a")));
        view()->history()->clear(); // the history starts here: /a, then /b
        QVERIFY(go(QStringLiteral("/b")));
        const QString typed = named<QLineEdit>(m_w, "edtURL")->text();

        QVERIFY(clickLoads(named<QToolButton>(m_w, "bsSkinSpeedButton1"), QStringLiteral("/a")));
        m_server.clearRequests();
        click(named<QToolButton>(m_w, "bsSkinSpeedButton1")); // no earlier page
        QTest::qWait(300);
        QCOMPARE(view()->url(), m_server.url(QStringLiteral("/a")));

        QVERIFY(clickLoads(named<QToolButton>(m_w, "bsSkinSpeedButton2"), QStringLiteral("/b")));
        click(named<QToolButton>(m_w, "bsSkinSpeedButton2")); // no later page
        QTest::qWait(300);
        QCOMPARE(view()->url(), m_server.url(QStringLiteral("/b")));
        QCOMPARE(m_server.requestCount(QStringLiteral("/a")), 0);

        m_server.clearRequests();
        QVERIFY(clickLoads(named<QToolButton>(m_w, "bsSkinSpeedButton4"), QStringLiteral("/b")));
        QCOMPARE(m_server.requestCount(QStringLiteral("/b")), 1);

        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), typed);
    }

    // A page that never finishes: Stop ends the loading, Back still works, and "Browse" during
    // such a load stops it and loads the new address.
    void stopEndlessPage()
    {
        QVERIFY(go(QStringLiteral("/a")));
        TWebBrowser* browser = m_w->webBrowser();

        named<QLineEdit>(m_w, "edtURL")->setText(address(QStringLiteral("/endless")));
        click(named<QPushButton>(m_w, "bsSkinButton2"));
        QTRY_VERIFY(browser->busy());
        QTRY_COMPARE(m_server.requestCount(QStringLiteral("/endless")), 1);
        QTest::qWait(300);
        QVERIFY(browser->busy());

        QSignalSpy finished(browser, &TWebBrowser::loadFinished);
        click(named<QToolButton>(m_w, "bsSkinSpeedButton3"));
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(!browser->busy());
        click(named<QToolButton>(m_w, "bsSkinSpeedButton3")); // nothing loads: nothing happens
        QTest::qWait(200);

        QVERIFY(clickLoads(named<QToolButton>(m_w, "bsSkinSpeedButton1"), QStringLiteral("/a")));

        click(named<QPushButton>(m_w, "bsSkinButton2")); // the endless page again
        QTRY_VERIFY(browser->busy());

        named<QLineEdit>(m_w, "edtWebsiteURL")->setText(address(QStringLiteral("/c")));
        QVERIFY(clickLoads(named<QPushButton>(m_w, "btnBrowseWebsite"), QStringLiteral("/c")));
        QCOMPARE(view()->title(), QStringLiteral("C"));
        QVERIFY(!browser->busy());
        named<QLineEdit>(m_w, "edtWebsiteURL")->clear();
    }

    void paste_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("text");
        QTest::newRow("username") << "btnUPaste"
                                  << "edtLogin"
                                  << "user" << QStringLiteral("jöe.user€");
        QTest::newRow("password") << "btnPPaste"
                                  << "edtPassword"
                                  << "pass" << QStringLiteral("p@ss wörd ");
    }

    // "Paste" with the cursor in a page's input fills that input and leaves the text on the clipboard.
    void paste()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, text);
        QVERIFY(go(QStringLiteral("/login")));
        m_w->findChild<QLineEdit*>(field)->setText(text);
        TClipboard::setText(QStringLiteral("previous"));

        clickElement(input);
        QTRY_COMPARE(js(QStringLiteral("document.activeElement.id")).toString(), input);
        click(m_w->findChild<QPushButton*>(button));

        const QString read = QStringLiteral("document.getElementById('%1').value").arg(input);
        QTRY_COMPARE(js(read).toString(), text);
        QCOMPARE(TClipboard::text(), text);
        QCOMPARE(QApplication::focusWidget(), pageWidget()); // the button took no focus
        const QString other = input == QLatin1String("user") ? QStringLiteral("pass") : QStringLiteral("user");
        QCOMPARE(js(QStringLiteral("document.getElementById('%1').value").arg(other)).toString(), QString());
        m_w->findChild<QLineEdit*>(field)->clear();
    }

    // "Paste" beside an empty field empties the clipboard's text and inserts nothing.
    void pasteEmptyField()
    {
        QVERIFY(go(QStringLiteral("/login")));
        js(QStringLiteral("document.getElementById('user').value = 'abc'"));
        clickElement(QStringLiteral("user"));
        QTRY_COMPARE(js(QStringLiteral("document.activeElement.id")).toString(), QStringLiteral("user"));
        TClipboard::setText(QStringLiteral("previous"));
        named<QLineEdit>(m_w, "edtLogin")->clear();

        click(named<QPushButton>(m_w, "btnUPaste"));
        QTest::qWait(500);
        QCOMPARE(TClipboard::text(), QString());
        QCOMPARE(js(QStringLiteral("document.getElementById('user').value")).toString(), QStringLiteral("abc"));
    }

    // Where the page goes by itself (a link, a redirection), the address box stays as typed.
    void addressBoxKeepsTypedText()
    {
        QVERIFY(go(QStringLiteral("/a")));
        const QString typed = named<QLineEdit>(m_w, "edtURL")->text();
        QVERIFY(loadsAt([&] { clickElement(QStringLiteral("link")); }, m_server.url(QStringLiteral("/b"))));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), typed);

        named<QLineEdit>(m_w, "edtURL")->setText(address(QStringLiteral("/redirect")));
        QVERIFY(clickLoads(named<QPushButton>(m_w, "bsSkinButton2"), QStringLiteral("/b")));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), address(QStringLiteral("/redirect")));
    }

    // A page may not open windows by itself; a link the user clicks that asks for a new window
    // opens in the pane. No window appears either way.
    void popups()
    {
        const int windows = int(QApplication::topLevelWidgets().size());
        m_server.clearRequests();
        QVERIFY(go(QStringLiteral("/popup")));
        QTest::qWait(500);
        QCOMPARE(m_server.requestCount(QStringLiteral("/c")), 0);

        QVERIFY(loadsAt([&] { clickElement(QStringLiteral("tab")); }, m_server.url(QStringLiteral("/b"))));
        QCOMPARE(m_server.requestCount(QStringLiteral("/c")), 0);
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windows);
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), address(QStringLiteral("/popup")));
    }

    // An address stored without a scheme, as such records often hold it, opens the page as a
    // browser's address box would; edtURL shows it as typed.
    void addressWithoutScheme()
    {
        const QString typed = address(QStringLiteral("/c")).mid(int(qstrlen("http://")));
        named<QLineEdit>(m_w, "edtLoginURL")->setText(typed);
        QVERIFY(clickLoads(named<QPushButton>(m_w, "btnBrowseLogin"), QStringLiteral("/c")));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), typed);
        QCOMPARE(view()->title(), QStringLiteral("C"));
        QCOMPARE(TWebBrowser::resolve(QStringLiteral("www.site.example")), QUrl("http://www.site.example"));
        QCOMPARE(TWebBrowser::resolve(QStringLiteral("https://a.example/x")), QUrl("https://a.example/x"));

        // Ctrl+O opens the login URL too.
        named<QLineEdit>(m_w, "edtLoginURL")->setText(address(QStringLiteral("/b")));
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w));
        named<QLineEdit>(m_w, "edtTitle")->setFocus();
        QVERIFY(loadsAt([&] { QTest::keySequence(named<QLineEdit>(m_w, "edtTitle"), QKeySequence::Open); },
                        m_server.url("/b")));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), address(QStringLiteral("/b")));
        named<QLineEdit>(m_w, "edtLoginURL")->clear();
    }

    // What "Paste" put on the clipboard is cleared after the delay if the clipboard still holds
    // it; a text the user copied meanwhile stays. Closing the window clears it the same way.
    void clipboardForgetsPastedText()
    {
        QCOMPARE(named<QTimer>(m_w, "ClipboardTimer")->interval(), 30000);
        named<QLineEdit>(m_w, "edtPassword")->setText(QStringLiteral("s3cret"));
        click(named<QPushButton>(m_w, "btnPPaste"));
        QCOMPARE(TClipboard::text(), QStringLiteral("s3cret"));
        QVERIFY(named<QTimer>(m_w, "ClipboardTimer")->isActive());
        QVERIFY(named<QTimer>(m_w, "ClipboardTimer")->remainingTime() > 25000);
        named<QTimer>(m_w, "ClipboardTimer")->start(50); // the delay, shortened
        QTRY_COMPARE(TClipboard::text(), QString());

        click(named<QPushButton>(m_w, "btnPPaste"));
        TClipboard::setText(QStringLiteral("copied by the user"));
        named<QTimer>(m_w, "ClipboardTimer")->start(50);
        QTRY_VERIFY(!named<QTimer>(m_w, "ClipboardTimer")->isActive());
        QCOMPARE(TClipboard::text(), QStringLiteral("copied by the user"));
        named<QTimer>(m_w, "ClipboardTimer")->setInterval(TfrmMain::kClipboardForgetMs);
        named<QLineEdit>(m_w, "edtPassword")->clear();

        {
            TfrmMain other;
            named<QTimer>(other, "Timer1")->stop();
            named<QLineEdit>(other, "edtLogin")->setText(QStringLiteral("someone"));
            named<QPushButton>(other, "btnUPaste")->click();
            QCOMPARE(TClipboard::text(), QStringLiteral("someone"));
            other.close();
            QCOMPARE(TClipboard::text(), QString());
        }
    }

    void badInput_data()
    {
        QTcpServer closed; // a port that refuses: bound for a moment, then let go
        closed.listen(QHostAddress::LocalHost, 0);
        const quint16 refused = closed.serverPort();
        closed.close();

        QTest::addColumn<QString>("text");
        QTest::newRow("unresolvable") << QStringLiteral("http://nowhere.invalid/");
        QTest::newRow("refused port") << QStringLiteral("http://127.0.0.1:%1/").arg(refused);
        QTest::newRow("not an address") << QStringLiteral("not an address");
        QTest::newRow("blanks") << QStringLiteral("   ");
        QTest::newRow("100 KB") << address(QStringLiteral("/b?") + QString(100 * 1024, QLatin1Char('x')));
        QTest::newRow("download") << address(QStringLiteral("/download"));
        QTest::newRow("beyond Windows-1252") << address(QStringLiteral("/b?q=\u043f\u0440\u0438\u0432\u0435\u0442"));
    }

    // Whatever the field holds goes to the engine as typed; nothing breaks and nothing is shown.
    void badInput()
    {
        QFETCH(QString, text);
        named<QLineEdit>(m_w, "edtWebsiteURL")->setText(text);
        QSignalSpy finished(m_w->webBrowser(), &TWebBrowser::loadFinished);
        click(named<QPushButton>(m_w, "btnBrowseWebsite"));
        QCOMPARE(named<QLineEdit>(m_w, "edtURL")->text(), text); // whole and unchanged
        finished.wait(10000);                                    // some of these never start a load
        named<QLineEdit>(m_w, "edtWebsiteURL")->clear();

        // The pane goes on working.
        QVERIFY(go(QStringLiteral("/c")));
        QCOMPARE(view()->title(), QStringLiteral("C"));
    }
};

int main(int argc, char** argv)
{
    // As in the program: the web engine shares OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    TstBrowserPane tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_browserpane.moc"
