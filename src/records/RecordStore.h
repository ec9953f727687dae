#pragma once

#include "crypto/AgeFile.h"
#include "util/StringList.h"

#include <QList>
#include <QString>

#include <optional>

// The one pair of functions through which the record files are read and written. A record file is
// plain (the lines, each followed by CR LF) or protected: an age file, locked by the user's pass
// phrase, whose plain text is exactly the bytes the plain file would hold. Whoever saves records
// (the editor, the commands, an import) goes through save(), which writes what the store's mode
// says, so a protected file is never written in the clear by mistake, and nothing at all is
// written while the records are locked.
namespace Records {

enum class FileKind
{
    Missing,
    Plain,
    Protected, // starts as an age file
};

// "The file "path" cannot be opened: reason. It is left as it is ..." for a file that is refused.
QString cannotOpenMessage(const QString& path, const QString& reason);

// Looks at the first bytes of a file. A file that cannot be opened counts as plain: its load then
// reports why.
FileKind fileKind(const QString& path);

// A protected file's header is a few lines: this much of the file says whether it can be used.
inline constexpr qint64 kHeadBytes = 64 * 1024;
// The first kHeadBytes of a protected record file; nothing when it is missing or counts as plain.
std::optional<QByteArray> protectedHead(const QString& path);

// The slow step of an unlock, safe to run off the window's thread: opens the file key of each
// distinct header among the given files (their bytes) with the pass phrase. Files whose header is
// not a valid pass-phrase header are skipped (their load reports it).
struct UnlockResult
{
    Age::Status status = Age::Status::WrongPassPhrase; // Ok when at least one key opened
    QList<Age::Key> keys;
};
UnlockResult unlockKeys(const QList<QByteArray>& files, const QByteArray& passPhrase);

// The work factor of the keys the program makes: Age::kDefaultWorkFactor. Test seam
// (util/TestSeam.h): a test lowers it so that protecting runs fast.
int protectWorkFactor();
void setProtectWorkFactor(int workFactor);

class RecordStore
{
public:
    enum class Mode
    {
        Plain,    // the files are written plain
        Locked,   // protected, no key: nothing is read or written
        Unlocked, // protected, the key is kept: the files are written protected
    };

    Mode mode() const { return m_mode; }
    bool isProtected() const { return m_mode != Mode::Plain; }

    // At start: Locked when a file holds a valid pass-phrase header, else Plain. Files that
    // claim to be protected but whose header cannot be used are listed in *bad (name, reason).
    void detect(const QStringList& names, QList<QPair<QString, Age::Status>>* bad);

    // Reads a record file (path = appDir + name): plain as it is; protected with a kept key.
    // Throws AppError naming the file and the reason when it cannot be read or opened.
    StringList load(const QString& path, QByteArray* unread) const;

    // Writes a record file atomically: plain in Plain mode (byte for byte as the lines and
    // unread say), protected under the kept key in Unlocked mode (a fresh nonce, no scrypt).
    // Throws AppError when locked, when a plain save would replace a protected file, or when the
    // write fails.
    void save(const QString& path, const StringList& lines, const QByteArray& unread) const;

    // After unlockKeys: the keys are kept, the first one seals what is saved.
    void unlock(QList<Age::Key> keys);
    // A new pass phrase (protect, change): its key seals every save from now on.
    void protect(const Age::Key& key);
    // Removes the protection: saves are plain again, and may replace the protected files.
    void removeProtection();
    // Forgets the keys: nothing is read or written until the next unlock.
    void lock();

private:
    void clearKeys();

    Mode m_mode = Mode::Plain;
    QList<Age::Key> m_keys;
    bool m_replaceProtected = false;
};

} // namespace Records
