#include "util/Sealing.h"

#include "crypto/AesLib.h"
#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace UUtils {
namespace {

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void raise(const char* format, const QString& path, const QString& reason)
{
    throw AppError(QString::fromLatin1(format).arg(nativePath(path), reason));
}

void openSource(QFile& source)
{
    if (!source.open(QIODevice::ReadOnly))
        raise("Cannot open file \"%1\". %2", source.fileName(), source.errorString());
}

} // namespace

bool UnsealFile(const QString& source, const QString& destination)
{
    QFile in(source);
    openSource(in);
    QFile out(destination);
    // Unbuffered: every write reports its true count, so a full disk is noticed.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        raise("Cannot create file \"%1\". %2", destination, out.errorString());
    TEncryption encryption(QByteArray(kSealPassPhrase), kSealBufferSize);
    // A wrong pass phrase or a damaged container is not an error here: the readers use what
    // they find. A failed read of the sealed file or write of the plain copy is.
    if (!encryption.DecryptStream(in, out, in.size())) {
        if (encryption.lastError() == TEncryption::Error::Write)
            raise("Stream write error \"%1\". %2", destination, out.errorString());
        // A plain copy cut short by a failing disk must not pass for the whole document.
        if (encryption.lastError() == TEncryption::Error::Read)
            raise("Stream read error \"%1\". %2", source, in.errorString());
    }
    return encryption.lastError() != TEncryption::Error::PassPhrase;
}

void SealFile(const QString& source, const QString& destination)
{
    QFile in(source);
    openSource(in);
    // The sealed file is written beside its place and renamed over it only when complete: a
    // failure (a full disk) leaves the old sealed file whole.
    const bool existed = QFile::exists(destination);
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        raise("Cannot create file \"%1\". %2", destination, out.errorString());
    if (!existed)
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                           QFileDevice::WriteUser);
    TEncryption encryption(QByteArray(kSealPassPhrase), kSealBufferSize);
    if (!encryption.EncryptStream(in, out)) {
        const bool readFailed = encryption.lastError() == TEncryption::Error::Read;
        const QString reason = readFailed ? in.errorString() : out.errorString();
        out.cancelWriting();
        raise("Stream write error \"%1\". %2", readFailed ? source : destination, reason);
    }
    if (!out.commit())
        raise("Stream write error \"%1\". %2", destination, out.errorString());
}

} // namespace UUtils
