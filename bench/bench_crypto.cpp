// Sealing and unsealing a 256 MiB file through the container, next to raw OpenSSL AES-128-CTR
// plus HMAC-SHA1 over the same file with the same buffer and file access; the peak memory of
// each; the key stream's XOR alone, the container's plain loop next to hand-written SSE2; and one
// ReadLastNewsId on a typical 20 KB settings file.
#include "PeakMemory.h"

#include "branding/SettingsDocument.h"
#include "crypto/AesLib.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <openssl/core_names.h>
#include <openssl/evp.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qint64 kFileSize = qint64(256) << 20;
constexpr int kRepeats = 5;

void bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Sets the peak back to the current resident size (Linux: clear_refs 5).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void makeInput(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot create the input file");
    std::vector<quint64> chunk((1 << 20) / 8);
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < kFileSize; written += qint64(chunk.size() * 8)) {
        for (quint64& w : chunk) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        f.write(reinterpret_cast<const char*>(chunk.data()), qint64(chunk.size() * 8));
    }
}

// Raw OpenSSL AES-128-CTR plus HMAC-SHA1 through the same working buffer as the container:
// the yardstick the container is measured against.
void rawCtrHmacStream(QIODevice& in, QIODevice& out)
{
    const unsigned char key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const unsigned char iv[16] = {1};
    EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(cipher, EVP_aes_128_ctr(), nullptr, key, iv);
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* hmac = EVP_MAC_CTX_new(mac);
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    EVP_MAC_init(hmac, key, 16, params);
    std::vector<unsigned char> buffer(UUtils::kSealBufferSize);
    qint64 n = 0;
    while ((n = in.read(reinterpret_cast<char*>(buffer.data()), qint64(buffer.size()))) > 0) {
        int outLength = 0;
        EVP_EncryptUpdate(cipher, buffer.data(), &outLength, buffer.data(), int(n));
        EVP_MAC_update(hmac, buffer.data(), size_t(n));
        out.write(reinterpret_cast<const char*>(buffer.data()), n);
    }
    unsigned char code[20];
    size_t codeLength = 0;
    EVP_MAC_final(hmac, code, &codeLength, sizeof code);
    out.write(reinterpret_cast<const char*>(code), 10);
    EVP_MAC_CTX_free(hmac);
    EVP_MAC_free(mac);
    EVP_CIPHER_CTX_free(cipher);
}

// The yardstick with the file access of the operation it is compared with: a save (SealFile)
// or a working copy (UnsealFile).
void rawCtrHmac(const QString& from, const QString& to, UUtils::FileWriter::Kind kind)
{
    QFile in(from);
    in.open(QIODevice::ReadOnly);
    UUtils::FileWriter out(to, kind);
    rawCtrHmacStream(in, out.device());
    out.commit();
}

// A source of n pattern bytes and a sink that drops everything: the cipher alone, no files.
class PatternSource : public QIODevice
{
public:
    explicit PatternSource(qint64 size) : m_left(size), m_pattern(1 << 20, Qt::Uninitialized)
    {
        for (qsizetype i = 0; i < m_pattern.size(); ++i)
            m_pattern[i] = char(i * 131 + (i >> 11));
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 length) override
    {
        const qint64 n = std::min({length, m_left, qint64(m_pattern.size())});
        memcpy(data, m_pattern.constData(), size_t(n));
        m_left -= n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_left;
    QByteArray m_pattern;
};

class NullSink : public QIODevice
{
public:
    NullSink() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override { return length; }
};

void rawCtrHmacInMemory(qint64 size)
{
    PatternSource in(size);
    NullSink out;
    rawCtrHmacStream(in, out);
}

void sealInMemory(qint64 size)
{
    PatternSource in(size);
    NullSink out;
    TEncryption(UUtils::kSealPassPhrase, UUtils::kSealBufferSize).EncryptStream(in, out);
}

#if defined(__SSE2__)
// The hand-written SSE2 XOR that the container's plain loop (xorKeyStream) replaced, kept here
// as its yardstick.
void xorSse2(unsigned char* data, const unsigned char* stream, size_t bytes)
{
    for (size_t i = 0; i < bytes; i += 16) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stream + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), _mm_xor_si128(d, s));
    }
}
#endif

// MiB/s of an XOR over one 16 KiB run (a batch of key stream, in the cache), best of 7 x 1 GiB.
double xorThroughput(void (*xorRun)(unsigned char*, const unsigned char*, size_t))
{
    constexpr size_t kRun = 16384;
    std::vector<unsigned char> data(kRun, 0x5A);
    std::vector<unsigned char> stream(kRun, 0xC3);
    double best = 1e9;
    for (int repeat = 0; repeat < 7; ++repeat) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < (1 << 30) / int(kRun); ++i)
            xorRun(data.data(), stream.data(), kRun);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    if (data[0] != 0x5A && data[0] != (0x5A ^ 0xC3))
        qFatal("the XOR went wrong");
    return 1024 / best;
}

struct Measure
{
    double bestSeconds = 1e9;
    double peakMiB = 0;
};

void measure(Measure& m, const std::function<void()>& work)
{
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    work();
    m.bestSeconds = std::min(m.bestSeconds, timer.nsecsElapsed() / 1e9);
    m.peakMiB = std::max(m.peakMiB, peakRssMiB());
}

QByteArray typicalSettingsDocument()
{
    auto tag = [](const QByteArray& name, const QByteArray& value) {
        return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
    };
    QByteArray doc =
        tag("ApplicationName", "Quillet Affiliate Manager") + tag("BranderCode", "BR-20481") +
        tag("BranderType", "Gold") + tag("AffiliateURL", "http://www.example.com/?aff=%%AFFILIATEID%%") +
        tag("AffiliateTYPE", "1") + tag("AffiliateID", "778812") +
        tag("GoldNewsBaseURL", "http://news.example.com/gold/") + tag("GoldPublID", "P-1182") +
        tag("MakeMoneyButton", "Make Money") + tag("AppHelpURL", "http://www.example.com/help/") +
        tag("CopyrightYears", "2006-2008") + tag("CopyrightCompany", "Example Ltd.") +
        tag("AboutText", QByteArray("Quillet keeps the details of your affiliate programs.\r\n").repeated(20));
    for (int n = 1; n <= 4; ++n)
        doc += tag("Welcome" + QByteArray::number(n),
                   "<html><body><h1>Welcome</h1>" + QByteArray("<p>Some welcome text for the page.</p>").repeated(90) +
                       "</body></html>");
    for (int n = 1; n <= 8; ++n)
        doc += tag("Banner" + QByteArray::number(n), "c:\\banners\\banner" + QByteArray::number(n) +
                                                         ".gif^http://www.example.com/banner" + QByteArray::number(n));
    for (int n = 1; n <= 16; ++n)
        doc += tag("Link" + QByteArray::number(n), "Sponsor number " + QByteArray::number(n) +
                                                       "^http://www.example.com/sponsor/" + QByteArray::number(n));
    doc += tag("LastNewsId", "1234");
    return doc;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString input = dir.filePath(QStringLiteral("input.bin"));
    const QString sealed = dir.filePath(QStringLiteral("sealed.dat"));
    const QString opened = dir.filePath(QStringLiteral("opened.bin"));
    const QString raw = dir.filePath(QStringLiteral("raw.bin"));
    makeInput(input);

    Measure seal, unseal, rawSeal, rawUnseal;
    for (int i = 0; i < kRepeats; ++i) {
        measure(rawSeal, [&] { rawCtrHmac(input, raw, UUtils::FileWriter::Kind::Save); });
        measure(seal, [&] { UUtils::SealFile(input, sealed); });
        measure(rawUnseal, [&] { rawCtrHmac(sealed, raw, UUtils::FileWriter::Kind::WorkingCopy); });
        measure(unseal, [&] { UUtils::UnsealFile(sealed, opened); });
    }
    Measure memorySeal, memoryRaw;
    for (int i = 0; i < kRepeats; ++i) {
        measure(memoryRaw, [&] { rawCtrHmacInMemory(kFileSize); });
        measure(memorySeal, [&] { sealInMemory(kFileSize); });
    }
    QFile::remove(raw);
    QFile::remove(opened);
    const double mib = double(kFileSize) / (1 << 20);
    bench("crypto_seal_256mib_throughput", mib / seal.bestSeconds, "MiB/s");
    bench("crypto_unseal_256mib_throughput", mib / unseal.bestSeconds, "MiB/s");
    bench("crypto_raw_aes128ctr_hmacsha1_atomic_256mib_throughput", mib / rawSeal.bestSeconds, "MiB/s");
    bench("crypto_raw_aes128ctr_hmacsha1_plain_256mib_throughput", mib / rawUnseal.bestSeconds, "MiB/s");
    bench("crypto_seal_vs_raw", rawSeal.bestSeconds / seal.bestSeconds, "ratio");
    bench("crypto_unseal_vs_raw", rawUnseal.bestSeconds / unseal.bestSeconds, "ratio");
    bench("crypto_cipher_only_seal_throughput", mib / memorySeal.bestSeconds, "MiB/s");
    bench("crypto_cipher_only_raw_throughput", mib / memoryRaw.bestSeconds, "MiB/s");
    bench("crypto_cipher_only_seal_vs_raw", memoryRaw.bestSeconds / memorySeal.bestSeconds, "ratio");
    const double plainXor = xorThroughput(&xorKeyStream);
    bench("crypto_xor_plain_loop_throughput", plainXor, "MiB/s");
#if defined(__SSE2__)
    const double sse2Xor = xorThroughput(&xorSse2);
    bench("crypto_xor_sse2_throughput", sse2Xor, "MiB/s");
    bench("crypto_xor_plain_vs_sse2", plainXor / sse2Xor, "ratio");
#endif
    bench("crypto_seal_256mib_peak_rss", seal.peakMiB, "MiB");
    bench("crypto_unseal_256mib_peak_rss", unseal.peakMiB, "MiB");
    bench("crypto_raw_256mib_peak_rss", std::max(rawSeal.peakMiB, rawUnseal.peakMiB), "MiB");

    // One ReadLastNewsId on a typical settings file (median of 21).
    const QByteArray document = typicalSettingsDocument();
    UUtils::setAppDir(dir.path());
    const QString plain = dir.filePath(QStringLiteral("plain.txt"));
    QFile p(plain);
    p.open(QIODevice::WriteOnly);
    p.write(document);
    p.close();
    UUtils::SealFile(plain, UUtils::appFile(QLatin1String(kSettingsFileName)));
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray id = ReadLastNewsId();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (id != "1234")
            qFatal("ReadLastNewsId gave a wrong value");
    }
    std::sort(times.begin(), times.end());
    bench("crypto_settings_file_size", document.size() / 1024.0, "KiB");
    bench("crypto_read_last_news_id_20kb", times[times.size() / 2], "ms");
    return 0;
}
