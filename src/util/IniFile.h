#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// The one reader of INI-style texts: the update descriptor, and the freedesktop desktop entries,
// mimeapps.list and mimeinfo.cache files through which the default browser is found.
namespace UUtils {

// The longest line read, without its line end; a longer line is skipped whole.
inline constexpr qsizetype kMaxIniLineLength = 65535;

// How section and key names are compared.
enum class IniNames
{
    IgnoringCase, // names trimmed, letters a to z without case: the INI files of Windows
    Exact,        // byte for byte, the section line exactly "[name]": desktop entries
};

// Reads one value of an INI text: "[section]" lines open sections, "key=value" lines give values,
// lines beginning with '#' are comments. Lines, keys and values are trimmed (bytes 0x20 and
// below); a UTF-8 byte order mark before the first line is skipped; a line ends at LF (a CR
// before it is trimmed). The first match wins; a missing section or key, or a text that is no
// INI at all, gives the empty text. Lines are read one at a time, so a huge file costs no memory.
QByteArray findIniValue(QIODevice& device, QByteArrayView section, QByteArrayView key, IniNames names);

// The same for a file; a file that cannot be opened reads as empty.
QByteArray findIniFileValue(const QString& path, QByteArrayView section, QByteArrayView key, IniNames names);

// The INI files of Windows: names without case, and the value loses one pair of enclosing quotes.
QByteArray readIniValue(QIODevice& device, const QByteArray& section, const QByteArray& key);
QByteArray readIniFileValue(const QString& path, const QByteArray& section, const QByteArray& key);

} // namespace UUtils
