#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// Files locked with a pass phrase in the age v1 format (age-encryption.org/v1), as the `age` and
// `rage` tools read and write them: one scrypt recipient, a ChaCha20-Poly1305 payload in chunks of
// 64 KiB. Every primitive comes from OpenSSL.
//
// A file is
//   age-encryption.org/v1
//   -> scrypt <salt, 16 bytes, base64> <work factor>
//   <the 16-byte file key sealed under the pass phrase's scrypt key, base64>
//   --- <HMAC-SHA256 of the header up to and including "---", base64>
//   <16-byte payload nonce><chunks>
//
// The reader never throws: every failure is a Status. Its memory grows with the file (the plain
// text is never larger than the file) plus what scrypt needs for the file's work factor, which is
// refused above kMaxWorkFactor, as `age` itself does.
namespace Age {

inline constexpr int kDefaultWorkFactor = 18; // what `age -p` writes
inline constexpr int kMaxWorkFactor = 22;     // above this `age -d` refuses a file
inline constexpr int kFileKeySize = 16;
inline constexpr qsizetype kChunkSize = 64 * 1024;
inline constexpr qsizetype kMaxHeaderLine = 1024; // longer lines are refused before parsing
inline constexpr qsizetype kMaxStanzas = 64;

enum class Status
{
    Ok,
    NotAgeFile,           // does not start as an age file, or its header is malformed
    UnsupportedVersion,   // an age file of another version
    Armored,              // the ASCII-armored form ("-----BEGIN AGE ENCRYPTED FILE-----")
    HeaderLineTooLong,    // a header line longer than the format allows
    MoreThanOneRecipient, // a pass phrase must be the file's only recipient
    NotPassPhrase,        // its one recipient is not a pass phrase (scrypt)
    WorkFactorTooHigh,    // scrypt work factor above the limit
    WrongPassPhrase,      // the pass phrase does not open the file key
    Truncated,            // the file ends early (header, nonce or the last chunk missing)
    Altered,              // an authentication code failed: the file was changed
    KeyDerivationFailed,  // scrypt could not run (memory)
};

// A sentence for the user: "the pass phrase is wrong", ...
QString describe(Status status);

// What a save needs to write a file without running scrypt again: the file key and the header
// (up to and including its MAC line) that seals it. A fresh payload nonce with the same header and
// key is a valid age file, so saves reuse them.
struct Key
{
    QByteArray fileKey; // 16 bytes
    QByteArray header;  // "age-encryption.org/v1\n" ... "--- <mac>\n"
    bool isNull() const { return fileKey.isEmpty(); }
    void clear();
};

// The file's first bytes say it is meant to be an age file ("age-encryption.org/", or the armored
// form). Any other file is not one.
bool looksLikeAge(const QByteArray& head);
inline constexpr qsizetype kSniffSize = 40; // enough bytes for looksLikeAge

// The parsed header of a pass-phrase file.
struct Header
{
    Status status = Status::NotAgeFile;
    QByteArray header; // the header bytes, up to and including the MAC line
    QByteArray salt;   // 16 bytes
    int workFactor = 0;
    QByteArray sealedKey; // 32 bytes: the file key and its tag
    QByteArray mac;       // 32 bytes
    qsizetype payloadOffset = 0;
};

// Reads and checks the header: its grammar, one scrypt recipient, a work factor of at most
// maxWorkFactor (a test seam: the fuzz target keeps it low).
Header readHeader(const QByteArray& file, int maxWorkFactor = kMaxWorkFactor);

// The slow step: scrypt over the pass phrase (UTF-8 bytes), opens the file key and checks the
// header's MAC. Thread-safe; fills *key on success.
Status unlock(const Header& header, const QByteArray& passPhrase, Key* key);

// Decrypts the payload of a file whose header was read into header and opened into key.
Status decryptPayload(const QByteArray& file, const Header& header, const Key& key, QByteArray* plain);

// readHeader + unlock + decryptPayload.
Status decrypt(const QByteArray& file, const QByteArray& passPhrase, QByteArray* plain, Key* key = nullptr,
               int maxWorkFactor = kMaxWorkFactor);

// Opens a file with a key kept from earlier, when the file's header is the key's: no scrypt.
// Returns WrongPassPhrase when the header differs (then unlock again with the pass phrase).
Status decryptWithKey(const QByteArray& file, const Key& key, QByteArray* plain);

// A new random file key and salt sealed under the pass phrase: runs scrypt once.
// Empty on a failure of the system (scrypt out of memory, no randomness).
Key newKey(const QByteArray& passPhrase, int workFactor = kDefaultWorkFactor);

// The whole age file of plain under key: its header, a fresh random nonce, the payload.
// Empty only when the system's random source fails.
QByteArray encrypt(const QByteArray& plain, const Key& key);

// The same, written as it goes: the plain text is given in pieces of any size, and each 64 KiB
// chunk is sealed and handed to out (with the header and the nonce first) as soon as the next
// piece shows it is not the last, so that a large file never sits in memory twice.
class Writer
{
public:
    // out writes bytes and returns false when it could not (then every later call fails too).
    using Output = std::function<bool(const char* bytes, qsizetype size)>;
    Writer(const Key& key, Output out);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool write(const char* bytes, qsizetype size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Seals the last chunk. False when anything failed on the way (the key, randomness, out).
    bool finish();

private:
    struct State;
    std::unique_ptr<State> m;
};

// For the published test vectors of the format, which give the file key: reads a header with any
// well-formed recipients, checks its MAC and decrypts the payload.
Status decryptWithFileKey(const QByteArray& file, const QByteArray& fileKey, QByteArray* plain);

} // namespace Age
