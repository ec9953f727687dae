#include "util/Sealing.h"

#include "crypto/AesLib.h"
#include "util/AppError.h"
#include "util/Files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

namespace UUtils {
namespace {

[[noreturn]] void raise(const char* format, const QString& path, const QString& reason)
{
    throw AppError(QString::fromLatin1(format).arg(QDir::toNativeSeparators(path), reason));
}

// The container object of every seal and unseal, for one stream operation.
class Container
{
public:
    explicit Container(const QByteArray& passPhrase) : m_encryption(checked(passPhrase), kSealBufferSize) {}

    TEncryption::Error seal(QIODevice& source, QIODevice& destination)
    {
        m_encryption.EncryptStream(source, destination);
        return m_encryption.lastError();
    }

    TEncryption::Error open(QIODevice& source, qint64 length, QIODevice& destination)
    {
        m_encryption.DecryptStream(source, destination, length);
        return m_encryption.lastError();
    }

private:
    static const QByteArray& checked(const QByteArray& passPhrase)
    {
        if (passPhrase.size() > TCrypt::kMaxPassPhraseLength)
            throw AppError(QStringLiteral("The pass phrase is longer than 128 bytes"));
        return passPhrase;
    }

    TEncryption m_encryption;
};

// How a container opened, from the error of a stream operation that neither failed to read
// nor to write.
Unsealed verdict(TEncryption::Error error)
{
    switch (error) {
    case TEncryption::Error::None:
        return Unsealed::Intact;
    case TEncryption::Error::PassPhrase:
        return Unsealed::WrongPassPhrase;
    default:
        return Unsealed::Damaged;
    }
}

void openSource(QFile& source)
{
    if (!source.open(QIODevice::ReadOnly))
        raise("Cannot open file \"%1\". %2", source.fileName(), source.errorString());
}

} // namespace

bool UnsealFile(const QString& source, const QString& destination, const QByteArray& passPhrase)
{
    return unsealFileChecked(source, destination, passPhrase, PlainCopy::WorkingCopy) != Unsealed::WrongPassPhrase;
}

Unsealed unsealFileChecked(const QString& source, const QString& destination, const QByteArray& passPhrase,
                           PlainCopy copy)
{
    Container container(passPhrase);
    QFile in(source);
    openSource(in);
    FileWriter out(destination,
                   copy == PlainCopy::WorkingCopy ? FileWriter::Kind::WorkingCopy : FileWriter::Kind::Save);
    const TEncryption::Error error = container.open(in, in.size(), out.device());
    if (error == TEncryption::Error::Write)
        out.raiseWriteError();
    // A plain copy cut short by a failing disk must not pass for the whole document.
    if (error == TEncryption::Error::Read)
        raise("Stream read error \"%1\". %2", source, in.errorString());
    // A wrong pass phrase or a damaged container is not an error here: the program's readers use
    // what they find.
    const Unsealed result = verdict(error);
    if (result == Unsealed::Intact || copy == PlainCopy::WorkingCopy)
        out.commit();
    return result;
}

void SealFile(const QString& source, const QString& destination, const QByteArray& passPhrase)
{
    Container container(passPhrase);
    QFile in(source);
    openSource(in);
    FileWriter out(destination);
    const TEncryption::Error error = container.seal(in, out.device());
    if (error == TEncryption::Error::Read)
        raise("Stream write error \"%1\". %2", source, in.errorString());
    if (error != TEncryption::Error::None)
        out.raiseWriteError();
    out.commit();
}

QByteArray sealBytes(const QByteArray& plain, const QByteArray& passPhrase)
{
    Container container(passPhrase);
    QBuffer source;
    source.setData(plain);
    source.open(QIODevice::ReadOnly);
    QBuffer destination;
    destination.open(QIODevice::WriteOnly);
    container.seal(source, destination);
    return destination.data();
}

QByteArray unsealBytes(const QByteArray& sealed, const QByteArray& passPhrase, Unsealed* result)
{
    Container container(passPhrase);
    QBuffer source;
    source.setData(sealed);
    source.open(QIODevice::ReadOnly);
    QBuffer destination;
    destination.open(QIODevice::WriteOnly);
    const Unsealed opened = verdict(container.open(source, sealed.size(), destination));
    if (result)
        *result = opened;
    return destination.data();
}

} // namespace UUtils
