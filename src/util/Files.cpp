#include "util/Files.h"

#include "util/AppError.h"
#include "util/TestSeam.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
        throw AppError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return data;
}

void writeFileAtomically(const QString& path, const QByteArray& data)
{
    writeFileAtomically(path, [&data](const WriteChunk& write) { return write(data.constData(), data.size()); });
}

void writeFileAtomically(const QString& path, const std::function<bool(const WriteChunk&)>& produce)
{
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    // Unbuffered, so that write() reports a short write (a full disk) as a count we can check;
    // a buffered flush counts a partly written buffer as success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(path), reasonOf(file, kNotCreated)));
    if (!existed)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                            QFileDevice::WriteUser);
    const WriteChunk write = [&file](const char* bytes, qint64 size) {
        return size == 0 || file.write(bytes, size) == size;
    };
    if (!produce(write)) {
        const QString reason = reasonOf(file, kNotWritten);
        file.cancelWriting();
        throw AppError(QStringLiteral("Stream write error \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
    }
    if (!file.commit())
        throw AppError(QStringLiteral("Stream write error \"%1\". %2")
                           .arg(QDir::toNativeSeparators(path), reasonOf(file, kNotWritten)));
}

} // namespace UUtils
