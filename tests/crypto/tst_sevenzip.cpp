// The container is the entry data of a stored WinZip AES (AE-2) entry: 7-Zip reads ours and we
// read 7-Zip's.
#include "crypto/AesLib.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

quint16 get16(const QByteArray& in, qsizetype at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

quint32 get32(const QByteArray& in, qsizetype at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

// The 0x9901 extra field: AE-2, vendor "AE", strength 1..3, actual method 0 (stored).
QByteArray aesExtraField(int strength)
{
    QByteArray extra;
    put16(extra, 0x9901);
    put16(extra, 7);
    put16(extra, 2);
    extra.append("AE");
    extra.append(char(strength));
    put16(extra, 0);
    return extra;
}

// A one-entry zip around a container (AE-2 stores no CRC).
QByteArray zipAround(const QByteArray& container, qsizetype plainSize, int strength, const QByteArray& name)
{
    const QByteArray extra = aesExtraField(strength);
    auto common = [&](QByteArray& out) {
        put16(out, 51);     // version needed
        put16(out, 0x0001); // encrypted
        put16(out, 99);     // AES
        put16(out, 0);      // time
        put16(out, 0x21);   // date: 1980-01-01
        put32(out, 0);      // CRC
        put32(out, quint32(container.size()));
        put32(out, quint32(plainSize));
        put16(out, quint16(name.size()));
        put16(out, quint16(extra.size()));
    };
    QByteArray zip;
    put32(zip, 0x04034b50);
    common(zip);
    zip += name + extra + container;
    const qsizetype centralAt = zip.size();
    put32(zip, 0x02014b50);
    put16(zip, 51); // made by
    common(zip);
    put16(zip, 0); // comment
    put16(zip, 0); // disk
    put16(zip, 0); // internal attributes
    put32(zip, 0); // external attributes
    put32(zip, 0); // local header offset
    zip += name + extra;
    const qsizetype centralSize = zip.size() - centralAt;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 1);
    put16(zip, 1);
    put32(zip, quint32(centralSize));
    put32(zip, quint32(centralAt));
    put16(zip, 0);
    return zip;
}

struct Entry
{
    QByteArray data;
    qint64 plainSize = -1;
    int strength = 0;
};

// The first local entry of a zip: its data and the strength of its AES extra field.
Entry firstEntry(const QByteArray& zip)
{
    Entry e;
    if (zip.size() < 30 || get32(zip, 0) != 0x04034b50 || (get16(zip, 6) & 0x0008) != 0 || get16(zip, 8) != 99)
        return e;
    const quint32 compressed = get32(zip, 18);
    const quint16 nameLength = get16(zip, 26);
    const quint16 extraLength = get16(zip, 28);
    const qsizetype extraAt = 30 + nameLength;
    for (qsizetype at = extraAt; at + 4 <= extraAt + extraLength;) {
        const quint16 id = get16(zip, at);
        const quint16 size = get16(zip, at + 2);
        if (id == 0x9901 && size >= 7 && get16(zip, at + 4) == 2 && zip.mid(at + 6, 2) == "AE")
            e.strength = zip[at + 8];
        at += 4 + size;
    }
    e.plainSize = get32(zip, 22);
    e.data = zip.mid(extraAt + extraLength, compressed);
    return e;
}

int run7z(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("7z"), arguments);
    if (!p.waitForFinished(120000))
        return -1;
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestSevenZip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void peers_data();
    void sevenZipToContainer();
    void sevenZipToContainer_data() { peers_data(); }
    void containerToSevenZip();
    void containerToSevenZip_data() { peers_data(); }

private:
    QTemporaryDir m_dir;
};

void TestSevenZip::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("7z")).isEmpty())
        QSKIP("7z (p7zip-full) is not installed");
    QVERIFY(m_dir.isValid());
}

void TestSevenZip::peers_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("strength");
    QTest::addColumn<QByteArray>("passPhrase"); // its length chooses the key size on our side
    QTest::addColumn<int>("size");
    const QByteArray p10("riderozazo");
    const QByteArray p40("0123456789abcdefghijABCDEFGHIJ!#$%&()*+");
    const QByteArray p50("The quick brown fox jumps over the lazy dog 012345");
    QTest::newRow("AES128, empty") << "AES128" << 1 << p10 << 0;
    QTest::newRow("AES128, small") << "AES128" << 1 << p10 << 1000;
    QTest::newRow("AES128, beyond one buffer") << "AES128" << 1 << p10 << 300001;
    QTest::newRow("AES192") << "AES192" << 2 << p40 << 70000;
    QTest::newRow("AES256") << "AES256" << 3 << p50 << 70001;
}

void TestSevenZip::sevenZipToContainer()
{
    QFETCH(QString, method);
    QFETCH(int, strength);
    QFETCH(QByteArray, passPhrase);
    QFETCH(int, size);
    const QByteArray plain = randomBytes(size, quint32(size + strength));
    const QString plainPath = m_dir.filePath(QStringLiteral("plain-%1-%2.bin").arg(method).arg(size));
    const QString zipPath = plainPath + QStringLiteral(".zip");
    QFile f(plainPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(plain);
    f.close();
    QFile::remove(zipPath);
    QCOMPARE(
        run7z({QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=") + method,
               QStringLiteral("-mm=Copy"), QStringLiteral("-p") + QString::fromLatin1(passPhrase), zipPath, plainPath}),
        0);
    QFile z(zipPath);
    QVERIFY(z.open(QIODevice::ReadOnly));
    const Entry entry = firstEntry(z.readAll());
    QCOMPARE(entry.strength, strength);
    QCOMPARE(entry.plainSize, qint64(size));
    QCOMPARE(entry.data.size(), size + 4 * strength + 4 + 12);

    QByteArray in = entry.data;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer destination(&out);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, 262144);
    QCOMPARE(encryption.mode(), strength);
    QVERIFY(encryption.DecryptStream(source, destination, in.size()));
    QVERIFY(out == plain);
}

void TestSevenZip::containerToSevenZip()
{
    QFETCH(QString, method);
    QFETCH(int, strength);
    QFETCH(QByteArray, passPhrase);
    QFETCH(int, size);
    QByteArray plain = randomBytes(size, quint32(size * 3 + strength));
    QBuffer source(&plain);
    source.open(QIODevice::ReadOnly);
    QByteArray container;
    QBuffer destination(&container);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, 262144);
    QVERIFY(encryption.EncryptStream(source, destination));

    const QString zipPath = m_dir.filePath(QStringLiteral("ours-%1-%2.zip").arg(method).arg(size));
    QFile z(zipPath);
    QVERIFY(z.open(QIODevice::WriteOnly));
    z.write(zipAround(container, plain.size(), strength, "entry.bin"));
    z.close();
    const QString password = QStringLiteral("-p") + QString::fromLatin1(passPhrase);
    QCOMPARE(run7z({QStringLiteral("t"), password, zipPath}), 0);
    QByteArray extracted;
    QCOMPARE(run7z({QStringLiteral("e"), QStringLiteral("-so"), password, zipPath}, &extracted), 0);
    QVERIFY(extracted == plain);

    // 7-Zip checks the code: a changed byte of it makes the test fail.
    if (size > 0) {
        container[container.size() - 1] = char(container[container.size() - 1] ^ 1);
        QVERIFY(z.open(QIODevice::WriteOnly));
        z.write(zipAround(container, plain.size(), strength, "entry.bin"));
        z.close();
        QVERIFY(run7z({QStringLiteral("t"), password, zipPath}) != 0);
    }
}

QTEST_GUILESS_MAIN(TestSevenZip)
#include "tst_sevenzip.moc"
