#include "records/RecordStore.h"

#include "util/AppError.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/crypto.h>

namespace Records {
namespace {

struct WorkFactorSeam
{
    int workFactor = 0; // 0: the default
};

TTestSeam<WorkFactorSeam>& workFactorSeam()
{
    static TTestSeam<WorkFactorSeam> seam;
    return seam;
}

[[noreturn]] void raise(const QString& path, const QString& reason)
{
    throw AppError(cannotOpenMessage(path, reason));
}

void wipe(QByteArray& secret)
{
    if (!secret.isEmpty())
        OPENSSL_cleanse(secret.data(), size_t(secret.size()));
}

} // namespace

QString cannotOpenMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("The file \"%1\" cannot be opened: %2. It is left as it is and is not saved over while "
                          "Quillet runs.")
        .arg(QDir::toNativeSeparators(path), reason);
}

int protectWorkFactor()
{
    if (const WorkFactorSeam* seam = workFactorSeam().state(); seam && seam->workFactor > 0)
        return seam->workFactor;
    return Age::kDefaultWorkFactor;
}

void setProtectWorkFactor(int workFactor)
{
    if (WorkFactorSeam* seam = workFactorSeam().state())
        seam->workFactor = workFactor;
}

FileKind fileKind(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return FileKind::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Plain;
    return Age::looksLikeAge(file.read(Age::kSniffSize)) ? FileKind::Protected : FileKind::Plain;
}

std::optional<QByteArray> protectedHead(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray head = file.read(kHeadBytes);
    if (!Age::looksLikeAge(head.left(Age::kSniffSize)))
        return std::nullopt;
    return head;
}

UnlockResult unlockKeys(const QList<QByteArray>& files, const QByteArray& passPhrase)
{
    UnlockResult result;
    for (const QByteArray& file : files) {
        const Age::Header header = Age::readHeader(file);
        if (header.status != Age::Status::Ok)
            continue;
        const bool known = std::any_of(result.keys.cbegin(), result.keys.cend(),
                                       [&header](const Age::Key& key) { return key.header == header.header; });
        if (known)
            continue;
        Age::Key key;
        const Age::Status status = Age::unlock(header, passPhrase, &key);
        if (status == Age::Status::Ok)
            result.keys.append(key);
        else if (status == Age::Status::KeyDerivationFailed && result.keys.isEmpty())
            result.status = status;
    }
    if (!result.keys.isEmpty())
        result.status = Age::Status::Ok;
    return result;
}

void RecordStore::detect(const QStringList& names, QList<QPair<QString, Age::Status>>* bad)
{
    clearKeys();
    m_mode = Mode::Plain;
    m_replaceProtected = false;
    for (const QString& name : names) {
        // The header is at most a few lines: a bounded read says whether it can be used.
        const std::optional<QByteArray> head = protectedHead(UUtils::appFile(name));
        if (!head)
            continue;
        Age::Header header = Age::readHeader(*head);
        if (header.status == Age::Status::Truncated && head->size() == kHeadBytes)
            header.status = Age::Status::NotAgeFile;
        if (header.status == Age::Status::Ok)
            m_mode = Mode::Locked;
        else
            bad->append({name, header.status});
    }
}

StringList RecordStore::load(const QString& path, QByteArray* unread) const
{
    if (m_mode == Mode::Locked)
        raise(path, QStringLiteral("the records are locked"));
    QByteArray text = UUtils::readWholeFile(path);
    if (!Age::looksLikeAge(text.left(Age::kSniffSize)))
        return UUtils::parseLines(text, unread);

    const Age::Header header = Age::readHeader(text);
    if (header.status != Age::Status::Ok)
        raise(path, Age::describe(header.status));
    const auto key = std::find_if(m_keys.cbegin(), m_keys.cend(),
                                  [&header](const Age::Key& k) { return k.header == header.header; });
    if (key == m_keys.cend())
        raise(path, m_mode == Mode::Plain ? QStringLiteral("it is protected by a pass phrase")
                                          : Age::describe(Age::Status::WrongPassPhrase));
    QByteArray plain;
    const Age::Status status = Age::decryptPayload(text, header, *key, &plain);
    if (status != Age::Status::Ok)
        raise(path, Age::describe(status));
    StringList lines = UUtils::parseLines(plain, unread);
    wipe(plain);
    return lines;
}

void RecordStore::save(const QString& path, const StringList& lines, const QByteArray& unread) const
{
    switch (m_mode) {
    case Mode::Locked:
        throw AppError(QStringLiteral("The file \"%1\" was not saved: the records are locked.")
                           .arg(QDir::toNativeSeparators(path)));
    case Mode::Plain:
        if (!m_replaceProtected && fileKind(path) == FileKind::Protected)
            throw AppError(QStringLiteral("The file \"%1\" was not saved: it is protected by a pass phrase, and "
                                          "Quillet does not write it in the clear.")
                               .arg(QDir::toNativeSeparators(path)));
        UUtils::saveStringList(path, lines, unread);
        return;
    case Mode::Unlocked:
        break;
    }
    // Sealed as it is written: a large file is not held in memory twice.
    UUtils::FileWriter file(path);
    Age::Writer writer(m_keys.first(), [&file](const char* bytes, qsizetype size) { return file.write(bytes, size); });
    for (const QByteArray& line : lines) {
        if (!writer.write(line) || !writer.write("\r\n", 2))
            break;
    }
    if (!writer.write(unread) || !writer.finish())
        file.raiseWriteError();
    file.commit();
}

void RecordStore::unlock(QList<Age::Key> keys)
{
    clearKeys();
    m_keys = std::move(keys);
    m_mode = m_keys.isEmpty() ? Mode::Locked : Mode::Unlocked;
}

void RecordStore::protect(const Age::Key& key)
{
    clearKeys();
    m_keys.append(key);
    m_mode = Mode::Unlocked;
}

void RecordStore::removeProtection()
{
    clearKeys();
    m_mode = Mode::Plain;
    m_replaceProtected = true;
}

void RecordStore::lock()
{
    clearKeys();
    m_mode = Mode::Locked;
}

void RecordStore::clearKeys()
{
    for (Age::Key& key : m_keys)
        key.clear();
    m_keys.clear();
}

} // namespace Records
