#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace UUtils {

// Reads one value of an INI text: "[section]" lines open sections, "key=value" lines give values.
// Section and key names are matched after trimming and without regard to case; the value is
// trimmed and loses one pair of enclosing quotes. The first match wins; a missing section or
// key, or a text that is no INI at all, gives the empty text. Lines are read one at a time, so a
// huge file costs no memory; an over-long line is skipped.
QByteArray readIniValue(QIODevice& device, const QByteArray& section, const QByteArray& key);

// The same for a file; a file that cannot be opened reads as empty.
QByteArray readIniFileValue(const QString& path, const QByteArray& section, const QByteArray& key);

} // namespace UUtils
