#pragma once

#include "util/StringList.h"

#include <QByteArrayView>

// Field and text helpers shared by the record files, the settings document and the news replies.
namespace UUtils {

constexpr char kFieldSeparator = char(0xA5); // item lines
constexpr char kLineFeedEscape = char(0xA7); // "§§" stands for LF in a stored description

// Splits text at every separator byte. Each separator ends a field, empty ones included; the
// text after the last separator is a field only when it is not empty. So "x¥¥y" gives three
// fields, "¥" one empty field and "" none.
StringList SplitFields(char separator, const QByteArray& text);

// CR becomes 0xA5 0xA5, then LF becomes 0xA7 0xA7; nothing else changes.
QByteArray EncodeLineBreaks(const QByteArray& text);

// From the left, each pair 0xA5 0xA5 becomes CR; then each pair 0xA7 0xA7 becomes LF.
QByteArray DecodeLineBreaks(const QByteArray& text);

// Upper-cases the ASCII letters a to z only; every other byte stays.
constexpr char upperAsciiByte(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
QByteArray upperAscii(const QByteArray& text);

// Drops leading and trailing bytes of value 0x20 or below.
QByteArrayView trimControlsView(QByteArrayView text);
QByteArray trimControls(const QByteArray& text);

// Equal after upperAscii (compared in place, without copies).
bool sameTextIgnoringCase(QByteArrayView a, QByteArrayView b);

} // namespace UUtils
