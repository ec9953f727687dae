#pragma once

#include "util/Files.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An ordered list of byte strings: not sorted, duplicates allowed. Record files, the settings
// document and the news list are all held this way, one entry per line.
using StringList = QList<QByteArray>;

namespace UUtils {

// Splits text into lines: a line ends at CR LF, a lone CR or a lone LF (LF CR is two ends,
// with an empty line between). A last line without an end is a line; a NUL byte ends the text.
StringList parseLines(const QByteArray& text);
// The same; *unread receives what the lines leave out: the bytes from the first NUL to the end
// of the text (empty when the text holds no NUL).
StringList parseLines(const QByteArray& text, QByteArray* unread);

// Each entry followed by CR LF; an empty list gives no bytes at all.
QByteArray joinLines(const StringList& lines);

// Reads a whole text file into lines. Throws AppError "Cannot open file "%s". %s" when the file
// cannot be read; callers test for a missing file first.
StringList loadStringList(const QString& path);
// The same, with the bytes after a NUL in *unread, as parseLines gives them.
StringList loadStringList(const QString& path, QByteArray* unread);

// Writes the lines through FileWriter (see Files.h), then unread unchanged. A record file
// keeps the bytes after a NUL this way: they are never read, but a save does not drop them.
// kind is FileWriter::Kind::WorkingCopy only for the short-lived plain settings copy.
void saveStringList(const QString& path, const StringList& lines, const QByteArray& unread = {},
                    FileWriter::Kind kind = FileWriter::Kind::Save);

} // namespace UUtils
