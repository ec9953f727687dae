#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Every file of the program is the application directory plus a bare name, and every write
// replaces its file atomically: a failure leaves the old file whole.
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

// Writes data to a temporary file beside path, flushes it and renames it over path. A new file
// is readable and writable by its owner only; a replaced file keeps its permissions.
// Throws AppError "Cannot create file "%s". %s" when the file cannot be created, and
// "Stream write error "%s". %s" when writing or committing fails; path then keeps its old content.
void writeFileAtomically(const QString& path, const QByteArray& data);

// The same for data written in pieces: produce calls write(bytes, size) for each piece, in
// order, and returns false as soon as a write returns false.
using WriteChunk = std::function<bool(const char* bytes, qint64 size)>;
void writeFileAtomically(const QString& path, const std::function<bool(const WriteChunk&)>& produce);

} // namespace UUtils
