// Files locked with a pass phrase (age v1): the format's published test vectors, round trips,
// damaged files, and files exchanged with the real `age` tool both ways.
#include "crypto/AgeFile.h"
#include "support/AgeTool.h"
#include "support/TestData.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Age::Status;

QString vectorDir()
{
    return qEnvironmentVariable("QUILLET_SOURCE_DIR") + QStringLiteral("/tests/crypto/testdata/age");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A file locked at a low work factor, so the tests run fast.
constexpr int kFastFactor = 10;

QByteArray lockedFile(const QByteArray& plain, const QByteArray& passPhrase = "secret")
{
    return Age::encrypt(plain, Age::newKey(passPhrase, kFastFactor));
}

} // namespace

class TestAgeFile : public QObject
{
    Q_OBJECT
private slots:
    void publishedVectors_data();
    void publishedVectors();
    void roundTrip_data();
    void roundTrip();
    void savesReuseTheKey();
    void badFiles_data();
    void badFiles();
    void detection();
    void realAgeOpensOurFile();
    void weOpenRealAgeFile();
};

void TestAgeFile::publishedVectors_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names = QDir(vectorDir()).entryList(QDir::Files);
    QVERIFY(names.size() > 60);
    for (const QString& name : names) {
        if (name != QLatin1String("README"))
            QTest::newRow(qPrintable(name)) << name;
    }
}

// Each vector: "expect", "payload" (SHA-256 of the plain text), "file key", "passphrase", then an
// empty line and the file. Vectors with a pass phrase run the whole way (scrypt included); the
// others (recipients this program does not open) run from the given file key: header grammar,
// MAC and payload.
void TestAgeFile::publishedVectors()
{
    QFETCH(QString, name);
    const QByteArray raw = readFile(vectorDir() + QLatin1Char('/') + name);
    const qsizetype split = raw.indexOf("\n\n");
    QVERIFY(split > 0);
    QHash<QByteArray, QByteArray> meta;
    for (const QByteArray& line : raw.left(split).split('\n')) {
        const qsizetype colon = line.indexOf(": ");
        meta.insert(line.left(colon), line.mid(colon + 2));
    }
    const QByteArray file = raw.mid(split + 2);
    const QByteArray expect = meta.value("expect");

    QByteArray plain;
    Status status;
    if (meta.contains("passphrase"))
        status = Age::decrypt(file, meta.value("passphrase"), &plain);
    else
        status = Age::decryptWithFileKey(file, QByteArray::fromHex(meta.value("file key")), &plain);

    if (expect == "success") {
        QCOMPARE(int(status), int(Status::Ok));
        QCOMPARE(QCryptographicHash::hash(plain, QCryptographicHash::Sha256).toHex(), meta.value("payload"));
    } else if (expect == "HMAC failure") {
        QCOMPARE(int(status), int(Status::Altered));
    } else if (expect == "payload failure") {
        QVERIFY2(status == Status::Altered || status == Status::Truncated, qPrintable(Age::describe(status)));
    } else if (expect == "no match") {
        QVERIFY2(status == Status::WrongPassPhrase || status == Status::NotPassPhrase,
                 qPrintable(Age::describe(status)));
    } else {
        QCOMPARE(expect, QByteArray("header failure"));
        QVERIFY2(status != Status::Ok && status != Status::WrongPassPhrase && status != Status::Altered,
                 qPrintable(Age::describe(status)));
    }
}

void TestAgeFile::roundTrip_data()
{
    QTest::addColumn<qsizetype>("size");
    // Empty, within one chunk, and at and around the chunk boundaries.
    for (qsizetype size : {qsizetype(0), qsizetype(1), Age::kChunkSize - 1, Age::kChunkSize, Age::kChunkSize + 1,
                           2 * Age::kChunkSize, 3 * Age::kChunkSize + 17})
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

void TestAgeFile::roundTrip()
{
    QFETCH(qsizetype, size);
    const QByteArray plain = randomBytes(size, quint32(size));
    const QByteArray passPhrase = QStringLiteral("pässwörd €").toUtf8();
    const QByteArray file = lockedFile(plain, passPhrase);
    QVERIFY(file.startsWith("age-encryption.org/v1\n-> scrypt "));
    // Plain text, 16-byte nonce, one 16-byte tag per chunk (one empty chunk for an empty text).
    const qsizetype chunks = size == 0 ? 1 : (size + Age::kChunkSize - 1) / Age::kChunkSize;
    QCOMPARE(file.size() - Age::readHeader(file).payloadOffset, 16 + size + 16 * chunks);

    QByteArray opened;
    Age::Key key;
    QCOMPARE(int(Age::decrypt(file, passPhrase, &opened, &key)), int(Status::Ok));
    QCOMPARE(opened, plain);
    QCOMPARE(key.header, Age::readHeader(file).header);

    // Written in pieces (as a save writes line by line), the file opens to the same text.
    QByteArray pieces;
    Age::Writer writer(key, [&pieces](const char* bytes, qsizetype n) {
        pieces.append(bytes, n);
        return true;
    });
    for (qsizetype at = 0; at < size; at += 1000)
        QVERIFY(writer.write(plain.constData() + at, std::min<qsizetype>(1000, size - at)));
    QVERIFY(writer.finish());
    QCOMPARE(pieces.size(), file.size());
    QCOMPARE(int(Age::decryptWithKey(pieces, key, &opened)), int(Status::Ok));
    QCOMPARE(opened, plain);
}

// A save while unlocked writes the same header and a fresh nonce: each save differs, each opens
// with the pass phrase and with the kept key, without scrypt.
void TestAgeFile::savesReuseTheKey()
{
    const Age::Key key = Age::newKey("secret", kFastFactor);
    const QByteArray first = Age::encrypt("lines\r\n", key);
    const QByteArray second = Age::encrypt("lines\r\n", key);
    QVERIFY(first != second);
    QVERIFY(first.startsWith(key.header) && second.startsWith(key.header));
    for (const QByteArray& file : {first, second}) {
        QByteArray plain;
        QCOMPARE(int(Age::decryptWithKey(file, key, &plain)), int(Status::Ok));
        QCOMPARE(plain, QByteArray("lines\r\n"));
        QCOMPARE(int(Age::decrypt(file, "secret", &plain)), int(Status::Ok));
    }
    // Another file's key does not open it.
    QByteArray plain;
    QCOMPARE(int(Age::decryptWithKey(first, Age::newKey("secret", kFastFactor), &plain)), int(Status::WrongPassPhrase));
}

void TestAgeFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("expected");

    const QByteArray good = lockedFile(randomBytes(Age::kChunkSize + 100, 7));
    const qsizetype payload = Age::readHeader(good).payloadOffset;
    const auto flipped = [&good](qsizetype at) {
        QByteArray f = good;
        f[at] = char(f[at] ^ 0x01);
        return f;
    };
    const QByteArray macLine = "--- " + QByteArray(43, 'A') + "\n";
    const QByteArray wholeChunkFile = lockedFile(randomBytes(2 * Age::kChunkSize, 8));

    QTest::newRow("wrong pass phrase") << lockedFile("x", "other") << int(Status::WrongPassPhrase);
    QTest::newRow("cut in the header") << good.left(payload - 10) << int(Status::Truncated);
    QTest::newRow("cut in the nonce") << good.left(payload + 5) << int(Status::Truncated);
    QTest::newRow("cut after a whole chunk")
        << wholeChunkFile.left(wholeChunkFile.size() - Age::kChunkSize - 16) << int(Status::Truncated);
    QTest::newRow("cut in the last chunk") << good.left(good.size() - 1) << int(Status::Altered);
    QTest::newRow("payload byte changed") << flipped(payload + 100) << int(Status::Altered);
    QTest::newRow("nonce changed") << flipped(payload) << int(Status::Altered);
    QTest::newRow("bytes appended") << good + "x" << int(Status::Altered);
    QByteArray badMac = good;
    badMac[payload - 3] = badMac[payload - 3] == 'A' ? 'B' : 'A';
    QTest::newRow("MAC changed") << badMac << int(Status::Altered);
    QTest::newRow("work factor 23") << QByteArray("age-encryption.org/v1\n-> scrypt rF0/NwblUHHTpgQgRpe5CQ 23\n"
                                                  "qW9eVsT0NVb/Vswtw8kPIxUnaYmm9Px1dYmq2+4+qZA\n" +
                                                  macLine)
                                    << int(Status::WorkFactorTooHigh);
    QTest::newRow("work factor 99999999999") << QByteArray("age-encryption.org/v1\n-> scrypt rF0/NwblUHHTpgQgRpe5CQ "
                                                           "99999999999\nAAAA\n" +
                                                           macLine)
                                             << int(Status::WorkFactorTooHigh);
    const QByteArray stanza = good.mid(22, good.indexOf("---") - 22);
    QTest::newRow("two pass phrase recipients")
        << QByteArray(good).insert(22, stanza) << int(Status::MoreThanOneRecipient);
    QTest::newRow("a key recipient") << QByteArray("age-encryption.org/v1\n-> X25519 abc\n\n--- "
                                                   "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n")
                                     << int(Status::NotPassPhrase);
    QTest::newRow("long argument line") << QByteArray("age-encryption.org/v1\n-> scrypt " + QByteArray(5000, 'a') +
                                                      "\n")
                                        << int(Status::HeaderLineTooLong);
    QTest::newRow("long line without end")
        << QByteArray("age-encryption.org/v1\n-> " + QByteArray(200000, 'a')) << int(Status::HeaderLineTooLong);
    QTest::newRow("body line of 65 columns")
        << QByteArray("age-encryption.org/v1\n-> scrypt a 10\n" + QByteArray(65, 'A') + "\n--- x\n")
        << int(Status::HeaderLineTooLong);
    QTest::newRow("version 2") << QByteArray("age-encryption.org/v2\n-> scrypt\n") << int(Status::UnsupportedVersion);
    QTest::newRow("garbage header") << QByteArray("age-encryption.org/v1\nhello\n") << int(Status::NotAgeFile);
    QTest::newRow("armored") << QByteArray("-----BEGIN AGE ENCRYPTED FILE-----\nYWdl\n") << int(Status::Armored);
    QTest::newRow("plain text") << QByteArray("Category\r\n") << int(Status::NotAgeFile);
}

void TestAgeFile::badFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(int, expected);
    QByteArray plain = "untouched";
    QCOMPARE(int(Age::decrypt(file, "secret", &plain)), expected);
    QCOMPARE(plain, QByteArray("untouched"));
}

void TestAgeFile::detection()
{
    QVERIFY(Age::looksLikeAge("age-encryption.org/v1\n"));
    QVERIFY(Age::looksLikeAge("age-encryption.org/v9"));
    QVERIFY(Age::looksLikeAge("-----BEGIN AGE ENCRYPTED FILE-----\n"));
    QVERIFY(!Age::looksLikeAge("Shopping\r\nage-encryption.org/v1\n"));
    QVERIFY(!Age::looksLikeAge(""));
}

// Our file, written as a save writes it, opened by `age -d` with a non-ASCII pass phrase.
void TestAgeFile::realAgeOpensOurFile()
{
    QTemporaryDir dir;
    const QByteArray passPhrase = QStringLiteral("Grüße, 東京 €5").toUtf8();
    const QByteArray plain = "Shopping\r\nTravel \xE9t\xE9\r\n" + randomBytes(Age::kChunkSize * 2 + 5, 3);
    QVERIFY(writeFile(dir.filePath("in.age"), Age::encrypt(plain, Age::newKey(passPhrase))));
    const AgeRun run = runAgeWithPassPhrase({"-d", "-o", dir.filePath("out"), dir.filePath("in.age")}, passPhrase);
    QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
    QCOMPARE(readFile(dir.filePath("out")), plain);
}

// A file of `age -p` opened here, with the same pass phrase; a wrong one is refused.
void TestAgeFile::weOpenRealAgeFile()
{
    QTemporaryDir dir;
    const QByteArray passPhrase = QStringLiteral("Grüße, 東京 €5").toUtf8();
    const QByteArray plain = "Shopping\r\n" + randomBytes(Age::kChunkSize + 3, 4);
    QVERIFY(writeFile(dir.filePath("in"), plain));
    const AgeRun run = runAgeWithPassPhrase({"-p", "-o", dir.filePath("out.age"), dir.filePath("in")}, passPhrase);
    QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
    const QByteArray file = readFile(dir.filePath("out.age"));
    QCOMPARE(Age::readHeader(file).workFactor, Age::kDefaultWorkFactor);
    QByteArray opened;
    QCOMPARE(int(Age::decrypt(file, passPhrase, &opened)), int(Status::Ok));
    QCOMPARE(opened, plain);
    QCOMPARE(int(Age::decrypt(file, "Grüße", &opened)), int(Status::WrongPassPhrase));
}

QTEST_GUILESS_MAIN(TestAgeFile)
#include "tst_agefile.moc"
