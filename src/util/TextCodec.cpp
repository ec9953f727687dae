#include "util/TextCodec.h"

#include <array>

namespace UUtils {
namespace {

// Unicode code points of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Returns the byte for a UTF-16 unit, or -1 when Windows-1252 has none.
int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(kHighControls.size()); ++i) {
        if (kHighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString ansiToString(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char16_t(b));
    }
    return text;
}

QByteArray stringToAnsi(const QString& text, bool* ok)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    bool all = true;
    for (const QChar ch : text) {
        int b = byteFor(ch.unicode());
        if (b < 0) {
            all = false;
            b = '?';
        }
        *out++ = char(b);
    }
    if (ok)
        *ok = all;
    return bytes;
}

bool isAnsiEncodable(const QString& text)
{
    for (const QChar ch : text) {
        if (byteFor(ch.unicode()) < 0)
            return false;
    }
    return true;
}

} // namespace UUtils
