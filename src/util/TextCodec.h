#pragma once

#include <QByteArray>
#include <QString>

// Every stored text is a Windows-1252 byte string. These are the only conversions between
// such bytes and the QString that widgets show. The mapping is lossless for all 256 byte
// values: the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control characters of the same value and back.
namespace UUtils {

QString ansiToString(const QByteArray& bytes);

// Characters that Windows-1252 cannot hold become '?', and *ok (when given) turns false.
QByteArray stringToAnsi(const QString& text, bool* ok = nullptr);

// True when every character of text has a Windows-1252 byte.
bool isAnsiEncodable(const QString& text);

} // namespace UUtils
