#include "util/AppError.h"
#include "util/Fields.h"
#include "util/Files.h"
#include "util/StringList.h"
#include "util/TextCodec.h"

#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace UUtils;

// Shorthand for byte strings with the separator bytes: '~' stands for 0xA5 and '#' for 0xA7.
static QByteArray b(const char* text)
{
    QByteArray out(text);
    out.replace('~', char(0xA5)).replace('#', char(0xA7));
    return out;
}

class TestTextUtils : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void codecRoundTripsEveryByte()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString text = ansiToString(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(text.at(0x80), QChar(0x20AC));
        for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
            QCOMPARE(text.at(undefined).unicode(), char16_t(undefined));
        bool ok = false;
        QCOMPARE(stringToAnsi(text, &ok), all);
        QVERIFY(ok);
    }

    void codecRefusesWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("cyrillic") << QStringLiteral("Привет");
        QTest::newRow("chinese") << QStringLiteral("中文");
        QTest::newRow("emoji") << QStringLiteral("a\U0001F600");
        QTest::newRow("latin-ext") << QStringLiteral("\u0141");
    }
    void codecRefusesWhatItCannotHold()
    {
        QFETCH(QString, text);
        QVERIFY(!isAnsiEncodable(text));
        bool ok = true;
        stringToAnsi(text, &ok);
        QVERIFY(!ok);
    }

    void parseLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<StringList>("lines");
        QTest::newRow("empty") << QByteArray() << StringList{};
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << StringList{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << StringList{"a", "b"};
        QTest::newRow("lone lf") << QByteArray("a\nb\n") << StringList{"a", "b"};
        QTest::newRow("lf cr is two ends") << QByteArray("a\n\rb") << StringList{"a", "", "b"};
        QTest::newRow("last line without end") << QByteArray("a\r\nb") << StringList{"a", "b"};
        QTest::newRow("empty lines") << QByteArray("\r\n\r\nx") << StringList{"", "", "x"};
        QTest::newRow("nul ends the text") << QByteArray("a\r\nb\0c\r\nd", 10) << StringList{"a", "b"};
        QTest::newRow("nul at start") << QByteArray("\0a", 2) << StringList{};
        QTest::newRow("high bytes") << QByteArray("\xA5\xFF\x80\r\n") << StringList{"\xA5\xFF\x80"};
    }
    void parseLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(StringList, lines);
        QCOMPARE(UUtils::parseLines(text), lines);
    }

    void joinLinesEndsEveryEntryWithCrLf()
    {
        QCOMPARE(joinLines({}), QByteArray());
        QCOMPARE(joinLines({"a", "", "b"}), QByteArray("a\r\n\r\nb\r\n"));
    }

    void splitFields_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<StringList>("fields");
        QTest::newRow("empty") << QByteArray() << StringList{};
        QTest::newRow("lone separator") << b("~") << StringList{""};
        QTest::newRow("empty middle") << b("x~~y") << StringList{"x", "", "y"};
        QTest::newRow("trailing separator adds nothing") << b("x~y~") << StringList{"x", "y"};
        QTest::newRow("no separator") << QByteArray("abc") << StringList{"abc"};
        QTest::newRow("new item line") << b("C~T~~~~~~~~~~~~~")
                                       << StringList{"C", "T", "", "", "", "", "", "", "", "", "", "", "", ""};
    }
    void splitFields()
    {
        QFETCH(QByteArray, text);
        QFETCH(StringList, fields);
        QCOMPARE(SplitFields(char(0xA5), text), fields);
    }

    void lineBreaks_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("decoded"); // what the encoded form reads back as
        QTest::newRow("crlf") << QByteArray("a\r\nb") << b("a~~##b") << QByteArray("a\r\nb");
        QTest::newRow("lone lf") << QByteArray("a\nb") << b("a##b") << QByteArray("a\nb");
        QTest::newRow("typed section signs read as lf") << b("x##y") << b("x##y") << QByteArray("x\ny");
        QTest::newRow("three separators") << b("~~~") << b("~~~") << b("\r~");
        QTest::newRow("plain text") << QByteArray("plain") << QByteArray("plain") << QByteArray("plain");
    }
    void lineBreaks()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, decoded);
        QCOMPARE(EncodeLineBreaks(plain), encoded);
        QCOMPARE(DecodeLineBreaks(encoded), decoded);
    }

    void caseFoldingAndTrimmingAreAsciiOnly()
    {
        QCOMPARE(upperAscii("abz\xE9\xFF"), QByteArray("ABZ\xE9\xFF"));
        QVERIFY(sameTextIgnoringCase("Shop", "sHOP"));
        QVERIFY(!sameTextIgnoringCase("caf\xE9", "CAF\xC9"));
        QCOMPARE(trimControls(QByteArray("\x01\t a b \x1F\x20", 8)), QByteArray("a b"));
        QCOMPARE(trimControls("\xA0x\xA0"), QByteArray("\xA0x\xA0"));
        QCOMPARE(trimControls(" \t "), QByteArray());
    }

    void saveStringListWritesEveryLine()
    {
        // Lines of every size around the writer's 1 MB buffer, the large ones written apart.
        StringList lines;
        for (int i = 0; i < 3000; ++i)
            lines.append(QByteArray(i % 7 == 0 ? 2000 : 37, char('a' + i % 26)));
        lines.append(QByteArray(1024 * 1024 - 1, 'x'));
        lines.append(QByteArray(1024 * 1024, 'y'));
        lines.append(QByteArray(3 * 1024 * 1024 + 5, 'z'));
        lines.append(QByteArray());
        lines.append("\xA5\xFF");
        QTemporaryDir dir;
        const QString path = dir.filePath("items.dat");
        saveStringList(path, lines);
        QCOMPARE(readWholeFile(path), joinLines(lines));
        saveStringList(path, {});
        QCOMPARE(readWholeFile(path), QByteArray());
    }

    void atomicWriteKeepsOldFileOnFailure()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("items.dat");
        writeFileAtomically(path, "old\r\n");
        QCOMPARE(QFile::permissions(path),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(readWholeFile(path), QByteArray("old\r\n"));

        // A write that the system cuts short (as a full disk would): the old file stays whole.
        {
            FileSizeLimit limit(3);
            bool threw = false;
            try {
                writeFileAtomically(path, "a much longer new content\r\n");
            } catch (const AppError& e) {
                threw = true;
                QVERIFY2(e.message().startsWith("Stream write error") && e.message().contains("items.dat"),
                         qPrintable(e.message()));
            }
            QVERIFY(threw);
        }
        QCOMPARE(readWholeFile(path), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"items.dat"});

        // A replaced file keeps its permissions.
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        writeFileAtomically(path, "new\r\n");
        QCOMPARE(readWholeFile(path), QByteArray("new\r\n"));
        QVERIFY(QFile::permissions(path) & QFileDevice::ReadGroup);
    }

    // A writer that is not committed (an error on the way, or content the caller drops) leaves
    // nothing half-written: a save leaves the old file as it was and a new one not there; a
    // working copy, written in place, is removed. No temporary file is left beside them.
    void uncommittedWriterLeavesNothingHalfWritten()
    {
        QTemporaryDir dir;
        const QString old = dir.filePath("items.dat");
        const QString scratch = dir.filePath("dbsettings.sim");
        writeFileAtomically(old, "old\r\n");
        writeFileAtomically(scratch, "old plain copy");
        {
            FileWriter file(old);
            QVERIFY(file.write("new", 3));
        }
        try {
            FileWriter file(dir.filePath("categories.dat"));
            QVERIFY(file.write("new", 3));
            throw AppError(QStringLiteral("interrupted"));
        } catch (const AppError&) {
        }
        {
            FileWriter file(scratch, FileWriter::Kind::WorkingCopy);
            QVERIFY(file.write("new", 3));
        }
        QCOMPARE(readWholeFile(old), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"items.dat"});

        // Committed, a working copy replaces the old content whole.
        writeFileAtomically(scratch, "a longer old plain copy");
        FileWriter file(scratch, FileWriter::Kind::WorkingCopy);
        QVERIFY(file.write("new", 3));
        file.commit();
        QCOMPARE(readWholeFile(scratch), QByteArray("new"));
    }
};

QTEST_APPLESS_MAIN(TestTextUtils)
#include "tst_textutils.moc"
