#include "crypto/AesLib.h"

#include <QIODevice>
#include <QRandomGenerator>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// AES

TAesContext::TAesContext() : cipher(EVP_CIPHER_CTX_new()) {}

TAesContext::~TAesContext()
{
    EVP_CIPHER_CTX_free(cipher);
}

bool AesSetEncryptKey(const unsigned char* key, int keyLength, TAesContext& context)
{
    context.rounds = 0;
    const EVP_CIPHER* algorithm = nullptr;
    int rounds = 0;
    switch (keyLength) {
    case 16:
    case 128:
        algorithm = EVP_aes_128_ecb();
        rounds = 10;
        break;
    case 24:
    case 192:
        algorithm = EVP_aes_192_ecb();
        rounds = 12;
        break;
    case 32:
    case 256:
        algorithm = EVP_aes_256_ecb();
        rounds = 14;
        break;
    default:
        return false;
    }
    if (!context.cipher || EVP_EncryptInit_ex(context.cipher, algorithm, nullptr, key, nullptr) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(context.cipher, 0);
    context.rounds = rounds;
    return true;
}

void AesEncryptBlocks(const unsigned char* input, unsigned char* output, size_t count, TAesContext& context)
{
    int written = 0;
    if (context.rounds == 0 || count == 0 ||
        EVP_EncryptUpdate(context.cipher, output, &written, input, int(count * 16)) != 1)
        std::memset(output, 0, count * 16);
}

void AesEncryptBlock(const unsigned char* input, unsigned char* output, TAesContext& context)
{
    AesEncryptBlocks(input, output, 1, context);
}

// ---------------------------------------------------------------------------------------------
// SHA-1 compression (the random pool mixes with it; OpenSSL's SHA1_Transform is deprecated)

namespace {

inline uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint32_t loadBigEndian(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline uint32_t loadLittleEndian(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void storeLittleEndian(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

void Sha1Compress(uint32_t state[5], const unsigned char* block)
{
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = loadBigEndian(block + 4 * t);
    for (int t = 16; t < 80; ++t)
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t temp = rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

// ---------------------------------------------------------------------------------------------
// TCrypt

namespace {

// Counter blocks enciphered per call: a 16 KiB run, so that AES runs pipelined like OpenSSL's CTR.
// Buys crypto_cipher_only_seal_throughput: about 2.7 times that of one block per call.
constexpr size_t kBatchBlocks = 1024;

evp_mac_ctx_st* newHmacSha1(const unsigned char* key, size_t keyLength)
{
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (!mac)
        return nullptr;
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    EVP_MAC_free(mac);
    if (!ctx)
        return nullptr;
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(ctx, key, keyLength, params) != 1) {
        EVP_MAC_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

void setCounterBlock(unsigned char* block, uint64_t counter)
{
    qToLittleEndian(counter, block);
    std::memset(block + 8, 0, 8);
}

} // namespace

void xorKeyStream(unsigned char* data, const unsigned char* stream, size_t bytes)
{
    // A plain loop over 64-bit words: the compiler keeps it at 8 bytes per instruction (-O2) or
    // vectorises it (-O3). Hand-written SSE2 was no faster in crypto_cipher_only_seal_throughput
    // (within 4%, either way), and a loop over single bytes costs a third of it; see
    // crypto_xor_plain_loop_throughput and crypto_xor_sse2_throughput.
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t d, s;
        std::memcpy(&d, data + i, 8);
        std::memcpy(&s, stream + i, 8);
        d ^= s;
        std::memcpy(data + i, &d, 8);
    }
    for (; i < bytes; ++i)
        data[i] ^= stream[i];
}

int TCrypt::modeForPassPhraseLength(qsizetype length)
{
    if (length < 32)
        return 1;
    if (length < 48)
        return 2;
    return 3;
}

TCrypt::TCrypt(const QByteArray& passPhrase, int bufferSize)
    : m_mode(modeForPassPhraseLength(passPhrase.size())), m_passPhrase(passPhrase),
      m_bufferSize(std::max(bufferSize, 1)), m_buffer(size_t(m_bufferSize))
{
}

TCrypt::~TCrypt()
{
    EVP_MAC_CTX_free(m_cipher.hmac);
    OPENSSL_cleanse(m_cipher.keyStream, sizeof m_cipher.keyStream);
    if (!m_cipher.keyStreamBlocks.empty())
        OPENSSL_cleanse(m_cipher.keyStreamBlocks.data(), m_cipher.keyStreamBlocks.size());
    OPENSSL_cleanse(m_buffer.data(), m_buffer.size());
}

bool TCrypt::DeriveKey(const QByteArray& passPhrase, const unsigned char* salt, int saltLength, int iterations,
                       unsigned char* out, int outLength)
{
    return PKCS5_PBKDF2_HMAC_SHA1(passPhrase.constData(), int(passPhrase.size()), salt, saltLength, iterations,
                                  outLength, out) == 1;
}

int TCrypt::CipherInit(int mode, const QByteArray& passPhrase, const unsigned char* salt, unsigned char* verifier)
{
    if (passPhrase.size() > kMaxPassPhraseLength)
        return -100;
    if (mode < 1 || mode > 3)
        return -101;
    m_cipher.mode = mode;
    m_cipher.passPhraseLength = int(passPhrase.size());

    const int k = keyLength(mode);
    unsigned char derived[2 * 32 + 2];
    if (!DeriveKey(passPhrase, salt, saltLength(mode), kIterations, derived, 2 * k + 2))
        return -102;

    m_cipher.keyStreamPosition = 16;
    m_cipher.counter = 0;
    std::memset(m_cipher.counterBlock, 0, sizeof m_cipher.counterBlock);
    AesSetEncryptKey(derived, k, m_cipher.aes);

    EVP_MAC_CTX_free(m_cipher.hmac);
    m_cipher.hmac = newHmacSha1(derived + k, size_t(k));
    verifier[0] = derived[2 * k];
    verifier[1] = derived[2 * k + 1];
    OPENSSL_cleanse(derived, sizeof derived);
    if (!m_cipher.hmac)
        return -102;
    if (m_cipher.counterBlocks.empty()) {
        m_cipher.counterBlocks.resize(kBatchBlocks * 16);
        m_cipher.keyStreamBlocks.resize(kBatchBlocks * 16);
    }
    return 0;
}

void TCrypt::nextKeyStreamBlock()
{
    ++m_cipher.counter;
    setCounterBlock(m_cipher.counterBlock, m_cipher.counter);
    AesEncryptBlock(m_cipher.counterBlock, m_cipher.keyStream, m_cipher.aes);
    m_cipher.keyStreamPosition = 0;
}

void TCrypt::applyKeyStream(unsigned char* data, qsizetype length)
{
    // The rest of the current key-stream block.
    while (length > 0 && m_cipher.keyStreamPosition < 16) {
        *data++ ^= m_cipher.keyStream[m_cipher.keyStreamPosition++];
        --length;
    }
    // Whole blocks: many counter blocks enciphered at once.
    while (length >= 16) {
        const size_t blocks = std::min(size_t(length / 16), kBatchBlocks);
        // Bytes 8 to 15 of every counter block stay zero from the allocation on.
        unsigned char* counters = m_cipher.counterBlocks.data();
        uint64_t counter = m_cipher.counter;
        for (size_t b = 0; b < blocks; ++b)
            qToLittleEndian(++counter, counters + 16 * b);
        m_cipher.counter = counter;
        unsigned char* stream = m_cipher.keyStreamBlocks.data();
        AesEncryptBlocks(counters, stream, blocks, m_cipher.aes);
        const size_t bytes = blocks * 16;
        xorKeyStream(data, stream, bytes);
        std::memcpy(m_cipher.counterBlock, counters + bytes - 16, 16);
        std::memcpy(m_cipher.keyStream, stream + bytes - 16, 16);
        m_cipher.keyStreamPosition = 16;
        data += bytes;
        length -= qsizetype(bytes);
    }
    // A run that ends inside a block.
    while (length > 0) {
        if (m_cipher.keyStreamPosition == 16)
            nextKeyStreamBlock();
        *data++ ^= m_cipher.keyStream[m_cipher.keyStreamPosition++];
        --length;
    }
}

void TCrypt::CipherEncrypt(unsigned char* data, qsizetype length)
{
    applyKeyStream(data, length);
    if (m_cipher.hmac && length > 0)
        EVP_MAC_update(m_cipher.hmac, data, size_t(length));
}

void TCrypt::CipherDecrypt(unsigned char* data, qsizetype length)
{
    if (m_cipher.hmac && length > 0)
        EVP_MAC_update(m_cipher.hmac, data, size_t(length));
    applyKeyStream(data, length);
}

void TCrypt::CipherFinish(unsigned char* code)
{
    unsigned char mac[EVP_MAX_MD_SIZE] = {};
    size_t macLength = 0;
    if (m_cipher.hmac)
        EVP_MAC_final(m_cipher.hmac, mac, &macLength, sizeof mac);
    std::memcpy(code, mac, kCodeLength);
}

// ---------------------------------------------------------------------------------------------
// TEncryption

namespace {

// Reads until length bytes are in or the source ends; the count read, or -1 on a read error.
qint64 readFully(QIODevice& source, unsigned char* data, qint64 length)
{
    qint64 total = 0;
    while (total < length) {
        const qint64 n = source.read(reinterpret_cast<char*>(data) + total, length - total);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

// Mixes a pool-sized buffer: each 20-byte slot becomes the SHA-1 compression of the 64 bytes
// from it on (wrapping around) chained from the 20 bytes before it (wrapping too).
void mixPool(unsigned char* b)
{
    constexpr int size = TEncryption::kPoolSize;
    for (int i = 0; i < size; i += 20) {
        const int chain = (i + size - 20) % size;
        uint32_t state[5];
        for (int w = 0; w < 5; ++w)
            state[w] = loadLittleEndian(b + chain + 4 * w);
        unsigned char block[64];
        for (int j = 0; j < 64; ++j)
            block[j] = b[(i + j) % size];
        Sha1Compress(state, block);
        for (int w = 0; w < 5; ++w)
            storeLittleEndian(b + i + 4 * w, state[w]);
    }
}

} // namespace

TEncryption::TEncryption(const QByteArray& passPhrase, int bufferSize) : TCrypt(passPhrase, bufferSize)
{
    RandomPoolInit();
}

TEncryption::~TEncryption()
{
    RandomPoolClear();
}

int TEncryption::ReadClockEntropy(unsigned char* out, int count)
{
    const uint64_t ticks = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    const int n = std::clamp(count, 0, 8);
    for (int i = 0; i < n; ++i)
        out[i] = uint8_t(ticks >> (8 * i));
    return n;
}

void TEncryption::refreshPool()
{
    std::memcpy(m_output, m_pool, kPoolSize);
    for (int filled = 0; filled < kPoolSize;)
        filled += ReadClockEntropy(m_pool + filled, kPoolSize - filled);
    // The clock alone is guessable: the operating system's generator goes in as well.
    quint32 system[kPoolSize / 4];
    QRandomGenerator::system()->fillRange(system);
    const unsigned char* systemBytes = reinterpret_cast<const unsigned char*>(system);
    for (int i = 0; i < kPoolSize; ++i)
        m_pool[i] ^= systemBytes[i];
    OPENSSL_cleanse(system, sizeof system);
    for (int i = 0; i < kPoolSize; ++i)
        m_pool[i] ^= uint8_t(~m_output[i]);
    mixPool(m_pool);
    mixPool(m_output);
}

void TEncryption::RandomPoolInit()
{
    RandomPoolClear();
    refreshPool();
    for (int i = 0; i < 20; ++i)
        mixPool(m_pool);
    refreshPool();
    m_outputPosition = 0;
}

void TEncryption::RandomPoolRead(unsigned char* out, int count)
{
    for (int i = 0; i < count; ++i) {
        if (m_outputPosition == kPoolSize) {
            refreshPool();
            m_outputPosition = 0;
        }
        out[i] = m_output[m_outputPosition++];
    }
}

void TEncryption::RandomPoolClear()
{
    OPENSSL_cleanse(m_pool, sizeof m_pool);
    OPENSSL_cleanse(m_output, sizeof m_output);
    m_outputPosition = 0;
}

bool TEncryption::writeAll(QIODevice& destination, const unsigned char* data, qsizetype length)
{
    if (length == 0)
        return true;
    // A count shorter than asked is a failure too (a full disk).
    if (destination.write(reinterpret_cast<const char*>(data), length) != length) {
        m_error = Error::Write;
        return false;
    }
    return true;
}

bool TEncryption::WriteHeader(QIODevice& destination)
{
    unsigned char salt[16];
    unsigned char verifier[kVerifierLength];
    const int s = saltLength(m_mode);
    RandomPoolRead(salt, s);
    if (CipherInit(m_mode, m_passPhrase, salt, verifier) != 0) {
        // Never write a container under keys that do not belong to it.
        m_error = Error::BadPassPhrase;
        return false;
    }
    return writeAll(destination, salt, s) && writeAll(destination, verifier, kVerifierLength);
}

bool TEncryption::WriteTrailer(QIODevice& destination)
{
    unsigned char code[kCodeLength];
    CipherFinish(code);
    return writeAll(destination, code, kCodeLength);
}

bool TEncryption::ReadHeader(QIODevice& source)
{
    unsigned char salt[16];
    unsigned char stored[kVerifierLength];
    unsigned char computed[kVerifierLength];
    const int s = saltLength(m_mode);
    const qint64 saltRead = readFully(source, salt, s);
    if (saltRead < 0) {
        m_error = Error::Read;
        return false;
    }
    if (saltRead < s) {
        m_error = Error::Truncated;
        return false;
    }
    if (CipherInit(m_mode, m_passPhrase, salt, computed) != 0) {
        m_error = Error::BadPassPhrase;
        return false;
    }
    const qint64 verifierRead = readFully(source, stored, kVerifierLength);
    if (verifierRead != kVerifierLength) {
        m_error = verifierRead < 0 ? Error::Read : Error::Truncated;
        return false;
    }
    if (stored[0] != computed[0] || stored[1] != computed[1]) {
        m_error = Error::PassPhrase;
        return false;
    }
    return true;
}

bool TEncryption::CheckTrailer(QIODevice& source)
{
    unsigned char computed[kCodeLength];
    unsigned char stored[kCodeLength];
    CipherFinish(computed);
    const qint64 n = readFully(source, stored, kCodeLength);
    if (n != kCodeLength) {
        m_error = n < 0 ? Error::Read : Error::Truncated;
        return false;
    }
    if (CRYPTO_memcmp(computed, stored, kCodeLength) != 0) {
        m_error = Error::Authentication;
        return false;
    }
    return true;
}

bool TEncryption::EncryptStream(QIODevice& source, QIODevice& destination)
{
    m_error = Error::None;
    if (!WriteHeader(destination))
        return false;
    qint64 n = 0;
    do {
        n = readFully(source, m_buffer.data(), m_bufferSize);
        if (n < 0) {
            m_error = Error::Read;
            return false;
        }
        CipherEncrypt(m_buffer.data(), n);
        if (!writeAll(destination, m_buffer.data(), n))
            return false;
    } while (n == m_bufferSize);
    return WriteTrailer(destination);
}

bool TEncryption::DecryptStream(QIODevice& source, QIODevice& destination, qint64 length)
{
    m_error = Error::None;
    const int s = saltLength(m_mode);
    if (length < s + kVerifierLength + kCodeLength) {
        // Too short to hold a container under a pass phrase of this length class.
        m_error = Error::PassPhrase;
        return false;
    }
    if (!ReadHeader(source))
        return false;
    qint64 remaining = length - s - kVerifierLength - kCodeLength;
    do {
        const qint64 n = readFully(source, m_buffer.data(), std::min<qint64>(m_bufferSize, remaining));
        if (n < 0) {
            m_error = Error::Read;
            return false;
        }
        if (n == 0 && remaining > 0) {
            m_error = Error::Truncated;
            return false;
        }
        CipherDecrypt(m_buffer.data(), n);
        if (!writeAll(destination, m_buffer.data(), n))
            return false;
        remaining -= n;
    } while (remaining > 0);
    return CheckTrailer(source);
}
