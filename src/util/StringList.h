#pragma once

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

// Each entry followed by CR LF; an empty list gives no bytes at all.
QByteArray joinLines(const StringList& lines);

// Reads a whole text file into lines. Throws AppError "Cannot open file "%s". %s" when the file
// cannot be read; callers test for a missing file first.
StringList loadStringList(const QString& path);

// Writes the lines with writeFileAtomically (see Files.h).
void saveStringList(const QString& path, const StringList& lines);

} // namespace UUtils
