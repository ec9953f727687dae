#include "util/Files.h"

#include "util/AppError.h"
#include "util/TestSeam.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace UUtils {
namespace {

// Test seam: the folder a test points the program at instead.
struct AppDirSeam
{
    QString dir;
};

TTestSeam<AppDirSeam>& appDirSeam()
{
    static TTestSeam<AppDirSeam> seam;
    return seam;
}

[[noreturn]] void raiseFileError(const char* format, const QString& path, const QString& reason)
{
    throw AppError(QString::fromLatin1(format).arg(QDir::toNativeSeparators(path), reason));
}

QString withTrailingSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// QFile says "Unknown error" when the system gave no reason, as for a short write on a full
// disk: say what a user can do something about instead.
QString reasonOf(const QFileDevice& file, const QString& fallback)
{
    const QString reason = file.errorString();
    if (file.error() == QFileDevice::NoError || reason.isEmpty() || reason == QLatin1String("Unknown error"))
        return fallback;
    return reason;
}

const QString kNotWritten = QStringLiteral("Not all of it could be written: the disk may be full.");
const QString kNotCreated = QStringLiteral("The folder may not exist or may not be writable.");

} // namespace

QString appDir()
{
    if (const AppDirSeam* seam = appDirSeam().state(); seam && !seam->dir.isEmpty())
        return seam->dir;
    return withTrailingSlash(QCoreApplication::applicationDirPath());
}

QString appFile(const QString& name)
{
    return appDir() + name;
}

void setAppDir(const QString& dir)
{
    if (AppDirSeam* seam = appDirSeam().state())
        seam->dir = dir.isEmpty() ? QString() : withTrailingSlash(QDir(dir).absolutePath());
}

QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        raiseFileError("Cannot open file \"%1\". %2", path, file.errorString());
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        raiseFileError("Cannot open file \"%1\". %2", path, file.errorString());
    return data;
}

std::optional<QByteArray> readFileUpTo(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return std::nullopt;
    QByteArray data = file.read(limit + 1);
    if (data.size() != file.size() || data.size() > limit)
        return std::nullopt;
    return data;
}

FileWriter::FileWriter(const QString& path, Kind kind)
    : m_path(path), m_kind(kind), m_save(path), m_workingCopy(path),
      m_file(kind == Kind::Save ? static_cast<QFileDevice*>(&m_save) : &m_workingCopy)
{
    const bool existed = QFileInfo::exists(path);
    // Unbuffered, so that write() reports a short write (a full disk) as a count we can check;
    // a buffered flush counts a partly written buffer as success.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (!m_file->open(kind == Kind::Save ? mode : mode | QIODevice::Truncate))
        raiseFileError("Cannot create file \"%1\". %2", path, reasonOf(*m_file, kNotCreated));
    if (!existed)
        m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                               QFileDevice::WriteUser);
}

FileWriter::~FileWriter()
{
    if (!m_done)
        discard();
}

bool FileWriter::write(const char* bytes, qint64 size)
{
    return size == 0 || m_file->write(bytes, size) == size;
}

void FileWriter::commit()
{
    m_done = true;
    if (m_kind == Kind::Save) {
        if (!m_save.commit())
            raiseFileError("Stream write error \"%1\". %2", m_path, reasonOf(m_save, kNotWritten));
        return;
    }
    m_workingCopy.close();
    if (m_workingCopy.error() != QFileDevice::NoError) {
        const QString reason = reasonOf(m_workingCopy, kNotWritten);
        m_workingCopy.remove();
        raiseFileError("Stream write error \"%1\". %2", m_path, reason);
    }
}

void FileWriter::raiseWriteError()
{
    const QString reason = reasonOf(*m_file, kNotWritten);
    discard();
    raiseFileError("Stream write error \"%1\". %2", m_path, reason);
}

void FileWriter::discard()
{
    m_done = true;
    if (m_kind == Kind::Save)
        m_save.cancelWriting();
    else
        m_workingCopy.remove();
}

void writeFileAtomically(const QString& path, const QByteArray& data)
{
    FileWriter file(path);
    if (!file.write(data.constData(), data.size()))
        file.raiseWriteError();
    file.commit();
}

} // namespace UUtils
