#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <vector>

class QIODevice;
struct evp_cipher_ctx_st;
struct evp_mac_ctx_st;

// AES (FIPS-197), forward cipher only, over OpenSSL's EVP AES-ECB on single blocks.

// The expanded encryption key and the number of rounds (10, 12 or 14; 0 without a valid key).
struct TAesContext
{
    TAesContext();
    ~TAesContext();
    TAesContext(const TAesContext&) = delete;
    TAesContext& operator=(const TAesContext&) = delete;

    evp_cipher_ctx_st* cipher = nullptr;
    int rounds = 0;
};

// Expands key into context. keyLength is 16, 24 or 32 (bytes) or 128, 192 or 256 (bits); any
// other value fails: false, and context.rounds becomes 0.
bool AesSetEncryptKey(const unsigned char* key, int keyLength, TAesContext& context);

// output = AES(input) under the key of context (16-byte blocks). Without a valid key the output
// is 16 zero bytes.
void AesEncryptBlock(const unsigned char* input, unsigned char* output, TAesContext& context);

// AesEncryptBlock over count consecutive blocks in one call: the key stream of many counter
// blocks at once, which is what crypto_cipher_only_seal_throughput owes most of its speed to.
void AesEncryptBlocks(const unsigned char* input, unsigned char* output, size_t count, TAesContext& context);

// data ^= stream over bytes bytes: the key stream applied to a run of whole counter blocks.
void xorKeyStream(unsigned char* data, const unsigned char* stream, size_t bytes);

// The SHA-1 compression function (FIPS 180) on one 64-byte block: state += f(state, block).
void Sha1Compress(uint32_t state[5], const unsigned char* block);

// The encrypted container: the entry data of a WinZip AES (AE-2) entry without the ZIP around it.
//   salt (S bytes) | verification value (2) | cipher text (N) | HMAC-SHA1 code, first 10 bytes
// Keys come from PBKDF2-HMAC-SHA1 (1000 iterations) of the pass phrase and the salt; the cipher is
// AES in counter mode with a 64-bit little-endian block counter starting at 1. The key size
// ("mode") follows from the pass phrase length and is stored nowhere:
//   mode 1: 0..31 bytes, AES-128, 8-byte salt; mode 2: 32..47, AES-192, 12; mode 3: 48+, AES-256, 16.
class TCrypt
{
public:
    TCrypt(const QByteArray& passPhrase, int bufferSize);
    ~TCrypt();
    TCrypt(const TCrypt&) = delete;
    TCrypt& operator=(const TCrypt&) = delete;

    static constexpr int kIterations = 1000;
    static constexpr int kMaxPassPhraseLength = 128;
    static constexpr int kVerifierLength = 2;
    static constexpr int kCodeLength = 10;

    static int modeForPassPhraseLength(qsizetype length);
    static int keyLength(int mode) { return 8 * mode + 8; }
    static int saltLength(int mode) { return 4 * mode + 4; }

    int mode() const { return m_mode; }
    int bufferSize() const { return m_bufferSize; }

    // PBKDF2 (RFC 2898) with HMAC-SHA1: outLength bytes from passPhrase and salt.
    static bool DeriveKey(const QByteArray& passPhrase, const unsigned char* salt, int saltLength, int iterations,
                          unsigned char* out, int outLength);

protected:
    // Sets up keys, counter and HMAC from the pass phrase and salt and gives the verification
    // value. 0 on success; -100 for a pass phrase longer than 128 bytes (nothing changed), -101
    // for a mode other than 1 to 3, -102 when the key derivation or the HMAC cannot start.
    int CipherInit(int mode, const QByteArray& passPhrase, const unsigned char* salt, unsigned char* verifier);
    // Key stream then HMAC (sealing) / HMAC then key stream (opening), in place, any run length.
    void CipherEncrypt(unsigned char* data, qsizetype length);
    void CipherDecrypt(unsigned char* data, qsizetype length);
    // The first 10 bytes of the HMAC-SHA1 over all cipher text.
    void CipherFinish(unsigned char* code);

    struct TCipherContext
    {
        unsigned char counterBlock[16] = {};
        unsigned char keyStream[16] = {};
        TAesContext aes;
        evp_mac_ctx_st* hmac = nullptr;
        int keyStreamPosition = 16; // 16: the key-stream block is used up
        int passPhraseLength = 0;
        int mode = 0;
        uint64_t counter = 0;
        std::vector<unsigned char> counterBlocks; // many counter blocks, enciphered in one call
        std::vector<unsigned char> keyStreamBlocks;
    };

    int m_mode;
    TCipherContext m_cipher;
    QByteArray m_passPhrase;
    int m_bufferSize;
    std::vector<unsigned char> m_buffer;

private:
    void applyKeyStream(unsigned char* data, qsizetype length);
    void nextKeyStreamBlock();
};

class TEncryption : public TCrypt
{
public:
    TEncryption(const QByteArray& passPhrase, int bufferSize);
    ~TEncryption();

    // Why the last stream operation returned false.
    enum class Error
    {
        None,
        PassPhrase,     // the verification value differs (or the source is too short for a container)
        Authentication, // the authentication code differs: the plain bytes written are not to be trusted
        Truncated,      // the source ended before the length given
        Read,
        Write,         // a failed or short write (a full disk)
        BadPassPhrase, // longer than 128 bytes
    };

    // Writes a container of all bytes from source's current position to its end.
    bool EncryptStream(QIODevice& source, QIODevice& destination);
    // Reads a container of length bytes from source's current position and writes the plain
    // bytes to destination. Nothing is written when the verification value differs; otherwise the
    // plain bytes are written before the code is checked. True only when the code is right.
    bool DecryptStream(QIODevice& source, QIODevice& destination, qint64 length);

    Error lastError() const { return m_error; }

    // Salt bytes from the random pool (exposed for tests).
    void RandomPoolRead(unsigned char* out, int count);

    // The clock as entropy: the first min(count, 8) bytes of a 64-bit high-resolution counter,
    // little-endian; returns their count.
    static int ReadClockEntropy(unsigned char* out, int count);

    static constexpr int kPoolSize = 260; // 13 x 20

private:
    bool WriteHeader(QIODevice& destination);
    bool WriteTrailer(QIODevice& destination);
    bool ReadHeader(QIODevice& source);
    bool CheckTrailer(QIODevice& source);
    bool writeAll(QIODevice& destination, const unsigned char* data, qsizetype length);

    void RandomPoolInit();
    void RandomPoolClear();
    void refreshPool();

    unsigned char m_pool[kPoolSize] = {};
    unsigned char m_output[kPoolSize] = {};
    int m_outputPosition = 0;
    Error m_error = Error::None;
};
