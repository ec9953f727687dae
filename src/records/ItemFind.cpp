#include "records/ItemFind.h"

#include "util/TextCodec.h"

#include <array>
#include <cstring>

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

bool containsBytes(QByteArrayView text, QByteArrayView needle)
{
    const qsizetype n = needle.size();
    if (n <= 1)
        return n == 0 || std::memchr(text.data(), needle[0], size_t(text.size())) != nullptr;
    if (text.size() < n)
        return false;
    // A needle's first two bytes, looked for in blocks of start positions by a loop without an
    // early exit, which the compiler turns into vector compares; only a block with a candidate is
    // looked at closely. For the two letters a user types first, glibc's memmem goes a byte at a
    // time: "zz" over 100,000 items went from about 20 to about 8 ms (editor_find_keystroke_max).
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto first = uchar(needle[0]);
    const auto second = uchar(needle[1]);
    const qsizetype starts = text.size() - n + 1; // positions a match can begin at
    auto matchesAt = [&](qsizetype i) {
        return p[i] == first && p[i + 1] == second && std::memcmp(p + i + 2, needle.data() + 2, size_t(n - 2)) == 0;
    };
    constexpr qsizetype kBlock = 32;
    qsizetype i = 0;
    for (; i + kBlock <= starts; i += kBlock) {
        unsigned char candidate = 0;
        for (qsizetype k = 0; k < kBlock; ++k)
            candidate |= static_cast<unsigned char>((p[i + k] == first) & (p[i + k + 1] == second));
        if (!candidate)
            continue;
        for (qsizetype k = 0; k < kBlock; ++k) {
            if (matchesAt(i + k))
                return true;
        }
    }
    for (; i < starts; ++i) {
        if (matchesAt(i))
            return true;
    }
    return false;
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
