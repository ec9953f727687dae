#include "records/ItemFind.h"

#include "util/TextCodec.h"

#include <array>

namespace Records {

namespace {

constexpr char kSeparator = char(0xA5);

// Windows-1252 letters to their lower-case form; every other byte to itself.
constexpr std::array<char, 256> makeFoldTable()
{
    std::array<char, 256> table{};
    for (int i = 0; i < 256; ++i) {
        int folded = i;
        if ((i >= 'A' && i <= 'Z') || (i >= 0xC0 && i <= 0xDE && i != 0xD7))
            folded = i + 0x20;
        else if (i == 0x8A || i == 0x8C || i == 0x8E) // Š Œ Ž
            folded = i + 0x10;
        else if (i == 0x9F) // Ÿ
            folded = 0xFF;
        table[i] = char(folded);
    }
    return table;
}

constexpr std::array<char, 256> kFold = makeFoldTable();

} // namespace

QByteArray foldForFind(const QByteArray& bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char* to = out.data();
    for (const char c : bytes)
        *to++ = kFold[uchar(c)];
    return out;
}

bool findNeedle(const QString& typed, QByteArray* needle)
{
    bool ok = false;
    const QByteArray bytes = UUtils::stringToAnsi(typed, &ok);
    *needle = ok ? foldForFind(bytes) : QByteArray();
    return ok;
}

QByteArray itemFindText(const QByteArray& line)
{
    const qsizetype first = line.indexOf(kSeparator);
    if (first < 0)
        return {};
    QByteArray out(line.size() - first - 1, Qt::Uninitialized);
    char* to = out.data();
    for (qsizetype i = first + 1; i < line.size(); ++i) {
        const char c = line[i];
        *to++ = c == kSeparator ? '\0' : kFold[uchar(c)];
    }
    return out;
}

} // namespace Records
