#pragma once

#include <QString>

// The branding settings file dbsettings.dat is stored sealed: an encrypted container (see
// crypto/AesLib.h) under a pass phrase built into the program. These two operations turn it into
// its short-lived plain copy dbsettings.sim and back.
namespace UUtils {

// The program's own pass phrase (10 bytes: AES-128, 8-byte salt).
inline constexpr char kSealPassPhrase[] = "riderozazo";

// Working buffer of the container object while sealing or unsealing.
inline constexpr int kSealBufferSize = 262144;

// Opens the sealed file source and writes its plain bytes to destination (created or truncated).
// A wrong pass phrase leaves destination empty; a damaged container still gives the deciphered
// bytes (the program reads what it finds). Returns false when the pass phrase check failed, that
// is when source is not a settings file sealed by this program.
// Throws AppError "Cannot open file "%s". %s" before touching destination when source cannot be
// opened, "Cannot create file "%s". %s" when destination cannot be created, "Stream read error
// "%s". %s" when reading source fails part-way, and "Stream write error "%s". %s" when writing
// destination fails.
bool UnsealFile(const QString& source, const QString& destination);

// Seals the plain file source into destination with a fresh random salt. destination is replaced
// atomically: on any failure it keeps its old content whole. Throws AppError "Cannot open file
// "%s". %s" when source cannot be opened, "Cannot create file "%s". %s" when destination cannot
// be created, and "Stream write error "%s". %s" when reading, writing or committing fails.
void SealFile(const QString& source, const QString& destination);

} // namespace UUtils
