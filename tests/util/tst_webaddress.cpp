// What the settings file's addresses may be before another program is given them.
#include "util/WebAddress.h"

#include <QtTest>

class TestWebAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void option_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("option");
        QTest::newRow("-") << QByteArray("-") << true;
        QTest::newRow("--") << QByteArray("--") << true;
        QTest::newRow("blank first") << QByteArray(" -x") << true;
        QTest::newRow("tab first") << QByteArray("\t-x") << true;
        QTest::newRow("line break first") << QByteArray("\r\n-x") << true;
        QTest::newRow("no-break space first") << QByteArray("\xA0-x") << true;
        QTest::newRow("gpu launcher") << QByteArray("--gpu-launcher=/bin/sh -c id") << true;
        QTest::newRow("profile") << QByteArray("-P x") << true;
        QTest::newRow("web address") << QByteArray("http://x/-y") << false;
        QTest::newRow("dash inside") << QByteArray("a-b") << false;
        QTest::newRow("en dash (0x96)") << QByteArray("\x96x") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("blanks only") << QByteArray(" \t") << false;
    }
    void option()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, option);
        QCOMPARE(UUtils::readsAsOption(address), option);
    }

    void sponsorLink_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QString>("opened"); // empty: not opened
        QTest::newRow("http") << QByteArray("http://s.example/?r=1") << "http://s.example/?r=1";
        QTest::newRow("https") << QByteArray("https://s.example/a") << "https://s.example/a";
        QTest::newRow("scheme in capitals") << QByteArray("HTTP://S.example/") << "http://s.example/";
        QTest::newRow("www without scheme") << QByteArray("www.example.com/x") << "http://www.example.com/x";
        QTest::newRow("host without scheme") << QByteArray("example.com") << "http://example.com";
        QTest::newRow("blanks around") << QByteArray("  http://s.example/ ") << "http://s.example/";
        QTest::newRow("ANSI byte") << QByteArray("http://s.example/caf\xE9") << "http://s.example/caf%C3%A9";
        QTest::newRow("absolute path") << QByteArray("/etc/passwd") << "";
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << "";
        QTest::newRow("file host") << QByteArray("file://host/x") << "";
        QTest::newRow("smb") << QByteArray("smb://host/share") << "";
        QTest::newRow("javascript") << QByteArray("javascript:alert(1)") << "";
        QTest::newRow("mailto") << QByteArray("mailto:a@b.example") << "";
        QTest::newRow("ftp") << QByteArray("ftp://f.example/") << "";
        QTest::newRow("data") << QByteArray("data:text/html,<b>x</b>") << "";
        QTest::newRow("windows path") << QByteArray("C:\\Windows\\notepad.exe") << "";
        QTest::newRow("http without host") << QByteArray("http:///etc/passwd") << "";
        QTest::newRow("option") << QByteArray("--gpu-launcher=x") << "";
        QTest::newRow("option after blank") << QByteArray(" -x") << "";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void sponsorLink()
    {
        QFETCH(QByteArray, address);
        QFETCH(QString, opened);
        const QUrl url = UUtils::sponsorLinkUrl(address);
        QCOMPARE(url.isValid() ? url.toString(QUrl::FullyEncoded) : QString(), opened);
    }
};

QTEST_GUILESS_MAIN(TestWebAddress)
#include "tst_webaddress.moc"
