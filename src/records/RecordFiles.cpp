#include "records/RecordFiles.h"

#include "util/Fields.h"

namespace Records {
namespace {

constexpr char kSep = UUtils::kFieldSeparator;

// The field at position index of SplitFields(kSep, line), or empty.
QByteArray fieldAt(const QByteArray& line, int index)
{
    qsizetype start = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype next = line.indexOf(kSep, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const qsizetype end = line.indexOf(kSep, start);
    return end < 0 ? line.mid(start) : line.mid(start, end - start);
}

} // namespace

ItemFields readItemLine(const QByteArray& line)
{
    ItemFields fields;
    qsizetype start = 0;
    for (int i = 0; i < fldDescription; ++i) {
        const qsizetype end = line.indexOf(kSep, start);
        if (end < 0) {
            // Field i is the text after the last separator; later positions are missing.
            fields[i] = line.mid(start);
            return fields;
        }
        fields[i] = line.mid(start, end - start);
        start = end + 1;
    }
    // start is just after the separator that ends field 10.
    qsizetype end = line.size();
    if (end > start && line[end - 1] == kSep)
        --end;
    QByteArray description = UUtils::DecodeLineBreaks(line.mid(start, end - start));
    if (description == "\r")
        description.clear();
    fields[fldDescription] = description;
    return fields;
}

QByteArray itemCategory(const QByteArray& line)
{
    return fieldAt(line, fldCategory);
}

QByteArray itemTitle(const QByteArray& line)
{
    return fieldAt(line, fldTitle);
}

QByteArray buildItemLine(const ItemFields& fields)
{
    const QByteArray description = UUtils::EncodeLineBreaks(fields[fldDescription]);
    qsizetype size = description.size() + kItemFieldCount;
    for (int i = 0; i < fldDescription; ++i)
        size += fields[i].size();
    QByteArray line;
    line.reserve(size);
    for (int i = 0; i < fldDescription; ++i) {
        line.append(fields[i]);
        line.append(kSep);
    }
    line.append(description);
    line.append(kSep);
    return line;
}

QByteArray newItemLine(const QByteArray& category, const QByteArray& title)
{
    QByteArray line;
    line.reserve(category.size() + title.size() + 14);
    line.append(category);
    line.append(kSep);
    line.append(title);
    line.append(13, kSep);
    return line;
}

QByteArray descriptionFromEditor(const QByteArray& editorText)
{
    QByteArray out;
    out.reserve(editorText.size() + editorText.count('\n'));
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        const char c = editorText[i];
        if (c == '\r') {
            out.append("\r\n", 2);
            if (i + 1 < editorText.size() && editorText[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out.append("\r\n", 2);
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray descriptionToEditor(const QByteArray& description)
{
    QByteArray out;
    out.reserve(description.size());
    for (qsizetype i = 0; i < description.size(); ++i) {
        const char c = description[i];
        if (c == '\r') {
            out.append('\n');
            if (i + 1 < description.size() && description[i + 1] == '\n')
                ++i;
        } else {
            out.append(c);
        }
    }
    return out;
}

qsizetype findItemLine(const StringList& items, const QByteArray& category, const QByteArray& title)
{
    // Compare the leading bytes first: most lines fail on the category prefix at once.
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QByteArray& line = items[i];
        // The tree shows only lines of two fields or more: a line that ends with its first
        // separator ("C" 0xA5) is one field and never stands for the empty-titled item of C.
        if (!line.startsWith(category) || line.size() <= category.size() + 1 || line[category.size()] != kSep)
            continue;
        if (itemTitle(line) == title && itemCategory(line) == category)
            return i;
    }
    return -1;
}

QHash<QByteArray, qsizetype> firstIndexByName(const StringList& names)
{
    QHash<QByteArray, qsizetype> index;
    index.reserve(names.size());
    for (qsizetype i = names.size() - 1; i >= 0; --i)
        index.insert(names[i], i); // walking backwards, the first occurrence is inserted last
    return index;
}

QList<ItemPlacement> placeItems(const StringList& categories, const StringList& items)
{
    const QHash<QByteArray, qsizetype> byName = firstIndexByName(categories);
    QList<ItemPlacement> placed;
    placed.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QByteArray& line = items[i];
        // At least two fields: a separator with something after it, or two separators.
        const qsizetype first = line.indexOf(kSep);
        if (first < 0 || (first + 1 == line.size()))
            continue;
        const auto it = byName.constFind(QByteArray::fromRawData(line.constData(), first));
        if (it == byName.constEnd())
            continue;
        placed.append({i, it.value(), itemTitle(line)});
    }
    return placed;
}

} // namespace Records
