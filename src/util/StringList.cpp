#include "util/StringList.h"

#include "util/Files.h"

namespace UUtils {

StringList parseLines(const QByteArray& text)
{
    StringList lines;
    const char* p = text.constData();
    const char* const end = p + text.size();
    const char* lineStart = p;
    while (p != end) {
        const char c = *p;
        if (c == '\0')
            break;
        if (c == '\r' || c == '\n') {
            lines.append(QByteArray(lineStart, p - lineStart));
            ++p;
            if (c == '\r' && p != end && *p == '\n')
                ++p;
            lineStart = p;
            continue;
        }
        ++p;
    }
    if (p != lineStart)
        lines.append(QByteArray(lineStart, p - lineStart));
    return lines;
}

QByteArray joinLines(const StringList& lines)
{
    qsizetype total = 0;
    for (const QByteArray& line : lines)
        total += line.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray& line : lines) {
        out.append(line);
        out.append("\r\n", 2);
    }
    return out;
}

StringList loadStringList(const QString& path)
{
    return parseLines(readWholeFile(path));
}

StringList parseLines(const QByteArray& text, QByteArray* unread)
{
    const qsizetype nul = text.indexOf('\0');
    *unread = nul < 0 ? QByteArray() : text.mid(nul);
    return parseLines(text);
}

StringList loadStringList(const QString& path, QByteArray* unread)
{
    return parseLines(readWholeFile(path), unread);
}

void saveStringList(const QString& path, const StringList& lines, const QByteArray& unread, FileWriter::Kind kind)
{
    // Written through one reused buffer of about 1 MB, not one copy of the whole file.
    constexpr qsizetype kBuffer = 1024 * 1024;
    FileWriter file(path, kind);
    const auto write = [&file](const QByteArray& bytes) {
        if (!file.write(bytes.constData(), bytes.size()))
            file.raiseWriteError();
    };
    QByteArray buffer;
    buffer.reserve(kBuffer + 2);
    for (const QByteArray& line : lines) {
        if (line.size() >= kBuffer) {
            write(buffer);
            write(line);
            buffer.resize(0);
        } else {
            if (buffer.size() + line.size() > kBuffer) {
                write(buffer);
                buffer.resize(0);
            }
            buffer.append(line);
        }
        buffer.append("\r\n", 2);
    }
    write(buffer);
    write(unread);
    file.commit();
}

} // namespace UUtils
