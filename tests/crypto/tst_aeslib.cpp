// The AES block cipher, the key derivation and the encrypted container, checked against published
// vectors and against OpenSSL used directly.
#include "crypto/AesLib.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {

const unsigned char* bytes(const QByteArray& a)
{
    return reinterpret_cast<const unsigned char*>(a.constData());
}

QByteArray aesBlock(const QByteArray& key, const QByteArray& block)
{
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, cipher, nullptr, bytes(key), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    QByteArray out(16, 0);
    int n = 0;
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n, bytes(block), 16);
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

// The counter block of WinZip AES: 64-bit little-endian counter, then 8 zero bytes.
QByteArray counterBlock(quint64 counter)
{
    QByteArray block(16, 0);
    for (int i = 0; i < 8; ++i)
        block[i] = char(counter >> (8 * i));
    return block;
}

struct Container
{
    QByteArray data;
    bool ok = false;
};

Container seal(const QByteArray& passPhrase, const QByteArray& plain, int bufferSize = 262144)
{
    QByteArray in = plain;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer destination(&out);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, bufferSize);
    Container c;
    c.ok = encryption.EncryptStream(source, destination);
    c.data = out;
    return c;
}

struct Opened
{
    QByteArray plain;
    bool ok = false;
    TEncryption::Error error = TEncryption::Error::None;
};

Opened open(const QByteArray& passPhrase, const QByteArray& container, qint64 length = -1, int bufferSize = 262144)
{
    QByteArray in = container;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer destination(&out);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, bufferSize);
    Opened o;
    o.ok = encryption.DecryptStream(source, destination, length < 0 ? container.size() : length);
    o.error = encryption.lastError();
    o.plain = out;
    return o;
}

// A destination that takes `room` bytes and then reports short writes, as a full disk does.
class FullDevice : public QIODevice
{
public:
    explicit FullDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override
    {
        const qint64 n = std::min(length, m_room);
        m_room -= n;
        return n;
    }

private:
    qint64 m_room;
};

} // namespace

Q_DECLARE_METATYPE(TEncryption::Error)

class TestAesLib : public QObject
{
    Q_OBJECT

private slots:
    void fipsVectors_data();
    void fipsVectors();
    void keyLengths_data();
    void keyLengths();
    void pbkdf2Vectors_data();
    void pbkdf2Vectors();
    void sha1Compression();
    void containerLayout_data();
    void containerLayout();
    void keyStreamCounters();
    void saltsDiffer();
    void damagedContainers_data();
    void damagedContainers();
    void wrongPassPhrase_data();
    void wrongPassPhrase();
    void overlongPassPhraseIsRefused();
    void shortWritesFail_data();
    void shortWritesFail();
};

void TestAesLib::fipsVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("C.1 AES-128") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f")
                                 << QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
    QTest::newRow("C.2 AES-192") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617")
                                 << QByteArray::fromHex("dda97ca4864cdfe06eaf70a0ec0d7191");
    QTest::newRow("C.3 AES-256") << QByteArray::fromHex(
                                        "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f")
                                 << QByteArray::fromHex("8ea2b7ca516745bfeafc49904b496089");
}

void TestAesLib::fipsVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    TAesContext context;
    QVERIFY(AesSetEncryptKey(bytes(key), int(key.size()), context));
    QCOMPARE(context.rounds, 6 + int(key.size()) / 4);
    QByteArray out(16, 0);
    AesEncryptBlock(bytes(plain), reinterpret_cast<unsigned char*>(out.data()), context);
    QCOMPARE(out.toHex(), expected.toHex());
    // The same length given in bits.
    TAesContext bits;
    QVERIFY(AesSetEncryptKey(bytes(key), int(key.size()) * 8, bits));
    QByteArray outBits(16, 0);
    AesEncryptBlock(bytes(plain), reinterpret_cast<unsigned char*>(outBits.data()), bits);
    QCOMPARE(outBits.toHex(), expected.toHex());
}

void TestAesLib::keyLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("rounds");
    for (int ok : {16, 24, 32, 128, 192, 256})
        QTest::addRow("%d", ok) << ok << true << (ok > 32 ? 6 + ok / 32 : 6 + ok / 4);
    for (int bad : {0, 1, 15, 17, 20, 64, 160, 127, 512, -16})
        QTest::addRow("%d", bad) << bad << false << 0;
}

void TestAesLib::keyLengths()
{
    QFETCH(int, length);
    QFETCH(bool, accepted);
    QFETCH(int, rounds);
    const QByteArray key(64, 'k');
    TAesContext context;
    QVERIFY(AesSetEncryptKey(bytes(key), 32, context)); // a valid key before: a failure must reset it
    QCOMPARE(AesSetEncryptKey(bytes(key), length, context), accepted);
    QCOMPARE(context.rounds, rounds);
}

void TestAesLib::pbkdf2Vectors_data()
{
    // RFC 6070
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1") << QByteArray("password") << QByteArray("salt") << 1
                       << QByteArray::fromHex("0c60c80f961f0e71f3a9b524af6012062fe037a6");
    QTest::newRow("2") << QByteArray("password") << QByteArray("salt") << 2
                       << QByteArray::fromHex("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    QTest::newRow("4096") << QByteArray("password") << QByteArray("salt") << 4096
                          << QByteArray::fromHex("4b007901b765489abead49d926f721d065a429c1");
    QTest::newRow("long") << QByteArray("passwordPASSWORDpassword")
                          << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                          << QByteArray::fromHex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    QTest::newRow("nul") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                         << QByteArray::fromHex("56fa6aa75548099dcc37d7f03425e0c3");
}

void TestAesLib::pbkdf2Vectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, expected);
    QByteArray out(expected.size(), 0);
    QVERIFY(TCrypt::DeriveKey(password, bytes(salt), int(salt.size()), iterations,
                              reinterpret_cast<unsigned char*>(out.data()), int(out.size())));
    QCOMPARE(out.toHex(), expected.toHex());
}

void TestAesLib::sha1Compression()
{
    // SHA-1("abc") is one compression of the padded block from the initial state.
    QByteArray block(64, 0);
    block[0] = 'a';
    block[1] = 'b';
    block[2] = 'c';
    block[3] = char(0x80);
    block[63] = 24;
    uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    Sha1Compress(state, bytes(block));
    const uint32_t expected[5] = {0xa9993e36, 0x4706816a, 0xba3e2571, 0x7850c26c, 0x9cd0d89d};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(state[i], expected[i]);
}

void TestAesLib::containerLayout_data()
{
    QTest::addColumn<int>("passLength");
    QTest::addColumn<int>("plainLength");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("saltLength");
    // Mode follows the pass phrase length: K = 8 x mode + 8, S = 4 x mode + 4.
    QTest::newRow("empty data, 10-byte pass phrase") << 10 << 0 << 262144 << 8;
    QTest::newRow("empty pass phrase") << 0 << 100 << 262144 << 8;
    QTest::newRow("31 bytes: mode 1") << 31 << 1000 << 262144 << 8;
    QTest::newRow("32 bytes: mode 2") << 32 << 1000 << 262144 << 12;
    QTest::newRow("47 bytes: mode 2") << 47 << 1000 << 262144 << 12;
    QTest::newRow("48 bytes: mode 3") << 48 << 1000 << 262144 << 16;
    QTest::newRow("128 bytes: mode 3") << 128 << 33 << 262144 << 16;
    QTest::newRow("exactly one buffer") << 10 << 4096 << 4096 << 8;
    QTest::newRow("buffer ends inside blocks") << 10 << 1000 << 7 << 8;
    QTest::newRow("buffer plus one") << 40 << 4097 << 4096 << 12;
    QTest::newRow("several buffers, odd tail") << 50 << 200003 << 65536 << 16;
}

void TestAesLib::containerLayout()
{
    QFETCH(int, passLength);
    QFETCH(int, plainLength);
    QFETCH(int, bufferSize);
    QFETCH(int, saltLength);
    const QByteArray passPhrase = randomBytes(passLength, 7 + passLength);
    const QByteArray plain = randomBytes(plainLength, 11 + plainLength);
    const Container c = seal(passPhrase, plain, bufferSize);
    QVERIFY(c.ok);
    QCOMPARE(c.data.size(), plainLength + saltLength + 12);

    // Recompute everything with OpenSSL directly: keys, verification value, counter mode, code.
    const int k = 2 * saltLength; // K = 8m + 8 = 2S
    const QByteArray salt = c.data.left(saltLength);
    QByteArray derived(2 * k + 2, 0);
    QVERIFY(PKCS5_PBKDF2_HMAC_SHA1(passPhrase.constData(), int(passPhrase.size()), bytes(salt), saltLength, 1000,
                                   int(derived.size()), reinterpret_cast<unsigned char*>(derived.data())) == 1);
    QCOMPARE(c.data.mid(saltLength, 2).toHex(), derived.mid(2 * k, 2).toHex());
    const QByteArray cipherText = c.data.mid(saltLength + 2, plainLength);
    const QByteArray aesKey = derived.left(k);
    QByteArray expected = plain;
    for (qsizetype i = 0; i < expected.size(); i += 16) {
        const QByteArray stream = aesBlock(aesKey, counterBlock(quint64(i / 16 + 1)));
        for (qsizetype j = i; j < std::min(i + 16, expected.size()); ++j)
            expected[j] = char(expected[j] ^ stream[j - i]);
    }
    QVERIFY(cipherText == expected);
    unsigned char mac[20];
    unsigned int macLength = 0;
    HMAC(EVP_sha1(), derived.constData() + k, k, bytes(cipherText), size_t(cipherText.size()), mac, &macLength);
    QCOMPARE(c.data.right(10).toHex(), QByteArray(reinterpret_cast<char*>(mac), 10).toHex());

    const Opened o = open(passPhrase, c.data, -1, bufferSize);
    QVERIFY(o.ok);
    QCOMPARE(o.error, TEncryption::Error::None);
    QVERIFY(o.plain == plain);
}

void TestAesLib::keyStreamCounters()
{
    // Bytes 0..15 use counter 1 (first byte 1), bytes 4096..4111 counter 257 (first bytes 1, 1).
    const QByteArray passPhrase("riderozazo");
    const Container c = seal(passPhrase, QByteArray(4112, 0));
    const QByteArray salt = c.data.left(8);
    QByteArray derived(34, 0);
    TCrypt::DeriveKey(passPhrase, bytes(salt), 8, 1000, reinterpret_cast<unsigned char*>(derived.data()), 34);
    QByteArray first(16, 0), at257(16, 0);
    first[0] = 1;
    at257[0] = 1;
    at257[1] = 1;
    QCOMPARE(c.data.mid(10, 16).toHex(), aesBlock(derived.left(16), first).toHex());
    QCOMPARE(c.data.mid(10 + 4096, 16).toHex(), aesBlock(derived.left(16), at257).toHex());
}

void TestAesLib::saltsDiffer()
{
    const QByteArray plain("the same plain data");
    const Container a = seal("riderozazo", plain);
    const Container b = seal("riderozazo", plain);
    QCOMPARE(a.data.size(), b.data.size());
    QVERIFY(a.data.left(8) != b.data.left(8));
    QVERIFY(a.data != b.data);

    // A second container from the same object takes fresh salt bytes from the pool.
    TEncryption encryption("riderozazo", 1024);
    unsigned char one[16], two[16];
    encryption.RandomPoolRead(one, 16);
    encryption.RandomPoolRead(two, 16);
    QVERIFY(memcmp(one, two, 16) != 0);
    // Reading across the end of the output buffer refreshes it.
    QByteArray many(3 * TEncryption::kPoolSize, 0);
    encryption.RandomPoolRead(reinterpret_cast<unsigned char*>(many.data()), int(many.size()));
    QVERIFY(many.mid(0, 260) != many.mid(260, 260));
}

void TestAesLib::damagedContainers_data()
{
    QTest::addColumn<int>("changeAt"); // from the end when negative; 0 = unchanged
    QTest::addColumn<int>("cutBytes");
    QTest::addColumn<bool>("plainComplete");
    QTest::addColumn<TEncryption::Error>("error");
    QTest::newRow("last byte of the code") << -1 << 0 << true << TEncryption::Error::Authentication;
    QTest::newRow("first byte of the code") << -10 << 0 << true << TEncryption::Error::Authentication;
    QTest::newRow("a cipher text byte") << 500 << 0 << false << TEncryption::Error::Authentication;
    QTest::newRow("truncated by one") << 0 << 1 << false << TEncryption::Error::Authentication;
    QTest::newRow("only the header left") << 0 << 1010 << false << TEncryption::Error::PassPhrase;
}

void TestAesLib::damagedContainers()
{
    QFETCH(int, changeAt);
    QFETCH(int, cutBytes);
    QFETCH(bool, plainComplete);
    QFETCH(TEncryption::Error, error);
    const QByteArray plain = randomBytes(1000, 3);
    QByteArray container = seal("riderozazo", plain).data;
    if (changeAt != 0) {
        const qsizetype at = changeAt < 0 ? container.size() + changeAt : changeAt;
        container[at] = char(container[at] ^ 0x40);
    }
    container.chop(cutBytes);
    const Opened o = open("riderozazo", container);
    QVERIFY(!o.ok);
    QCOMPARE(o.error, error);
    if (plainComplete)
        QVERIFY(o.plain == plain); // deciphered completely, but reported as failed
    else if (changeAt > 0) {
        QCOMPARE(o.plain.size(), plain.size());
        QCOMPARE(o.plain[changeAt - 10], char(plain[changeAt - 10] ^ 0x40));
    } else
        QVERIFY(plain.startsWith(o.plain));
}

void TestAesLib::wrongPassPhrase_data()
{
    QTest::addColumn<QByteArray>("sealedWith");
    QTest::addColumn<QByteArray>("openedWith");
    QTest::newRow("same length class") << QByteArray("riderozazo") << QByteArray("ridErozazo");
    QTest::newRow("10 bytes opened with 40") << QByteArray("riderozazo") << QByteArray(40, 'r');
    QTest::newRow("48 bytes opened with 10") << QByteArray(48, 'x') << QByteArray("riderozazo");
}

void TestAesLib::wrongPassPhrase()
{
    QFETCH(QByteArray, sealedWith);
    QFETCH(QByteArray, openedWith);
    const QByteArray container = seal(sealedWith, QByteArray(5000, 'p')).data;
    const Opened o = open(openedWith, container);
    QVERIFY(!o.ok);
    // One time in 65536 the verification value matches by chance; the code catches it then.
    if (o.error == TEncryption::Error::PassPhrase)
        QVERIFY(o.plain.isEmpty());
    else
        QCOMPARE(o.error, TEncryption::Error::Authentication);
}

void TestAesLib::overlongPassPhraseIsRefused()
{
    const Container c = seal(QByteArray(129, 'a'), "data");
    QVERIFY(!c.ok);
    QVERIFY(c.data.isEmpty());
    const Opened o = open(QByteArray(129, 'a'), QByteArray(100, 'x'));
    QVERIFY(!o.ok);
    QVERIFY(o.plain.isEmpty());
}

void TestAesLib::shortWritesFail_data()
{
    QTest::addColumn<bool>("sealing");
    QTest::addColumn<qint64>("room");
    QTest::newRow("seal: header") << true << qint64(5);
    QTest::newRow("seal: data") << true << qint64(3000);
    QTest::newRow("seal: code") << true << qint64(10000 + 10 + 4);
    QTest::newRow("open: data") << false << qint64(3000);
}

void TestAesLib::shortWritesFail()
{
    QFETCH(bool, sealing);
    QFETCH(qint64, room);
    const QByteArray plain = randomBytes(10000, 5);
    QByteArray in = sealing ? plain : seal("riderozazo", plain).data;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    FullDevice destination(room);
    TEncryption encryption("riderozazo", 4096);
    const bool ok = sealing ? encryption.EncryptStream(source, destination)
                            : encryption.DecryptStream(source, destination, in.size());
    QVERIFY(!ok);
    QCOMPARE(encryption.lastError(), TEncryption::Error::Write);
}

QTEST_GUILESS_MAIN(TestAesLib)
#include "tst_aeslib.moc"
