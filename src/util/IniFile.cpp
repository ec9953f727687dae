#include "util/IniFile.h"

#include "util/Fields.h"

#include <QFile>
#include <QIODevice>

namespace UUtils {

namespace {

// Reads the next line into line, without its LF and the CR before it; false at the end of the
// text. A line of more than kMaxIniLineLength bytes is read to its end and dropped: line is then
// empty and tooLong true. At most kMaxIniLineLength + a few bytes are held at any time.
bool readLine(QIODevice& device, QByteArray& line, bool& tooLong)
{
    constexpr qint64 kPiece = 4096;
    line.clear();
    tooLong = false;
    bool any = false;
    for (;;) {
        const QByteArray piece = device.readLine(kPiece);
        if (piece.isEmpty())
            break;
        any = true;
        if (!tooLong) {
            line += piece;
            // Room for the line end: a line of exactly the longest length plus CR LF is whole.
            if (line.size() > kMaxIniLineLength + 2) {
                tooLong = true;
                line.clear();
            }
        }
        if (piece.endsWith('\n'))
            break;
    }
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > kMaxIniLineLength) {
        tooLong = true;
        line.clear();
    }
    return any;
}

bool sectionMatches(QByteArrayView line, QByteArrayView section, IniNames names)
{
    if (names == IniNames::Exact)
        return line.size() >= 2 && line.endsWith(']') && line.sliced(1, line.size() - 2) == section;
    const qsizetype close = line.indexOf(']');
    return close > 0 && sameTextIgnoringCase(trimControlsView(line.sliced(1, close - 1)), section);
}

QByteArray unquote(const QByteArray& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QByteArray findIniValue(QIODevice& device, QByteArrayView section, QByteArrayView key, IniNames names)
{
    bool inSection = false;
    bool first = true;
    QByteArray raw;
    bool tooLong = false;
    while (readLine(device, raw, tooLong)) {
        if (first && raw.startsWith("\xEF\xBB\xBF"))
            raw.remove(0, 3);
        first = false;
        if (tooLong)
            continue;
        const QByteArrayView line = trimControlsView(raw);
        if (line.startsWith('[')) {
            inSection = sectionMatches(line, section, names);
            continue;
        }
        if (!inSection || line.startsWith('#'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArrayView name = trimControlsView(line.first(eq));
        if (names == IniNames::Exact ? name == key : sameTextIgnoringCase(name, key))
            return trimControlsView(line.sliced(eq + 1)).toByteArray();
    }
    return {};
}

QByteArray findIniFileValue(const QString& path, QByteArrayView section, QByteArrayView key, IniNames names)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return findIniValue(file, section, key, names);
}

QByteArray readIniValue(QIODevice& device, const QByteArray& section, const QByteArray& key)
{
    return unquote(findIniValue(device, section, key, IniNames::IgnoringCase));
}

QByteArray readIniFileValue(const QString& path, const QByteArray& section, const QByteArray& key)
{
    return unquote(findIniFileValue(path, section, key, IniNames::IgnoringCase));
}

} // namespace UUtils
