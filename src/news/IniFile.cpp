#include "news/IniFile.h"

#include "util/Fields.h"

#include <QFile>
#include <QIODevice>

namespace UUtils {

namespace {

constexpr qint64 kMaxLine = 64 * 1024;

// Reads one line of at most kMaxLine - 1 bytes; the rest of a longer line is skipped and the
// line reported as too long.
bool readLine(QIODevice& device, QByteArray& line, bool& tooLong)
{
    if (device.atEnd())
        return false;
    line = device.readLine(kMaxLine);
    tooLong = line.size() >= kMaxLine - 1 && !line.endsWith('\n');
    if (tooLong) {
        for (;;) {
            const QByteArray part = device.readLine(kMaxLine);
            if (part.isEmpty() || part.endsWith('\n'))
                break;
        }
    }
    return true;
}

QByteArray unquote(const QByteArray& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QByteArray readIniValue(QIODevice& device, const QByteArray& section, const QByteArray& key)
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
        const QByteArray line = trimControls(raw);
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            inSection = close > 0 && sameTextIgnoringCase(trimControls(line.mid(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        if (sameTextIgnoringCase(trimControls(line.left(eq)), key))
            return unquote(trimControls(line.mid(eq + 1)));
    }
    return {};
}

QByteArray readIniFileValue(const QString& path, const QByteArray& section, const QByteArray& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readIniValue(file, section, key);
}

} // namespace UUtils
