// Sealing and unsealing the settings file: round trips, damaged and foreign input, errors, and
// a seal that fails half-way (full disk) leaving the old sealed file whole.
#include "crypto/AesLib.h"
#include "support/TestData.h"
#include "util/AppError.h"
#include "util/Sealing.h"

#include "support/FileSizeLimit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace UUtils;

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Sealed under another 10-byte pass phrase, with a salt for which the program's verification
// value differs (otherwise one run in 65536 would decipher garbage).
QByteArray sealedUnderOtherPassPhrase(const QByteArray& plain)
{
    for (;;) {
        const QByteArray sealed = sealBytes(plain, "zazoroderi");
        unsigned char derived[34];
        TCrypt::DeriveKey(kSealPassPhrase, reinterpret_cast<const unsigned char*>(sealed.constData()), 8, 1000, derived,
                          34);
        if (sealed.mid(8, 2) != QByteArray(reinterpret_cast<char*>(derived + 32), 2))
            return sealed;
    }
}

QByteArray flipped(QByteArray data, qsizetype at)
{
    data[at] = char(data[at] ^ 0x20);
    return data;
}

} // namespace

class TestSealing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void sealingTwiceGivesNewSalt();
    void unsealBadInput_data();
    void unsealBadInput();
    void missingSourceRaises();
    void uncreatableDestinationRaises();
    void failedSealKeepsOldFile();
    void failedUnsealRaises();
    void otherPassPhrase();
    void plainCopy_data();
    void plainCopy();

private:
    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSealing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSealing::roundTrip_data()
{
    QTest::addColumn<int>("size");
    for (int size : {0, 1, kSealBufferSize - 1, kSealBufferSize, kSealBufferSize + 1, 3 * kSealBufferSize + 17})
        QTest::addRow("%d bytes", size) << size;
}

void TestSealing::roundTrip()
{
    QFETCH(int, size);
    const QByteArray plain = randomBytes(size, quint32(size));
    writeFile(path("dbsettings.sim"), plain);
    SealFile(path("dbsettings.sim"), path("dbsettings.dat"));
    const QByteArray sealed = readFile(path("dbsettings.dat"));
    QCOMPARE(sealed.size(), size + 20); // AES-128: 8 bytes of salt, 2 + 10 around the data
    // The plain bytes do not show through (a run too short to tell is found in random bytes by chance).
    QVERIFY(size < 16 || !sealed.contains(plain.left(64)));

    writeFile(path("dbsettings.sim"), "an older plain copy that is longer than some plain texts");
    UnsealFile(path("dbsettings.dat"), path("dbsettings.sim"));
    QVERIFY(readFile(path("dbsettings.sim")) == plain);
}

void TestSealing::sealingTwiceGivesNewSalt()
{
    writeFile(path("plain"), "<%%ApplicationName%%>Quillet<%%/ApplicationName%%>\r\n");
    SealFile(path("plain"), path("a"));
    SealFile(path("plain"), path("b"));
    const QByteArray a = readFile(path("a"));
    const QByteArray b = readFile(path("b"));
    QCOMPARE(a.size(), b.size());
    QVERIFY(a != b);
    UnsealFile(path("a"), path("a.sim"));
    UnsealFile(path("b"), path("b.sim"));
    QCOMPARE(readFile(path("a.sim")), readFile(path("plain")));
    QCOMPARE(readFile(path("b.sim")), readFile(path("plain")));
}

void TestSealing::unsealBadInput_data()
{
    QTest::addColumn<QByteArray>("sealed");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("accepted"); // passes the pass phrase check
    const QByteArray plain = randomBytes(5000, 99);
    const QByteArray good = sealBytes(plain);
    const QByteArray text(
        "<%%ApplicationName%%>Quillet<%%/ApplicationName%%>\r\n<%%BranderType%%>Gold<%%/BranderType%%>\r\n");
    // The pass phrase check fails: an empty plain copy.
    QTest::newRow("empty") << QByteArray() << QByteArray() << false;
    QTest::newRow("1 byte") << QByteArray(1, 'x') << QByteArray() << false;
    QTest::newRow("19 bytes") << good.left(19) << QByteArray() << false;
    QTest::newRow("random") << randomBytes(4000, 1) << QByteArray() << false;
    QTest::newRow("plain text") << text << QByteArray() << false;
    QTest::newRow("other pass phrase") << sealedUnderOtherPassPhrase(plain) << QByteArray() << false;
    QTest::newRow("changed salt") << flipped(good, 0) << QByteArray() << false;
    // The header holds: the deciphered bytes, as far as they go, whatever the code says.
    QTest::newRow("changed last byte") << flipped(good, good.size() - 1) << plain << true;
    QTest::newRow("changed data byte") << flipped(good, 10 + 1234) << flipped(plain, 1234) << true;
    QTest::newRow("truncated") << good.left(good.size() - 7) << plain.left(plain.size() - 7) << true;
    QTest::newRow("header and code only") << good.left(20) << QByteArray() << true;
}

void TestSealing::unsealBadInput()
{
    QFETCH(QByteArray, sealed);
    QFETCH(QByteArray, expected);
    QFETCH(bool, accepted);
    writeFile(path("dbsettings.dat"), sealed);
    writeFile(path("dbsettings.sim"), "stale plain copy");
    QCOMPARE(UnsealFile(path("dbsettings.dat"), path("dbsettings.sim")), accepted);
    QVERIFY(readFile(path("dbsettings.sim")) == expected);
}

void TestSealing::missingSourceRaises()
{
    const std::function<void(const QString&, const QString&)> operations[] = {
        [](const QString& s, const QString& d) { UnsealFile(s, d); },
        [](const QString& s, const QString& d) { SealFile(s, d); }};
    for (const auto& op : operations) {
        try {
            op(path("missing"), path("out"));
            QFAIL("no error raised");
        } catch (const AppError& e) {
            QVERIFY2(e.message().startsWith(
                         QStringLiteral("Cannot open file \"%1\". ").arg(QDir::toNativeSeparators(path("missing")))),
                     qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(path("out"))); // the destination is not touched
    }
}

void TestSealing::uncreatableDestinationRaises()
{
    writeFile(path("source"), sealBytes("plain"));
    const std::function<void(const QString&, const QString&)> operations[] = {
        [](const QString& s, const QString& d) { UnsealFile(s, d); },
        [](const QString& s, const QString& d) { SealFile(s, d); }};
    for (const auto& op : operations) {
        const QString destination = path("no-such-folder/out");
        try {
            op(path("source"), destination);
            QFAIL("no error raised");
        } catch (const AppError& e) {
            QVERIFY2(e.message().startsWith(
                         QStringLiteral("Cannot create file \"%1\". ").arg(QDir::toNativeSeparators(destination))),
                     qPrintable(e.message()));
        }
    }
}

void TestSealing::failedSealKeepsOldFile()
{
    const QByteArray old = sealBytes("<%%ApplicationName%%>Old<%%/ApplicationName%%>\r\n");
    writeFile(path("dbsettings.dat"), old);
    writeFile(path("dbsettings.sim"), randomBytes(200000, 5));
    {
        FileSizeLimit limit(100000);
        QVERIFY_THROWS_EXCEPTION(AppError, SealFile(path("dbsettings.sim"), path("dbsettings.dat")));
    }
    QVERIFY(readFile(path("dbsettings.dat")) == old);
    // No half-written temporary file is left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList({QStringLiteral("dbsettings.dat"), QStringLiteral("dbsettings.sim")}));
}

void TestSealing::failedUnsealRaises()
{
    writeFile(path("dbsettings.dat"), sealBytes(randomBytes(200000, 6)));
    FileSizeLimit limit(100000);
    try {
        UnsealFile(path("dbsettings.dat"), path("dbsettings.sim"));
        QFAIL("a short write went unnoticed");
    } catch (const AppError& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Stream write error")), qPrintable(e.message()));
    }
    // No plain copy cut short is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dbsettings.dat"});
}

// The tool and the tests seal under other pass phrases through the same functions; the length
// of the pass phrase chooses the key size.
void TestSealing::otherPassPhrase()
{
    const QByteArray plain = randomBytes(3000, 7);
    writeFile(path("plain"), plain);
    for (const QByteArray& passPhrase : {QByteArray("secret"), QByteArray(40, 'k'), QByteArray(128, 'k')}) {
        SealFile(path("plain"), path("sealed"), passPhrase);
        const int salt = TCrypt::saltLength(TCrypt::modeForPassPhraseLength(passPhrase.size()));
        QCOMPARE(readFile(path("sealed")).size(), plain.size() + salt + 12);
        QVERIFY(UnsealFile(path("sealed"), path("back"), passPhrase));
        QVERIFY(readFile(path("back")) == plain);
        Unsealed verdict = Unsealed::Intact;
        QVERIFY(unsealBytes(readFile(path("sealed")), passPhrase, &verdict) == plain);
        QCOMPARE(verdict, Unsealed::Intact);
        QCOMPARE(unsealBytes(sealBytes(plain, passPhrase), passPhrase), plain);
    }
    const QByteArray tooLong(129, 'k');
    QVERIFY_THROWS_EXCEPTION(AppError, SealFile(path("plain"), path("sealed"), tooLong));
    QVERIFY_THROWS_EXCEPTION(AppError, UnsealFile(path("sealed"), path("back"), tooLong));
    QVERIFY_THROWS_EXCEPTION(AppError, sealBytes(plain, tooLong));
}

void TestSealing::plainCopy_data()
{
    QTest::addColumn<QByteArray>("sealed");
    QTest::addColumn<Unsealed>("verdict");
    QTest::addColumn<QByteArray>("workingCopy"); // the plain copy written as PlainCopy::WorkingCopy
    QTest::addColumn<QByteArray>("document");    // ... and as PlainCopy::IntactDocument
    const QByteArray plain = randomBytes(4000, 8);
    const QByteArray good = sealBytes(plain);
    const QByteArray old("old plain copy");
    QTest::newRow("intact") << good << Unsealed::Intact << plain << plain;
    QTest::newRow("changed code") << flipped(good, good.size() - 1) << Unsealed::Damaged << plain << old;
    QTest::newRow("cut short") << good.left(good.size() - 5) << Unsealed::Damaged << plain.left(plain.size() - 5)
                               << old;
    QTest::newRow("other pass phrase") << sealedUnderOtherPassPhrase(plain) << Unsealed::WrongPassPhrase << QByteArray()
                                       << old;
    QTest::newRow("too short") << good.left(19) << Unsealed::WrongPassPhrase << QByteArray() << old;
}

void TestSealing::plainCopy()
{
    QFETCH(QByteArray, sealed);
    QFETCH(Unsealed, verdict);
    QFETCH(QByteArray, workingCopy);
    QFETCH(QByteArray, document);
    writeFile(path("dbsettings.dat"), sealed);
    for (const PlainCopy copy : {PlainCopy::WorkingCopy, PlainCopy::IntactDocument}) {
        writeFile(path("dbsettings.sim"), "old plain copy");
        QCOMPARE(unsealFileChecked(path("dbsettings.dat"), path("dbsettings.sim"), kSealPassPhrase, copy), verdict);
        QVERIFY(readFile(path("dbsettings.sim")) == (copy == PlainCopy::WorkingCopy ? workingCopy : document));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
    Unsealed inMemory = Unsealed::Intact;
    QVERIFY(unsealBytes(sealed, kSealPassPhrase, &inMemory) == workingCopy);
    QCOMPARE(inMemory, verdict);
}

QTEST_GUILESS_MAIN(TestSealing)
#include "tst_sealing.moc"
