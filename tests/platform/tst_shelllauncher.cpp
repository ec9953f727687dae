#include "platform/ShellLauncher.h"

#include "support/DesktopFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Every test runs against XDG folders of its own, so the machine's own browser settings never count.
class TestShellLauncher : public QObject
{
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    void write(const QString& relative, const QByteArray& content)
    {
        QVERIFY(DesktopFiles::write(path(relative), content));
    }

    void desktopFile(const QString& relative, const QByteArray& exec) { write(relative, DesktopFiles::entry(exec)); }

    // The default browser: a desktop entry with this Exec line, named by the user's mimeapps.list.
    void registerBrowser(const QByteArray& exec)
    {
        desktopFile("data/applications/fakebrowser.desktop", exec);
        write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=fakebrowser.desktop;\n");
    }

private Q_SLOTS:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", path("etc").toLocal8Bit());
        qputenv("XDG_DATA_HOME", path("home").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", path("data").toLocal8Bit());
        qputenv("XDG_CURRENT_DESKTOP", "");
        ShellLauncher::setRecording(true);
        ShellLauncher::clearTestState();
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    void registeredBrowserGetsTheAddressAsOneParameter_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("plain") << QByteArray("http://www.example.com/?a=1&b=2")
                               << QStringList{"--new-window", "http://www.example.com/?a=1&b=2"};
        QTest::newRow("blanks and quotes stay whole")
            << QByteArray("http://x/a b \"c\" 'd'") << QStringList{"--new-window", "http://x/a b \"c\" 'd'"};
        QTest::newRow("ANSI bytes") << QByteArray("http://x/caf\xE9")
                                    << QStringList{"--new-window", "http://x/caf\u00E9"};
        QTest::newRow("empty address") << QByteArray() << QStringList{"--new-window"};
    }
    void registeredBrowserGetsTheAddressAsOneParameter()
    {
        QFETCH(QByteArray, address);
        QFETCH(QStringList, arguments);
        desktopFile("data/applications/fakebrowser.desktop", "\"/opt/fake browser/bin/fake\" --new-window %u");
        write("config/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default Applications]\ntext/html=other.desktop\nx-scheme-handler/http=fakebrowser.desktop;\n");
        QVERIFY(OpenInDefaultBrowser(address));
        QCOMPARE(ShellLauncher::started().size(), 1);
        const ShellLauncher::Started s = ShellLauncher::started().first();
        QCOMPARE(s.kind, ShellLauncher::Started::Kind::Program);
        QCOMPARE(s.program, QStringLiteral("/opt/fake browser/bin/fake"));
        QCOMPARE(s.arguments, arguments);
    }

    void noBrowserRegistered()
    {
        // Only other types registered, and a default naming a desktop file that is not installed.
        desktopFile("data/applications/viewer.desktop", "viewer %f");
        write("config/mimeapps.list", "[Default Applications]\ntext/html=viewer.desktop\n"
                                      "x-scheme-handler/http=gone.desktop\n");
        QVERIFY(ShellLauncher::defaultBrowser().program.isEmpty());
        QVERIFY(!OpenInDefaultBrowser("http://x/"));
        QVERIFY(!OpenInDefaultBrowser(""));
        QVERIFY(ShellLauncher::started().isEmpty());
    }

    // The XDG folders come from the environment; relative ones are ignored, as the rules say.
    void foldersFromTheEnvironment()
    {
        desktopFile("data/applications/system.desktop", "system-browser %U");
        desktopFile("home/applications/vendor/nested.desktop", "nested-browser %u");
        write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=system.desktop\n");
        QCOMPARE(ShellLauncher::defaultBrowser().program, QStringLiteral("system-browser"));
        qputenv("XDG_CURRENT_DESKTOP", "Fake:GNOME");
        write("config/gnome-mimeapps.list", "[Default Applications]\nx-scheme-handler/http=vendor-nested.desktop\n");
        QCOMPARE(ShellLauncher::defaultBrowser().program, QStringLiteral("nested-browser"));
        QCOMPARE(ShellLauncher::defaultBrowser().desktopFile, path("home/applications/vendor/nested.desktop"));

        qputenv("XDG_DATA_DIRS", QByteArray("relative/data:") + path("data").toLocal8Bit());
        const DesktopEntry::SearchPaths paths = ShellLauncher::searchPaths();
        QCOMPARE(paths.dataDirs, QStringList{path("data")});
        QCOMPARE(paths.desktops, (QStringList{"fake", "gnome"}));
    }

    void sponsorLinkGoesToTheDesktop()
    {
        OpenLinkAddress("http://sponsor.example/?r=1");
        QCOMPARE(ShellLauncher::started().size(), 1);
        QCOMPARE(ShellLauncher::started().first().kind, ShellLauncher::Started::Kind::Url);
        QCOMPARE(ShellLauncher::started().first().program, QStringLiteral("http://sponsor.example/?r=1"));
    }

    // Only web addresses go to the desktop; the rules themselves are tested with sponsorLinkUrl.
    void sponsorLinkOpensWebAddressesOnly_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https") << QByteArray("https://s.example/") << true;
        QTest::newRow("www") << QByteArray("www.example.com") << true;
        QTest::newRow("local path") << QByteArray("/usr/bin/xterm") << false;
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << false;
        QTest::newRow("smb") << QByteArray("smb://host/share") << false;
        QTest::newRow("javascript") << QByteArray("javascript:alert(1)") << false;
        QTest::newRow("option") << QByteArray("--gpu-launcher=x") << false;
    }
    void sponsorLinkOpensWebAddressesOnly()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, opened);
        QCOMPARE(OpenLinkAddress(address), opened);
        QCOMPARE(ShellLauncher::started().size(), opened ? 1 : 0);
    }

    void optionsAreHandedToNoProgram_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::newRow("-") << QByteArray("-");
        QTest::newRow("--") << QByteArray("--");
        QTest::newRow("blank first") << QByteArray(" -x");
        QTest::newRow("tab first") << QByteArray("\t-x");
        QTest::newRow("gpu launcher") << QByteArray("--gpu-launcher=/bin/sh -c id");
        QTest::newRow("profile") << QByteArray("-P x");
    }
    void optionsAreHandedToNoProgram()
    {
        QFETCH(QByteArray, address);
        registerBrowser("/usr/bin/fake-browser --new-window %u");
        QVERIFY(!OpenInDefaultBrowser(address));
        QVERIFY(!OpenLinkAddress(address));
        QVERIFY(ShellLauncher::started().isEmpty());
    }

    // The real start: a recording browser, found through the test's desktop entry, writes each
    // argument it gets. Options start nothing; an address arrives as one argument, unchanged.
    void recordingBrowserGetsTheAddressAlone()
    {
        const QString log = path("runs");
        QVERIFY(QDir().mkpath(log));
        write("bin/fake-browser", "#!/bin/sh\n"
                                  "out=\"" +
                                      log.toLocal8Bit() +
                                      "/run.$$\"\n"
                                      "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\"\n"
                                      "mv \"$out.part\" \"$out.args\"\n");
        QVERIFY(
            QFile::setPermissions(path("bin/fake-browser"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        registerBrowser("\"" + path("bin/fake-browser").toLocal8Bit() + "\" --new-window %u");
        ShellLauncher::setRecording(false);
        const QList<QByteArray> refused{"-", "--", " -x", "\t-x", "--gpu-launcher=/bin/sh -c id", "-P x"};
        for (const QByteArray& address : refused)
            QVERIFY2(!OpenInDefaultBrowser(address), address.constData());
        const QByteArray address("http://x.example/a b \"c\" -P y --z");
        QVERIFY(OpenInDefaultBrowser(address));
        ShellLauncher::setRecording(true);

        QDir runs(log, QStringLiteral("*.args"));
        QTRY_COMPARE_WITH_TIMEOUT(runs.entryList(QDir::Files).size(), 1, 10000);
        QTest::qWait(300); // a refused start, had there been one, would have written by now
        const QStringList files = runs.entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile run(runs.filePath(files.first()));
        QVERIFY(run.open(QIODevice::ReadOnly));
        QCOMPARE(run.readAll(), QByteArray("--new-window") + '\0' + address + '\0');
    }
};

QTEST_MAIN(TestShellLauncher)
#include "tst_shelllauncher.moc"
