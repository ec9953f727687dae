// The tagged settings document: the extraction rule, loading the sealed file, and the read and
// write of LastNewsId, with the plain copy dbsettings.sim gone after every operation.
#include "branding/SettingsDocument.h"
#include "crypto/AesLib.h"
#include "support/TestData.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include "support/FileSizeLimit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void extractTagValue_data();
    void extractTagValue();
    void readingOrderCutsTheWorkingText();
    void loadSettingsDocument_data();
    void loadSettingsDocument();
    void readLastNewsId_data();
    void readLastNewsId();
    void writeLastNewsId_data();
    void writeLastNewsId();
    void missingSettingsFile();
    void badSealedFiles_data();
    void badSealedFiles();
    void unreadableSettingsFileRaises();
    void failedWriteKeepsSettings();

private:
    QString file(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    void writeRaw(const QByteArray& data)
    {
        QFile f(file(kSettingsFileName));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    QByteArray readRaw() const
    {
        QFile f(file(kSettingsFileName));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool plainCopyExists() const { return QFile::exists(file(kPlainSettingsFileName)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsDocument::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    UUtils::setAppDir(m_dir->path());
}

void TestSettingsDocument::cleanup()
{
    UUtils::setAppDir(QString());
}

void TestSettingsDocument::extractTagValue_data()
{
    QTest::addColumn<QByteArray>("working");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("rest");
    QTest::newRow("found") << QByteArray("x<%%A%%>val<%%/A%%>y") << QByteArray("A") << QByteArray("val")
                           << QByteArray("<%%/A%%>y");
    QTest::newRow("markers in any case") << QByteArray("<%%applicationname%%>Q<%%/APPLICATIONname%%>")
                                         << QByteArray("ApplicationName") << QByteArray("Q")
                                         << QByteArray("<%%/APPLICATIONname%%>");
    QTest::newRow("value keeps its case and spaces") << QByteArray("<%%A%%> MiXed \t<%%/A%%>") << QByteArray("A")
                                                     << QByteArray(" MiXed \t") << QByteArray("<%%/A%%>");
    QTest::newRow("missing: unchanged") << QByteArray("<%%B%%>v<%%/B%%>") << QByteArray("A") << QByteArray()
                                        << QByteArray("<%%B%%>v<%%/B%%>");
    QTest::newRow("empty value") << QByteArray("<%%A%%><%%/A%%>r") << QByteArray("A") << QByteArray()
                                 << QByteArray("<%%/A%%>r");
    QTest::newRow("unclosed: cut after the opening") << QByteArray("a<%%A%%>value<%%B%%>b<%%/B%%>") << QByteArray("A")
                                                     << QByteArray() << QByteArray("value<%%B%%>b<%%/B%%>");
    QTest::newRow("lines") << QByteArray("<%%A%%>one\r\ntwo\r\n<%%/A%%>") << QByteArray("A")
                           << QByteArray("one\r\ntwo\r\n") << QByteArray("<%%/A%%>");
    QTest::newRow("first of two") << QByteArray("<%%A%%>1<%%/A%%><%%A%%>2<%%/A%%>") << QByteArray("A")
                                  << QByteArray("1") << QByteArray("<%%/A%%><%%A%%>2<%%/A%%>");
    QTest::newRow("closing before opening is skipped")
        << QByteArray("<%%/A%%><%%A%%>v<%%/A%%>") << QByteArray("A") << QByteArray("v") << QByteArray("<%%/A%%>");
    QTest::newRow("Banner1 is not Banner10") << QByteArray("<%%Banner10%%>x<%%/Banner10%%>") << QByteArray("Banner1")
                                             << QByteArray() << QByteArray("<%%Banner10%%>x<%%/Banner10%%>");
    QTest::newRow("only a-z fold") << QByteArray("<%%\xe4%%>v<%%/\xe4%%>") << QByteArray("\xc4") << QByteArray()
                                   << QByteArray("<%%\xe4%%>v<%%/\xe4%%>");
    QTest::newRow("bytes of any value") << QByteArray("<%%A%%>\x01\xff\x80<%%/A%%>") << QByteArray("A")
                                        << QByteArray("\x01\xff\x80") << QByteArray("<%%/A%%>");
}

void TestSettingsDocument::extractTagValue()
{
    QFETCH(QByteArray, working);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, rest);
    QCOMPARE(ExtractTagValue(working, openingMarker(name), closingMarker(name)), value);
    QCOMPARE(working, rest);
}

void TestSettingsDocument::readingOrderCutsTheWorkingText()
{
    // BranderType stands before ApplicationName: reading ApplicationName first cuts it off.
    QByteArray working("<%%BranderType%%>Gold<%%/BranderType%%>\r\n<%%ApplicationName%%>Q<%%/ApplicationName%%>\r\n"
                       "<%%Welcome1%%><%%/Welcome1%%><%%Welcome2%%>w2<%%/Welcome2%%>\r\n");
    QCOMPARE(ExtractTagValue(working, "<%%ApplicationName%%>", "<%%/ApplicationName%%>"), QByteArray("Q"));
    QCOMPARE(ExtractTagValue(working, "<%%BranderType%%>", "<%%/BranderType%%>"), QByteArray());
    QCOMPARE(ExtractTagValue(working, "<%%Welcome1%%>", "<%%/Welcome1%%>"), QByteArray());
    QCOMPARE(ExtractTagValue(working, "<%%Welcome2%%>", "<%%/Welcome2%%>"), QByteArray("w2"));
}

void TestSettingsDocument::loadSettingsDocument_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF, CR and a last line without end") << QByteArray("a\nb\rc") << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\nd", 9) << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestSettingsDocument::loadSettingsDocument()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, document);
    writeRaw(sealBytes(plain));
    const std::optional<QByteArray> loaded = LoadSettingsDocument();
    QVERIFY(loaded.has_value());
    QCOMPARE(*loaded, document);
    QVERIFY(!plainCopyExists());
}

void TestSettingsDocument::readLastNewsId_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("id");
    QTest::newRow("none") << QByteArray("<%%ApplicationName%%>Q<%%/ApplicationName%%>\r\n") << QByteArray();
    QTest::newRow("own line") << QByteArray("<%%ApplicationName%%>Q<%%/ApplicationName%%>\r\n"
                                            "<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n")
                              << QByteArray("42");
    QTest::newRow("anywhere, any case") << QByteArray("x<%%LASTNEWSID%%>7<%%/lastnewsid%%>y\n") << QByteArray("7");
    QTest::newRow("first of two") << QByteArray(
                                         "<%%lastnewsid%%>1<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>")
                                  << QByteArray("1");
    QTest::newRow("unclosed") << QByteArray("<%%LastNewsId%%>42\r\n") << QByteArray();
    QTest::newRow("after a NUL") << QByteArray("a\0<%%LastNewsId%%>42<%%/LastNewsId%%>", 37) << QByteArray();
    QTest::newRow("10 MB value") << QByteArray("<%%AboutText%%>" + QByteArray(10 << 20, 'a') +
                                               "<%%/AboutText%%>\r\n<%%LastNewsId%%>9<%%/LastNewsId%%>\r\n")
                                 << QByteArray("9");
}

void TestSettingsDocument::readLastNewsId()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, id);
    writeRaw(sealBytes(plain));
    QCOMPARE(ReadLastNewsId(), id);
    QVERIFY(!plainCopyExists());
}

void TestSettingsDocument::writeLastNewsId_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("readBack");
    QTest::newRow("appended") << QByteArray("<%%A%%>1<%%/A%%>\r\n<%%B%%>2<%%/B%%>\r\n") << QByteArray("15")
                              << QByteArray(
                                     "<%%A%%>1<%%/A%%>\r\n<%%B%%>2<%%/B%%>\r\n<%%LastNewsId%%>15<%%/LastNewsId%%>\r\n")
                              << QByteArray("15");
    QTest::newRow("replaced in place")
        << QByteArray("<%%A%%>1<%%/A%%>\n<%%LastNewsId%%>3<%%/LastNewsId%%>\n<%%B%%>2<%%/B%%>") << QByteArray("4")
        << QByteArray("<%%A%%>1<%%/A%%>\r\n<%%LastNewsId%%>4<%%/LastNewsId%%>\r\n<%%B%%>2<%%/B%%>\r\n")
        << QByteArray("4");
    QTest::newRow("other text on the line is dropped")
        << QByteArray("x<%%LastNewsId%%>3<%%/LastNewsId%%><%%B%%>2<%%/B%%>\r\n") << QByteArray("5")
        << QByteArray("<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n") << QByteArray("5");
    QTest::newRow("only the first of two lines")
        << QByteArray("<%%LastNewsId%%>1\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n") << QByteArray("8")
        << QByteArray("<%%LastNewsId%%>8<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n")
        << QByteArray("8");
    // A marker in capitals is read but not recognised by the writer: the old value keeps winning.
    QTest::newRow("capitals: a second line")
        << QByteArray("<%%LASTNEWSID%%>3<%%/LASTNEWSID%%>\r\n") << QByteArray("9")
        << QByteArray("<%%LASTNEWSID%%>3<%%/LASTNEWSID%%>\r\n<%%LastNewsId%%>9<%%/LastNewsId%%>\r\n")
        << QByteArray("3");
    QTest::newRow("empty document") << QByteArray() << QByteArray("1")
                                    << QByteArray("<%%LastNewsId%%>1<%%/LastNewsId%%>\r\n") << QByteArray("1");
    QTest::newRow("negative id") << QByteArray("<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n") << QByteArray("-2147483648")
                                 << QByteArray("<%%LastNewsId%%>-2147483648<%%/LastNewsId%%>\r\n")
                                 << QByteArray("-2147483648");
    // Only a valid id is written: whatever else a server sends as an id leaves every byte as it was.
    const QByteArray kept("<%%A%%>1<%%/A%%>\r\n<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n<%%B%%>2<%%/B%%>\r\n");
    const QList<std::pair<const char*, QByteArray>> refused = {
        {"empty value", QByteArray()},
        {"line break and tags", "9\r\n<%%Welcome1%%><h1>injected</h1><%%/Welcome1%%>\r\n<%%Banner1%%>x"},
        {"closing marker", "9<%%/LastNewsId%%><%%AffiliateURL%%>http://elsewhere/"},
        {"NUL", QByteArray("4\0<%%B%%>", 8)},
        {"blank", " 5"},
        {"plus sign", "+5"},
        {"letters after digits", "12a"},
        {"beyond 32 bits", "2147483648"},
        {"minus alone", "-"},
    };
    for (const auto& [name, value] : refused)
        QTest::newRow(name) << kept << value << kept << QByteArray("3");
}

void TestSettingsDocument::writeLastNewsId()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, readBack);
    writeRaw(sealBytes(before));
    WriteLastNewsId(value);
    QVERIFY(!plainCopyExists());
    const QByteArray sealed = readRaw();
    QCOMPARE(sealed.size(), after.size() + 20);
    QCOMPARE(unsealBytes(sealed), after);
    QCOMPARE(ReadLastNewsId(), readBack);

    StringList lines = UUtils::parseLines(before);
    SetLastNewsIdLine(lines, value);
    QCOMPARE(UUtils::joinLines(lines), after);
}

void TestSettingsDocument::missingSettingsFile()
{
    QVERIFY(!LoadSettingsDocument().has_value());
    QCOMPARE(ReadLastNewsId(), QByteArray());
    WriteLastNewsId("5");
    QVERIFY(!QFile::exists(file(kSettingsFileName)));
    QVERIFY(!plainCopyExists());
}

void TestSettingsDocument::badSealedFiles_data()
{
    QTest::addColumn<QByteArray>("sealed");
    QTest::addColumn<QByteArray>("id");
    const QByteArray plain("<%%ApplicationName%%>Q<%%/ApplicationName%%>\r\n<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n");
    const QByteArray good = sealBytes(plain);
    QByteArray lastChanged = good;
    lastChanged[lastChanged.size() - 1] = char(lastChanged[lastChanged.size() - 1] ^ 1);
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("1 byte") << QByteArray("x") << QByteArray();
    QTest::newRow("19 bytes") << good.left(19) << QByteArray();
    QTest::newRow("random") << randomBytes(3000, 17) << QByteArray();
    QTest::newRow("plain text under the sealed name") << plain << QByteArray();
    QTest::newRow("truncated") << good.left(good.size() - 2) << QByteArray("42");
    QTest::newRow("changed code byte") << lastChanged << QByteArray("42");
}

void TestSettingsDocument::badSealedFiles()
{
    QFETCH(QByteArray, sealed);
    QFETCH(QByteArray, id);
    writeRaw(sealed);
    QCOMPARE(ReadLastNewsId(), id);
    QVERIFY(!plainCopyExists());
    WriteLastNewsId("43");
    QVERIFY(!plainCopyExists());
    if (id.isEmpty()) {
        // Not a settings file of ours: it is left exactly as it was, never sealed over.
        QCOMPARE(readRaw(), sealed);
        QCOMPARE(ReadLastNewsId(), QByteArray());
    } else {
        // A damaged but readable file: what could be read is kept, with the new id.
        QCOMPARE(ReadLastNewsId(), QByteArray("43"));
    }
    QVERIFY(!plainCopyExists());
}

void TestSettingsDocument::unreadableSettingsFileRaises()
{
    // A folder under the sealed name exists but cannot be opened as a file.
    QVERIFY(QDir(m_dir->path()).mkdir(QLatin1String(kSettingsFileName)));
    QVERIFY_THROWS_EXCEPTION(AppError, ReadLastNewsId());
    QVERIFY(!plainCopyExists());
    QVERIFY_THROWS_EXCEPTION(AppError, WriteLastNewsId("1"));
    QVERIFY_THROWS_EXCEPTION(AppError, LoadSettingsDocument());
    QVERIFY(!plainCopyExists());
}

void TestSettingsDocument::failedWriteKeepsSettings()
{
    const QByteArray before = "<%%AboutText%%>" + QByteArray(100000, 'a') + "<%%/AboutText%%>\r\n";
    const QByteArray sealed = sealBytes(before);
    const QByteArray after = before + "<%%LastNewsId%%>1<%%/LastNewsId%%>\r\n";
    // The plain copy still fits, the sealed file 20 bytes longer does not: the seal fails.
    for (qsizetype limit : {after.size() - 100, after.size() + 10}) {
        writeRaw(sealed);
        {
            FileSizeLimit fileSizeLimit{rlim_t(limit)};
            QVERIFY_THROWS_EXCEPTION(AppError, WriteLastNewsId("1"));
        }
        QVERIFY(readRaw() == sealed);
        QVERIFY(!plainCopyExists());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList(QLatin1String(kSettingsFileName)));
    }
}

QTEST_GUILESS_MAIN(TestSettingsDocument)
#include "tst_settingsdocument.moc"
