// The one INI reader: Windows-style descriptor files and freedesktop desktop entries.
#include "util/IniFile.h"

#include <QBuffer>
#include <QtTest>

using namespace UUtils;

namespace {

QByteArray find(QByteArray text, const QByteArray& section, const QByteArray& key, IniNames names)
{
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    return findIniValue(buffer, section, key, names);
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Lines are read up to their longest length, line end not counted, whatever the line end.
    void longestLine_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("read");
        for (const QByteArray& end : {QByteArray("\n"), QByteArray("\r\n"), QByteArray()}) {
            const QByteArray name = end == "\n" ? "LF" : end.isEmpty() ? "end of text" : "CR LF";
            QTest::newRow(("longest, " + name).constData()) << int(kMaxIniLineLength) << end << true;
            QTest::newRow(("one byte more, " + name).constData()) << int(kMaxIniLineLength + 1) << end << false;
        }
        QTest::newRow("one byte less, CR LF") << int(kMaxIniLineLength - 1) << QByteArray("\r\n") << true;
        QTest::newRow("three times as long") << int(3 * kMaxIniLineLength) << QByteArray("\n") << false;
    }
    void longestLine()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, read);
        const QByteArray line = "Version=" + QByteArray(length - 8, '7');
        const QByteArray text = "[APPLICATION]\n" + line + lineEnd + (lineEnd.isEmpty() ? "" : "Version=8\n");
        const QByteArray expected = read ? line.mid(8) : lineEnd.isEmpty() ? QByteArray() : QByteArray("8");
        QCOMPARE(find(text, "APPLICATION", "Version", IniNames::IgnoringCase), expected);
        QCOMPARE(find(text, "APPLICATION", "Version", IniNames::Exact), expected);
    }

    void names_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("ignoringCase");
        QTest::addColumn<QByteArray>("exact");
        QTest::newRow("as written") << QByteArray("[Desktop Entry]\nExec=b %u\n") << QByteArray("b %u")
                                    << QByteArray("b %u");
        QTest::newRow("other case") << QByteArray("[desktop entry]\nexec=b\n") << QByteArray("b") << QByteArray();
        QTest::newRow("blanks around the section name")
            << QByteArray("[ Desktop Entry ]\nExec=b\n") << QByteArray("b") << QByteArray();
        QTest::newRow("text after the section line")
            << QByteArray("[Desktop Entry] x\nExec=b\n") << QByteArray("b") << QByteArray();
        QTest::newRow("blanks around key and value, indented")
            << QByteArray("  [Desktop Entry]\r\n\t Exec = b %u \r\n") << QByteArray("b %u") << QByteArray("b %u");
        QTest::newRow("another group in between")
            << QByteArray("[Desktop Entry]\nName=x\n[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nExec=b\n")
            << QByteArray("b") << QByteArray("b");
        QTest::newRow("localised key is another key")
            << QByteArray("[Desktop Entry]\nExec[de]=x\n") << QByteArray() << QByteArray();
        QTest::newRow("comment") << QByteArray("[Desktop Entry]\n# Exec=x\n#Exec=y\nExec=b\n") << QByteArray("b")
                                 << QByteArray("b");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Desktop Entry]\nExec=b") << QByteArray("b")
                                         << QByteArray("b");
        QTest::newRow("NUL and binary") << QByteArray("\0[Desktop Entry]\xFF\n=\n", 20) << QByteArray() << QByteArray();
    }
    void names()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, ignoringCase);
        QFETCH(QByteArray, exact);
        QCOMPARE(find(text, "Desktop Entry", "Exec", IniNames::IgnoringCase), ignoringCase);
        QCOMPARE(find(text, "Desktop Entry", "Exec", IniNames::Exact), exact);
    }

    // The descriptor's reader drops one pair of quotes; the raw reader keeps them.
    void quotes()
    {
        const QByteArray text("[APPLICATION]\nVersion='2.5'\n");
        QCOMPARE(find(text, "APPLICATION", "Version", IniNames::IgnoringCase), QByteArray("'2.5'"));
        QByteArray copy = text;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(readIniValue(buffer, "application", "VERSION"), QByteArray("2.5"));
        QCOMPARE(readIniFileValue(QStringLiteral("/nonexistent/x.inf"), "APPLICATION", "Version"), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
