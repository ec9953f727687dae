#include "platform/ShellLauncher.h"

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
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    void desktopFile(const QString& relative, const QByteArray& exec)
    {
        write(relative,
              "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + exec + "\n\n[Desktop Action new]\nExec=wrong\n");
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
};

QTEST_MAIN(TestShellLauncher)
#include "tst_shelllauncher.moc"
