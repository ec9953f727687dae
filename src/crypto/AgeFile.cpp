#include "crypto/AgeFile.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <cstring>
#include <memory>

namespace Age {
namespace {

const QByteArray kIntro = QByteArrayLiteral("age-encryption.org/");
const QByteArray kVersionLine = QByteArrayLiteral("age-encryption.org/v1");
const QByteArray kArmorStart = QByteArrayLiteral("-----BEGIN AGE ENCRYPTED FILE-----");
const QByteArray kScryptLabel = QByteArrayLiteral("age-encryption.org/v1/scrypt");
constexpr qsizetype kBodyColumns = 64;
constexpr qsizetype kTagSize = 16;
constexpr qsizetype kNonceSize = 16;

const unsigned char* ubytes(const QByteArray& a)
{
    return reinterpret_cast<const unsigned char*>(a.constData());
}

unsigned char* ubytes(QByteArray& a)
{
    return reinterpret_cast<unsigned char*>(a.data());
}

// Wipes a secret before its buffer goes.
struct Wiped
{
    QByteArray bytes;
    explicit Wiped(qsizetype n) : bytes(n, '\0') {}
    ~Wiped()
    {
        if (!bytes.isEmpty())
            OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    }
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
};

// ---- base64: standard alphabet, no padding, canonical (unused low bits zero) ----

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool decodeBase64(const QByteArray& text, QByteArray* out)
{
    if (text.size() % 4 == 1)
        return false;
    out->clear();
    out->reserve(text.size() * 3 / 4);
    quint32 bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = base64Value(c);
        if (v < 0)
            return false;
        bits = (bits << 6) | quint32(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out->append(char((bits >> count) & 0xFF));
        }
    }
    // Canonical: the bits left over are zero.
    return (bits & ((1u << count) - 1)) == 0;
}

QByteArray encodeBase64(const QByteArray& data)
{
    return data.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals);
}

// ---- primitives ----

bool hkdf(const QByteArray& ikm, const QByteArray& salt, const char* info, QByteArray* out)
{
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
    if (!kdf)
        return false;
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    EVP_KDF_free(kdf);
    if (!ctx)
        return false;
    OSSL_PARAM params[5];
    OSSL_PARAM* p = params;
    *p++ = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0);
    *p++ =
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<char*>(ikm.constData()), size_t(ikm.size()));
    if (!salt.isEmpty())
        *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(salt.constData()),
                                                 size_t(salt.size()));
    *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info), strlen(info));
    *p = OSSL_PARAM_construct_end();
    out->resize(32);
    const bool ok = EVP_KDF_derive(ctx, ubytes(*out), 32, params) == 1;
    EVP_KDF_CTX_free(ctx);
    return ok;
}

bool headerMac(const QByteArray& fileKey, const QByteArray& macInput, QByteArray* mac)
{
    Wiped key(32);
    if (!hkdf(fileKey, {}, "header", &key.bytes))
        return false;
    mac->resize(32);
    unsigned int len = 0;
    return HMAC(EVP_sha256(), key.bytes.constData(), int(key.bytes.size()), ubytes(macInput), size_t(macInput.size()),
                ubytes(*mac), &len) != nullptr &&
           len == 32;
}

bool scryptKey(const QByteArray& passPhrase, const QByteArray& salt, int workFactor, QByteArray* out)
{
    const QByteArray fullSalt = kScryptLabel + salt;
    const quint64 n = quint64(1) << workFactor;
    // scrypt needs 128 * r * N bytes (r = 8); leave room for its other buffers.
    const quint64 maxMem = (quint64(1) << (workFactor + 11)) + (quint64(1) << 20);
    out->resize(32);
    return EVP_PBE_scrypt(passPhrase.constData(), size_t(passPhrase.size()), ubytes(fullSalt), size_t(fullSalt.size()),
                          n, 8, 1, maxMem, ubytes(*out), 32) == 1;
}

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

// ChaCha20-Poly1305 under one key, for one chunk (or one stanza body) at a time.
class Aead
{
public:
    Aead(const QByteArray& key, bool encrypt) : m_ctx(EVP_CIPHER_CTX_new()), m_encrypt(encrypt)
    {
        m_ok = m_ctx && EVP_CipherInit_ex(m_ctx.get(), EVP_chacha20_poly1305(), nullptr, ubytes(key), nullptr,
                                          encrypt ? 1 : 0) == 1;
    }

    // Seals in (appends ciphertext and tag to out), or opens in (ciphertext then tag; appends the
    // plain text). False on a failed tag or a failure of the library.
    bool run(const unsigned char nonce[12], const char* in, qsizetype inSize, QByteArray* out)
    {
        if (!m_ok)
            return false;
        if (!m_encrypt && inSize < kTagSize)
            return false;
        const qsizetype dataSize = m_encrypt ? inSize : inSize - kTagSize;
        if (EVP_CipherInit_ex(m_ctx.get(), nullptr, nullptr, nullptr, nonce, -1) != 1)
            return false;
        const qsizetype start = out->size();
        out->resize(start + dataSize + (m_encrypt ? kTagSize : 0));
        unsigned char* dst = reinterpret_cast<unsigned char*>(out->data()) + start;
        int n = 0;
        if (dataSize > 0 &&
            EVP_CipherUpdate(m_ctx.get(), dst, &n, reinterpret_cast<const unsigned char*>(in), int(dataSize)) != 1) {
            out->resize(start);
            return false;
        }
        if (!m_encrypt && EVP_CIPHER_CTX_ctrl(m_ctx.get(), EVP_CTRL_AEAD_SET_TAG, int(kTagSize),
                                              const_cast<char*>(in + dataSize)) != 1) {
            out->resize(start);
            return false;
        }
        int tail = 0;
        if (EVP_CipherFinal_ex(m_ctx.get(), dst + n, &tail) != 1) {
            OPENSSL_cleanse(dst, size_t(dataSize));
            out->resize(start);
            return false;
        }
        if (m_encrypt && EVP_CIPHER_CTX_ctrl(m_ctx.get(), EVP_CTRL_AEAD_GET_TAG, int(kTagSize), dst + dataSize) != 1) {
            out->resize(start);
            return false;
        }
        return true;
    }

private:
    CipherCtx m_ctx;
    bool m_encrypt;
    bool m_ok = false;
};

void chunkNonce(quint64 counter, bool last, unsigned char nonce[12])
{
    for (int i = 0; i < 11; ++i)
        nonce[10 - i] = i < 8 ? (unsigned char)(counter >> (8 * i)) : 0;
    nonce[11] = last ? 1 : 0;
}

// ---- header grammar ----

struct Stanza
{
    QList<QByteArray> args;
    QByteArray body;
};

struct Structure
{
    Status status = Status::NotAgeFile;
    QList<Stanza> stanzas;
    QByteArray macInput; // the header up to and including "---"
    QByteArray header;   // up to and including the MAC line's end
    QByteArray mac;
    qsizetype payloadOffset = 0;
};

// The next line from pos (without its LF). Ok, HeaderLineTooLong, or Truncated at the end.
Status nextLine(const QByteArray& file, qsizetype* pos, QByteArray* line)
{
    const qsizetype start = *pos;
    const qsizetype window = std::min(file.size() - start, kMaxHeaderLine + 1);
    const void* found = window > 0 ? memchr(file.constData() + start, '\n', size_t(window)) : nullptr;
    if (!found)
        return file.size() - start > kMaxHeaderLine ? Status::HeaderLineTooLong : Status::Truncated;
    const qsizetype end = static_cast<const char*>(found) - file.constData();
    *line = file.mid(start, end - start);
    *pos = end + 1;
    return Status::Ok;
}

bool isArgument(const QByteArray& arg)
{
    if (arg.isEmpty())
        return false;
    for (char c : arg) {
        if (uchar(c) < 33 || uchar(c) > 126)
            return false;
    }
    return true;
}

Structure readStructure(const QByteArray& file)
{
    Structure s;
    if (file.startsWith(kArmorStart)) {
        s.status = Status::Armored;
        return s;
    }
    if (!file.startsWith(kIntro))
        return s;
    qsizetype pos = 0;
    QByteArray line;
    if (const Status st = nextLine(file, &pos, &line); st != Status::Ok) {
        s.status = st == Status::Truncated && file.size() < kVersionLine.size() + 1 ? Status::Truncated : st;
        return s;
    }
    if (line != kVersionLine) {
        s.status =
            line.contains('\r') || line.startsWith(kVersionLine) ? Status::NotAgeFile : Status::UnsupportedVersion;
        return s;
    }
    for (;;) {
        const qsizetype lineStart = pos;
        if (const Status st = nextLine(file, &pos, &line); st != Status::Ok) {
            s.status = st;
            return s;
        }
        if (line.startsWith("--- ")) {
            if (s.stanzas.isEmpty() || !decodeBase64(line.mid(4), &s.mac) || s.mac.size() != 32)
                return s;
            s.macInput = file.left(lineStart + 3);
            s.header = file.left(pos);
            s.payloadOffset = pos;
            s.status = Status::Ok;
            return s;
        }
        if (!line.startsWith("-> "))
            return s;
        if (s.stanzas.size() >= kMaxStanzas) {
            s.status = Status::MoreThanOneRecipient;
            return s;
        }
        Stanza stanza;
        stanza.args = line.mid(3).split(' ');
        for (const QByteArray& arg : std::as_const(stanza.args)) {
            if (!isArgument(arg))
                return s;
        }
        QByteArray text;
        for (;;) {
            if (const Status st = nextLine(file, &pos, &line); st != Status::Ok) {
                s.status = st;
                return s;
            }
            if (line.size() > kBodyColumns) {
                s.status = Status::HeaderLineTooLong;
                return s;
            }
            text += line;
            if (line.size() < kBodyColumns)
                break;
        }
        if (!decodeBase64(text, &stanza.body))
            return s;
        s.stanzas.append(stanza);
    }
}

Status checkMacAndDecrypt(const QByteArray& file, const QByteArray& macInput, const QByteArray& mac,
                          qsizetype payloadOffset, const QByteArray& fileKey, QByteArray* plain)
{
    QByteArray expected;
    if (!headerMac(fileKey, macInput, &expected))
        return Status::KeyDerivationFailed;
    if (CRYPTO_memcmp(expected.constData(), mac.constData(), 32) != 0)
        return Status::Altered;

    if (file.size() - payloadOffset < kNonceSize)
        return Status::Truncated;
    const QByteArray nonce = file.mid(payloadOffset, kNonceSize);
    Wiped payloadKey(32);
    if (!hkdf(fileKey, nonce, "payload", &payloadKey.bytes))
        return Status::KeyDerivationFailed;
    Aead aead(payloadKey.bytes, false);

    QByteArray out;
    out.reserve(file.size() - payloadOffset);
    qsizetype pos = payloadOffset + kNonceSize;
    quint64 counter = 0;
    unsigned char chunkIv[12];
    for (;;) {
        const qsizetype remaining = file.size() - pos;
        if (remaining < kTagSize) {
            OPENSSL_cleanse(out.data(), size_t(out.size()));
            return Status::Truncated;
        }
        const bool last = remaining <= kChunkSize + kTagSize;
        const qsizetype size = last ? remaining : kChunkSize + kTagSize;
        chunkNonce(counter, last, chunkIv);
        if (!aead.run(chunkIv, file.constData() + pos, size, &out)) {
            Status st = Status::Altered;
            // A full chunk that opens as a middle chunk: the file stops before its last chunk.
            QByteArray probe;
            chunkNonce(counter, false, chunkIv);
            if (last && size == kChunkSize + kTagSize && aead.run(chunkIv, file.constData() + pos, size, &probe)) {
                OPENSSL_cleanse(probe.data(), size_t(probe.size()));
                st = Status::Truncated;
            }
            OPENSSL_cleanse(out.data(), size_t(out.size()));
            return st;
        }
        if (last) {
            // The last chunk is empty only when the whole payload is.
            if (size == kTagSize && counter > 0) {
                OPENSSL_cleanse(out.data(), size_t(out.size()));
                return Status::Altered;
            }
            break;
        }
        pos += size;
        ++counter;
    }
    *plain = std::move(out);
    return Status::Ok;
}

} // namespace

QString describe(Status status)
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("it opened");
    case Status::NotAgeFile:
        return QStringLiteral("it is not a valid age file (its header is damaged)");
    case Status::UnsupportedVersion:
        return QStringLiteral("it is an age file of a version this program does not know");
    case Status::Armored:
        return QStringLiteral("it is an age file in text (armored) form; decrypt it with \"age -d\" first");
    case Status::HeaderLineTooLong:
        return QStringLiteral("a line of its header is longer than the age format allows");
    case Status::MoreThanOneRecipient:
        return QStringLiteral("it is encrypted for more than one recipient; only a file locked by a pass phrase "
                              "alone can be opened");
    case Status::NotPassPhrase:
        return QStringLiteral("it is not locked by a pass phrase (it was encrypted to a key)");
    case Status::WorkFactorTooHigh:
        return QStringLiteral("its work factor is above %1, more than age itself accepts").arg(kMaxWorkFactor);
    case Status::WrongPassPhrase:
        return QStringLiteral("the pass phrase is wrong");
    case Status::Truncated:
        return QStringLiteral("it is cut short (truncated)");
    case Status::Altered:
        return QStringLiteral("it was altered, damaged or cut short: an authentication code does not match");
    case Status::KeyDerivationFailed:
        return QStringLiteral("the key could not be derived (not enough memory)");
    }
    return {};
}

void Key::clear()
{
    if (!fileKey.isEmpty())
        OPENSSL_cleanse(fileKey.data(), size_t(fileKey.size()));
    fileKey.clear();
    header.clear();
}

bool looksLikeAge(const QByteArray& head)
{
    return head.startsWith(kIntro) || head.startsWith(kArmorStart);
}

Header readHeader(const QByteArray& file, int maxWorkFactor)
{
    Header h;
    const Structure s = readStructure(file);
    if (s.status != Status::Ok) {
        h.status = s.status;
        return h;
    }
    if (s.stanzas.size() > 1) {
        h.status = Status::MoreThanOneRecipient;
        return h;
    }
    const Stanza& stanza = s.stanzas.first();
    if (stanza.args.first() != "scrypt") {
        h.status = Status::NotPassPhrase;
        return h;
    }
    h.status = Status::NotAgeFile;
    if (stanza.args.size() != 3 || !decodeBase64(stanza.args.at(1), &h.salt) || h.salt.size() != 16)
        return h;
    const QByteArray& factor = stanza.args.at(2);
    for (char c : factor) {
        if (c < '0' || c > '9')
            return h;
    }
    if (factor.startsWith('0'))
        return h;
    if (factor.size() > 2 || factor.toInt() > maxWorkFactor) {
        h.status = Status::WorkFactorTooHigh;
        return h;
    }
    if (stanza.body.size() != kFileKeySize + kTagSize)
        return h;
    h.workFactor = factor.toInt();
    h.sealedKey = stanza.body;
    h.mac = s.mac;
    h.header = s.header;
    h.payloadOffset = s.payloadOffset;
    h.status = Status::Ok;
    return h;
}

Status unlock(const Header& header, const QByteArray& passPhrase, Key* key)
{
    if (header.status != Status::Ok)
        return header.status;
    Wiped wrapKey(32);
    if (!scryptKey(passPhrase, header.salt, header.workFactor, &wrapKey.bytes))
        return Status::KeyDerivationFailed;
    const unsigned char zeroNonce[12] = {};
    Aead aead(wrapKey.bytes, false);
    QByteArray fileKey;
    if (!aead.run(zeroNonce, header.sealedKey.constData(), header.sealedKey.size(), &fileKey))
        return Status::WrongPassPhrase;
    QByteArray expected;
    if (!headerMac(fileKey, header.header.left(header.header.lastIndexOf("---") + 3), &expected))
        return Status::KeyDerivationFailed;
    if (CRYPTO_memcmp(expected.constData(), header.mac.constData(), 32) != 0) {
        OPENSSL_cleanse(fileKey.data(), size_t(fileKey.size()));
        return Status::Altered;
    }
    key->fileKey = fileKey;
    key->header = header.header;
    return Status::Ok;
}

Status decryptPayload(const QByteArray& file, const Header& header, const Key& key, QByteArray* plain)
{
    if (header.status != Status::Ok)
        return header.status;
    if (key.header != header.header)
        return Status::WrongPassPhrase;
    return checkMacAndDecrypt(file, header.header.left(header.header.lastIndexOf("---") + 3), header.mac,
                              header.payloadOffset, key.fileKey, plain);
}

Status decrypt(const QByteArray& file, const QByteArray& passPhrase, QByteArray* plain, Key* key, int maxWorkFactor)
{
    const Header header = readHeader(file, maxWorkFactor);
    Key opened;
    if (const Status st = unlock(header, passPhrase, &opened); st != Status::Ok)
        return st;
    const Status st = decryptPayload(file, header, opened, plain);
    if (st == Status::Ok && key)
        *key = opened;
    opened.clear();
    return st;
}

Status decryptWithKey(const QByteArray& file, const Key& key, QByteArray* plain)
{
    const Header header = readHeader(file);
    return decryptPayload(file, header, key, plain);
}

Key newKey(const QByteArray& passPhrase, int workFactor)
{
    Key key;
    QByteArray salt(16, '\0');
    QByteArray fileKey(kFileKeySize, '\0');
    if (RAND_bytes(ubytes(salt), 16) != 1 || RAND_bytes(ubytes(fileKey), kFileKeySize) != 1)
        return key;
    Wiped wrapKey(32);
    if (!scryptKey(passPhrase, salt, workFactor, &wrapKey.bytes))
        return key;
    const unsigned char zeroNonce[12] = {};
    Aead aead(wrapKey.bytes, true);
    QByteArray body;
    if (!aead.run(zeroNonce, fileKey.constData(), fileKey.size(), &body))
        return key;
    QByteArray header = kVersionLine + "\n-> scrypt " + encodeBase64(salt) + ' ' + QByteArray::number(workFactor) +
                        '\n' + encodeBase64(body) + "\n---";
    QByteArray mac;
    if (!headerMac(fileKey, header, &mac))
        return key;
    header += ' ' + encodeBase64(mac) + '\n';
    key.fileKey = fileKey;
    key.header = header;
    OPENSSL_cleanse(fileKey.data(), size_t(fileKey.size()));
    return key;
}

struct Writer::State
{
    Output out;
    std::unique_ptr<Aead> aead;
    QByteArray pending; // plain text not sealed yet: at most one chunk once write() returns
    QByteArray sealed;  // one sealed chunk, reused
    quint64 counter = 0;
    bool ok = false;

    bool sealChunk(qsizetype size, bool last)
    {
        unsigned char iv[12];
        chunkNonce(counter++, last, iv);
        sealed.resize(0);
        ok = ok && aead->run(iv, pending.constData(), size, &sealed) && out(sealed.constData(), sealed.size());
        return ok;
    }
};

Writer::Writer(const Key& key, Output out) : m(std::make_unique<State>())
{
    m->out = std::move(out);
    if (key.isNull())
        return;
    QByteArray nonce(kNonceSize, '\0');
    Wiped payloadKey(32);
    if (RAND_bytes(ubytes(nonce), int(kNonceSize)) != 1 || !hkdf(key.fileKey, nonce, "payload", &payloadKey.bytes))
        return;
    m->aead = std::make_unique<Aead>(payloadKey.bytes, true);
    m->pending.reserve(kChunkSize * 2);
    m->sealed.reserve(kChunkSize + kTagSize);
    m->ok = m->out(key.header.constData(), key.header.size()) && m->out(nonce.constData(), nonce.size());
}

Writer::~Writer()
{
    if (!m->pending.isEmpty())
        OPENSSL_cleanse(m->pending.data(), size_t(m->pending.size()));
}

bool Writer::write(const char* bytes, qsizetype size)
{
    while (m->ok && size > 0) {
        const qsizetype take = std::min(size, 2 * kChunkSize - m->pending.size());
        m->pending.append(bytes, take);
        bytes += take;
        size -= take;
        // A full chunk followed by more text is a middle chunk.
        if (m->pending.size() > kChunkSize) {
            if (!m->sealChunk(kChunkSize, false))
                break;
            OPENSSL_cleanse(m->pending.data(), size_t(kChunkSize));
            m->pending.remove(0, kChunkSize);
        }
    }
    return m->ok;
}

bool Writer::finish()
{
    // The rest (a full chunk included) is the last chunk; it is empty only for an empty text.
    m->sealChunk(m->pending.size(), true);
    OPENSSL_cleanse(m->pending.data(), size_t(m->pending.size()));
    m->pending.clear();
    return m->ok;
}

QByteArray encrypt(const QByteArray& plain, const Key& key)
{
    QByteArray out;
    out.reserve(key.header.size() + kNonceSize + plain.size() + (plain.size() / kChunkSize + 1) * kTagSize);
    Writer writer(key, [&out](const char* bytes, qsizetype size) {
        out.append(bytes, size);
        return true;
    });
    if (!writer.write(plain) || !writer.finish())
        return {};
    return out;
}

Status decryptWithFileKey(const QByteArray& file, const QByteArray& fileKey, QByteArray* plain)
{
    const Structure s = readStructure(file);
    if (s.status != Status::Ok)
        return s.status;
    return checkMacAndDecrypt(file, s.macInput, s.mac, s.payloadOffset, fileKey, plain);
}

} // namespace Age
