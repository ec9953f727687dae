#pragma once

#include <QByteArray>
#include <QString>

// The branding settings file dbsettings.dat is stored sealed: an encrypted container (see
// crypto/AesLib.h) under a pass phrase built into the program. These operations turn it into its
// short-lived plain copy dbsettings.sim and back. The publishers' tool and the tests seal and
// open through the same functions, under the program's pass phrase or another one.
namespace UUtils {

// The program's own pass phrase (10 bytes: AES-128, 8-byte salt).
inline constexpr char kSealPassPhrase[] = "riderozazo";

// Working buffer of the container object while sealing or unsealing.
inline constexpr int kSealBufferSize = 262144;

// What opening a sealed file found.
enum class Unsealed
{
    Intact,          // the pass phrase check and the authentication code hold
    Damaged,         // the pass phrase check holds, the authentication code does not: altered or cut short
    WrongPassPhrase, // not sealed under this pass phrase (or not sealed at all, or too short)
};

// What an unseal writes.
enum class PlainCopy
{
    // The program's dbsettings.sim: whatever was deciphered, however the checks went (nothing
    // after a failed pass phrase check), written in place as a working copy (FileWriter), since
    // its operation deletes it again.
    WorkingCopy,
    // The tool's output: only an intact document, replacing destination atomically; otherwise
    // destination keeps its old content.
    IntactDocument,
};

// Opens the sealed file source and writes its plain bytes to destination as a working copy. A
// wrong pass phrase leaves destination empty; a damaged container still gives the deciphered
// bytes (the program reads what it finds). Returns false when the pass phrase check failed, that
// is when source is not a settings file sealed under passPhrase.
// Throws AppError "Cannot open file "%s". %s" before touching destination when source cannot be
// opened, "Cannot create file "%s". %s" when destination cannot be created, "Stream read error
// "%s". %s" when reading source fails part-way, and "Stream write error "%s". %s" when writing
// destination fails; no plain copy cut short is left behind.
bool UnsealFile(const QString& source, const QString& destination, const QByteArray& passPhrase = kSealPassPhrase);

// UnsealFile with the whole verdict and the choice of what to write.
Unsealed unsealFileChecked(const QString& source, const QString& destination, const QByteArray& passPhrase,
                           PlainCopy copy);

// Seals the plain file source into destination with a fresh random salt. destination is replaced
// atomically: on any failure it keeps its old content whole. Throws AppError "Cannot open file
// "%s". %s" when source cannot be opened, "Cannot create file "%s". %s" when destination cannot
// be created, and "Stream write error "%s". %s" when reading, writing or committing fails.
void SealFile(const QString& source, const QString& destination, const QByteArray& passPhrase = kSealPassPhrase);

// The same in memory.
QByteArray sealBytes(const QByteArray& plain, const QByteArray& passPhrase = kSealPassPhrase);
// The deciphered bytes of sealed (empty after a failed pass phrase check), and in *verdict how
// the container opened.
QByteArray unsealBytes(const QByteArray& sealed, const QByteArray& passPhrase = kSealPassPhrase,
                       Unsealed* verdict = nullptr);

// Every operation above throws AppError "The pass phrase is longer than 128 bytes" for such a
// pass phrase (the program's own is 10 bytes; the tool refuses longer ones first).

} // namespace UUtils
