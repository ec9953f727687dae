// The freedesktop lookup of a MIME type's program and the Exec line, on folders of the test's own.
#include "util/DesktopEntry.h"

#include "support/DesktopFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using DesktopEntry::Command;

class TestDesktopEntry : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    DesktopEntry::SearchPaths m_paths;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    void write(const QString& relative, const QByteArray& content)
    {
        QVERIFY(DesktopFiles::write(path(relative), content));
    }

    void desktopFile(const QString& relative, const QByteArray& exec) { write(relative, DesktopFiles::entry(exec)); }

    Command browser() const
    {
        return DesktopEntry::defaultApplication(m_paths, QStringLiteral("x-scheme-handler/http"));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_paths = {path("config"), {path("etc")}, path("home"), {path("data")}, {}};
    }

    void lookupOrder()
    {
        desktopFile("data/applications/system.desktop", "system-browser %U");
        desktopFile("home/applications/vendor/nested.desktop", "nested-browser %u");
        desktopFile("data/applications/hidden.desktop", "hidden-browser %u");
        {
            QFile f(path("data/applications/hidden.desktop"));
            QVERIFY(f.open(QIODevice::Append));
            f.write("[Desktop Entry]\nHidden=true\n");
        }
        QVERIFY(browser().program.isEmpty());

        // Fallback: the cache of installed programs.
        write("data/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/http=system.desktop;\n");
        QCOMPARE(browser().program, QStringLiteral("system-browser"));
        QCOMPARE(browser().exec, QStringLiteral("system-browser %U"));

        // An added association beats the cache.
        write("etc/mimeapps.list", "[Added Associations]\nx-scheme-handler/http=vendor-nested.desktop;\n");
        QCOMPARE(browser().program, QStringLiteral("nested-browser"));

        // A system-wide default beats the cache; uninstalled and hidden entries are passed over.
        write("etc/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=gone.desktop;hidden.desktop;"
                                   "vendor-nested.desktop;\n");
        QCOMPARE(browser().program, QStringLiteral("nested-browser"));
        QCOMPARE(browser().desktopFile, path("home/applications/vendor/nested.desktop"));

        // The user's own list beats the system's; a desktop-specific list beats the general one.
        write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=system.desktop\n");
        QCOMPARE(browser().program, QStringLiteral("system-browser"));
        m_paths.desktops = QStringList{"fake", "gnome"};
        write("config/gnome-mimeapps.list", "[Default Applications]\nx-scheme-handler/http=vendor-nested.desktop\n");
        QCOMPARE(browser().program, QStringLiteral("nested-browser"));

        // Another type's default is not taken for the browser.
        write("config/gnome-mimeapps.list", "[Default Applications]\nx-scheme-handler/https=vendor-nested.desktop\n");
        QCOMPARE(browser().program, QStringLiteral("system-browser"));
    }

    void execLine_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QString a = QStringLiteral("http://a/ b");
        QTest::newRow("%u") << "firefox %u" << a << "firefox" << QStringList{a};
        QTest::newRow("%U") << "chromium --x %U" << a << "chromium" << QStringList{"--x", a};
        QTest::newRow("%f") << "viewer %f" << a << "viewer" << QStringList{a};
        QTest::newRow("no field code appends") << "browser --private" << a << "browser" << QStringList{"--private", a};
        QTest::newRow("empty address drops the code") << "firefox %u" << QString() << "firefox" << QStringList{};
        QTest::newRow("other codes dropped") << "b %i %c --class=%k %u" << a << "b" << QStringList{"--class=", a};
        QTest::newRow("percent literal") << "b --p=100%% %u" << a << "b" << QStringList{"--p=100%", a};
        QTest::newRow("quoted program") << "\"/opt/My Browser/run\" %u" << a << "/opt/My Browser/run" << QStringList{a};
        QTest::newRow("escapes in quotes")
            << "\"/x/a\\\"b\" \"c\\\\\\\\d\" %u" << a << "/x/a\"b" << QStringList{"c\\d", a};
        QTest::newRow("only one address") << "b %u %U" << a << "b" << QStringList{a};
        QTest::newRow("field code inside a word") << "b --url=%u" << a << "b" << QStringList{"--url=", a};
        QTest::newRow("address with quotes and codes stays whole") << "b %u"
                                                                   << "http://x/\"%u\" $HOME `id`"
                                                                   << "b" << QStringList{"http://x/\"%u\" $HOME `id`"};
        QTest::newRow("empty line") << "" << a << "" << QStringList{};
        QTest::newRow("field code before the program") << "%u firefox" << a << "" << QStringList{};
        QTest::newRow("field code before the program, no address") << "%U firefox" << QString() << "" << QStringList{};
    }
    void execLine()
    {
        QFETCH(QString, exec);
        QFETCH(QString, address);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const Command c = DesktopEntry::commandFromExec(exec, address);
        QCOMPARE(c.program, program);
        QCOMPARE(c.arguments, arguments);
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
