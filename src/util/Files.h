#pragma once

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <optional>

// Every file of the program is the application directory plus a bare name, and every file that
// the program or its tool writes is written by FileWriter: a failed save leaves the old file whole.
namespace UUtils {

// The directory of the running executable, with a trailing '/'.
QString appDir();

// appDir() + name.
QString appFile(const QString& name);

// Test seam (util/TestSeam.h): makes appDir() answer dir instead, so a test points the program at
// a folder of their own. An empty dir restores the executable's directory. Inert unless armed.
void setAppDir(const QString& dir);

// Reads a whole file. Throws AppError "Cannot open file "%s". %s".
QByteArray readWholeFile(const QString& path);

// Reads a whole file of at most limit bytes, for files a copy delivers (banners, skin, icon):
// nothing when it cannot be read or is larger, and never more than limit + 1 bytes in memory,
// whatever the file's size says.
std::optional<QByteArray> readFileUpTo(const QString& path, qint64 limit);

// The one way a file is written, by the program and by its tool. A save (the records, the sealed
// settings file, the tool's output) goes to a temporary file beside path, synced to the disk, and
// commit() renames it over path once all of it is written; a writer destroyed without commit()
// (after an error, or with content not worth keeping) removes the temporary file, and path keeps
// its old content. A saved file is never rewritten in place: on a full disk that leaves it cut
// short. A working copy (the plain settings copy dbsettings.sim, which its operation deletes
// again) is written in place, without the cost of the sync; destroyed without commit(), it is
// removed, so no copy cut short is left behind.
// A new file is readable and writable by its owner only; a replaced file keeps its permissions.
class FileWriter
{
public:
    enum class Kind
    {
        Save,
        WorkingCopy,
    };

    // Throws AppError "Cannot create file "%s". %s".
    explicit FileWriter(const QString& path, Kind kind = Kind::Save);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // The file being written, unbuffered: every write reports its true count, so a short write
    // (a full disk) is seen.
    QIODevice& device() { return *m_file; }

    // Writes size bytes; false when fewer went out.
    bool write(const char* bytes, qint64 size);

    // Completes the file: a save is renamed over path. Throws AppError "Stream write error "%s". %s".
    void commit();

    // Throws AppError "Stream write error "%s". %s" with the reason of the last failed write,
    // after dropping what was written.
    [[noreturn]] void raiseWriteError();

private:
    void discard();

    QString m_path;
    Kind m_kind;
    QSaveFile m_save;
    QFile m_workingCopy;
    QFileDevice* m_file;
    bool m_done = false;
};

// Saves data to path through FileWriter.
void writeFileAtomically(const QString& path, const QByteArray& data);

} // namespace UUtils
