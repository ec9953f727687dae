#include "util/Fields.h"

namespace UUtils {

StringList SplitFields(char separator, const QByteArray& text)
{
    StringList fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == separator) {
            fields.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size())
        fields.append(text.mid(start));
    return fields;
}

QByteArray EncodeLineBreaks(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\r')
            out.append(2, kFieldSeparator);
        else if (c == '\n')
            out.append(2, kLineFeedEscape);
        else
            out.append(c);
    }
    return out;
}

namespace {

QByteArray replacePairs(const QByteArray& text, char pairByte, char replacement)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == pairByte && i + 1 < text.size() && text[i + 1] == pairByte) {
            out.append(replacement);
            ++i;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

} // namespace

QByteArray DecodeLineBreaks(const QByteArray& text)
{
    return replacePairs(replacePairs(text, kFieldSeparator, '\r'), kLineFeedEscape, '\n');
}

QByteArray upperAscii(const QByteArray& text)
{
    QByteArray out = text;
    for (char& c : out)
        c = upperAsciiByte(c);
    return out;
}

QByteArrayView trimControlsView(QByteArrayView text)
{
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QByteArray trimControls(const QByteArray& text)
{
    return trimControlsView(text).toByteArray();
}

bool sameTextIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upperAsciiByte(a[i]) != upperAsciiByte(b[i]))
            return false;
    }
    return true;
}

} // namespace UUtils
