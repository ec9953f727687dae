// The web engine plugin beside the executable: without it (missing, or a file that does not
// load), the program starts and works; the first page tells the user, once, which file could not be
// loaded and why; the rest of the window goes on.
#include "app/FMain.h"
#include "branding/Branding.h"
#include "dialogs/FAddElement.h"
#include "platform/HtmlView.h"
#include "platform/LoginAgent.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "platform/WebEngineLoader.h"
#include "support/Controls.h"
#include "support/TestHttpServer.h"
#include "util/Files.h"
#include "util/Sealing.h"
#include "util/TestSeam.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestWebEnginePlugin : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestSeams::reset();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        UUtils::setAppDir(m_dir->path());
        branding() = Branding{}; // no welcome page unless a test writes one
    }

    // The program itself, copied without the plugin beside it, starts and shows its window.
    void programStartsWithoutPlugin()
    {
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("quillet"));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quillet"), copy));
        QVERIFY(!QFile::exists(folder.filePath(QLatin1String(WebEngine::kPluginFileName))));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLET_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
        program.setProcessEnvironment(env);
        program.start(copy, {});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput().trimmed(), QByteArray("shown"));
    }

    void pageWithoutPlugin_data()
    {
        QTest::addColumn<QByteArray>("content"); // of the plugin file; empty: no file at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("The file does not exist.");
        QTest::newRow("not a library") << QByteArray("not a library\n") << QStringLiteral("is not a valid ELF object");
        // An ELF file, but no Qt plugin.
        QFile library(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quillet"));
        QVERIFY(library.open(QIODevice::ReadOnly));
        QTest::newRow("an executable") << library.readAll() << QStringLiteral("is not a Qt plugin");
    }

    void pageWithoutPlugin()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        // A path per case: the loader tries a file once per run.
        const QString folder = m_dir->filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString plugin = QDir(folder).filePath(QLatin1String(WebEngine::kPluginFileName));
        if (!content.isEmpty())
            QVERIFY(writeFile(plugin, content));
        WebEngine::setPluginFileForTest(plugin);

        // A copy with a welcome page: the window opens on it.
        QVERIFY(
            writeFile(m_dir->filePath(QStringLiteral("plain.txt")), "<%%Welcome1%%><p>Welcome</p><%%/Welcome1%%>\r\n"));
        UUtils::SealFile(m_dir->filePath(QStringLiteral("plain.txt")),
                         m_dir->filePath(QStringLiteral("dbsettings.dat")));
        QFile::remove(m_dir->filePath(QStringLiteral("plain.txt")));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        auto window = std::make_unique<TfrmMain>();
        named<QTimer>(window, "Timer1")->stop();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        const TMessageBox::Shown shown = TMessageBox::shownMessages().first();
        QCOMPARE(shown.kind, TMessageBox::Kind::Warning);
        QVERIFY2(shown.text.startsWith(QStringLiteral("Pages cannot be shown: the web engine plugin %1 could not be "
                                                      "loaded. ")
                                           .arg(QDir::toNativeSeparators(plugin))),
                 qPrintable(shown.text));
        QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));
        auto* page = named<QWidget>(window, "prfWelcome")->findChild<THtmlView*>();
        QVERIFY(page);
        QVERIFY(!page->view());
        QVERIFY(!page->isLoading());

        // Another page: it ends as failed, and nothing more is said.
        THtmlView other;
        QSignalSpy finished(&other, &THtmlView::loadFinished);
        other.setHtml(QStringLiteral("<p>News</p>"));
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);

        // The window goes on: to the main page, and a category added and saved.
        named<QPushButton>(window, "bsSkinButton1")->click();
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->currentWidget(), named<QWidget>(window, "stsMain"));
        TfrmAddElement::queueEntry(QStringLiteral("Shops"));
        named<QPushButton>(window, "btnAddCategory")->click();
        QCOMPARE(window->categoryList(), StringList{"Shops"});
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
    }

    // The browser pane without the plugin: the first page asked for ("Browse") tells the user once;
    // "Go!", "Browse" and "Log In" then load nothing and say nothing more, Back, Forward, Refresh,
    // Stop and "Paste" do nothing in the pane, and the window goes on.
    void paneWithoutPlugin()
    {
        const QString plugin = m_dir->filePath(QStringLiteral("absent/") + QLatin1String(WebEngine::kPluginFileName));
        WebEngine::setPluginFileForTest(plugin);
        for (int i = 0; i < 3; ++i) // a message too many would otherwise wait for the user
            TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        auto window = std::make_unique<TfrmMain>();
        named<QTimer>(window, "Timer1")->stop();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QString address = QStringLiteral("http://127.0.0.1:9/login");
        named<QLineEdit>(window, "edtWebsiteURL")->setText(address);
        named<QLineEdit>(window, "edtLoginURL")->setText(address);
        named<QLineEdit>(window, "edtPassword")->setText(QStringLiteral("s3cret"));

        // Before any page: the commands that need one do nothing, and nothing is said.
        const auto commands = [&] {
            for (const char* button :
                 {"bsSkinSpeedButton1", "bsSkinSpeedButton2", "bsSkinSpeedButton4", "bsSkinSpeedButton3"})
                named<QToolButton>(window, button)->click();
            named<QPushButton>(window, "btnPPaste")->click();
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("s3cret"));
        };
        commands();
        QVERIFY(TMessageBox::shownMessages().isEmpty());

        named<QPushButton>(window, "btnBrowseWebsite")->click();
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        const TMessageBox::Shown shown = TMessageBox::shownMessages().first();
        QCOMPARE(shown.kind, TMessageBox::Kind::Warning);
        QVERIFY2(shown.text.contains(QDir::toNativeSeparators(plugin)), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(QStringLiteral("The file does not exist.")), qPrintable(shown.text));
        QCOMPARE(named<QLineEdit>(window, "edtURL")->text(), address);

        named<QPushButton>(window, "bsSkinButton2")->click(); // Go!
        named<QPushButton>(window, "btnBrowseLogin")->click();
        named<QPushButton>(window, "btnLogIn")->click();
        commands();
        QTest::qWait(300);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        TWebBrowser* browser = window->webBrowser();
        QVERIFY(!browser->view());
        QVERIFY(!browser->busy());
        QVERIFY(named<QWidget>(window, "EmbeddedWB1")->findChildren<QWidget*>().isEmpty());
        const auto* agent = browser->findChild<TLoginAgent*>();
        QVERIFY(!agent || !agent->isActive());

        // The window goes on: a category added and saved.
        TfrmAddElement::queueEntry(QStringLiteral("Shops"));
        named<QPushButton>(window, "btnAddCategory")->click();
        QCOMPARE(window->categoryList(), StringList{"Shops"});
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
    }

    // This program links no part of the web engine, as the executable: the pane's first "Browse"
    // loads the plugin, and the page is drawn in the pane. (Last: a plugin once loaded stays.)
    void paneShowsPageThroughPlugin()
    {
        TestHttpServer server;
        QVERIFY(server.isListening());
        server.setPage("/red", "<html><body style='margin:0;background:#ff0000'></body></html>");
        auto window = std::make_unique<TfrmMain>();
        named<QTimer>(window, "Timer1")->stop();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        named<QLineEdit>(window, "edtWebsiteURL")->setText(server.url(QStringLiteral("/red")).toString());
        QSignalSpy finished(window->webBrowser(), &TWebBrowser::loadFinished);
        named<QPushButton>(window, "btnBrowseWebsite")->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().toBool(), true);
        QWidget* view = window->webBrowser()->view();
        QVERIFY(view);
        QCOMPARE(view->parentWidget(), named<QWidget>(window, "EmbeddedWB1"));
        QCOMPARE(window->webBrowser()->url(), server.url(QStringLiteral("/red")));
        const auto centre = [view] {
            const QImage image = view->grab().toImage();
            return image.pixelColor(image.width() / 2, image.height() / 2);
        };
        QTRY_COMPARE_WITH_TIMEOUT(centre(), QColor(Qt::red), 10000);
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir; // the application directory, new for each test
};

QTEST_MAIN(TestWebEnginePlugin)
#include "tst_webengineplugin.moc"
