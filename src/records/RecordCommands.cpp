#include "records/RecordCommands.h"

#include "records/RecordFiles.h"
#include "util/Fields.h"
#include "util/TextCodec.h"

#include <QByteArrayView>
#include <QHash>

#include <algorithm>

namespace Records {
namespace {

constexpr char kSep = UUtils::kFieldSeparator;

// The line begins with name followed by the separator, byte for byte.
bool belongsTo(const QByteArray& line, const QByteArray& name)
{
    return line.size() > name.size() && line[name.size()] == kSep && line.startsWith(name);
}

} // namespace

qsizetype findCategoryFoldedTrimmed(const StringList& names, const QByteArray& entry, qsizetype skip)
{
    const QByteArrayView wanted = UUtils::trimControlsView(entry);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i != skip && UUtils::sameTextIgnoringCase(UUtils::trimControlsView(names[i]), wanted))
            return i;
    }
    return -1;
}

bool itemExistsFolded(const StringList& items, const QByteArray& category, const QByteArray& title)
{
    for (const QByteArray& line : items) {
        // Field 0 runs to the first separator (or the end); field 1 to the next one (or the end).
        const qsizetype first = line.indexOf(kSep);
        const QByteArrayView field0 = first < 0 ? QByteArrayView(line) : QByteArrayView(line).first(first);
        if (!UUtils::sameTextIgnoringCase(field0, category))
            continue;
        QByteArrayView field1;
        if (first >= 0) {
            const qsizetype second = line.indexOf(kSep, first + 1);
            field1 = QByteArrayView(line).sliced(first + 1, (second < 0 ? line.size() : second) - first - 1);
        }
        if (UUtils::sameTextIgnoringCase(field1, title))
            return true;
    }
    return false;
}

qsizetype categoryEntryOfNode(const StringList& categories, qsizetype nodeIndex, const QByteArray& name)
{
    if (nodeIndex >= 0 && nodeIndex < categories.size() && categories[nodeIndex] == name)
        return nodeIndex;
    for (qsizetype i = 0; i < categories.size(); ++i) {
        if (UUtils::sameTextIgnoringCase(categories[i], name))
            return i;
    }
    return -1;
}

qsizetype renameCategoryItems(StringList& items, const QByteArray& oldName, const QByteArray& newName)
{
    qsizetype count = 0;
    for (QByteArray& line : items) {
        if (belongsTo(line, oldName)) {
            QByteArray renamed;
            renamed.reserve(newName.size() + line.size() - oldName.size());
            renamed.append(newName).append(QByteArrayView(line).sliced(oldName.size()));
            line = renamed;
            ++count;
        }
    }
    return count;
}

qsizetype removeCategoryItems(StringList& items, const QByteArray& name)
{
    return items.removeIf([&](const QByteArray& line) { return belongsTo(line, name); });
}

QList<qsizetype> ownItemLines(const StringList& items, const QByteArray& category, const StringList& titles)
{
    QHash<QByteArray, int> wanted;
    for (const QByteArray& title : titles)
        ++wanted[title];
    QList<qsizetype> own;
    for (qsizetype i = 0; i < items.size() && own.size() < titles.size(); ++i) {
        if (!belongsTo(items[i], category))
            continue;
        const auto it = wanted.find(itemTitle(items[i]));
        if (it != wanted.end() && it.value() > 0) {
            --it.value();
            own.append(i);
        }
    }
    return own;
}

bool hasSiblingTitle(const StringList& titles, qsizetype selfIndex, const QByteArray& title)
{
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (i != selfIndex && titles[i] == title)
            return true;
    }
    return false;
}

QString checkStorableText(const QString& text, const QString& fieldName, TextKind kind, QByteArray* bytes)
{
    if (!UUtils::isAnsiEncodable(text)) {
        QString bad;
        for (qsizetype i = 0; i < text.size() && bad.size() < 8; ++i) {
            const qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
            const QString ch = text.mid(i, len);
            if (!UUtils::isAnsiEncodable(ch) && !bad.contains(ch))
                bad += ch;
            i += len - 1;
        }
        return QStringLiteral(
                   "The field \"%1\" contains characters that cannot be stored: %2\n\nQuillet keeps its records in "
                   "the Western (Windows-1252) character set, which has no place for them. Remove them and "
                   "try again; nothing was saved.")
            .arg(fieldName, bad);
    }
    const QByteArray converted = UUtils::stringToAnsi(text);
    if (converted.contains(kSep)) {
        return QStringLiteral(
                   "The field \"%1\" contains the character \"%2\", which Quillet uses to separate the parts of its "
                   "records. Remove it and try again; nothing was saved.")
            .arg(fieldName, UUtils::ansiToString(QByteArray(1, kSep)));
    }
    if (converted.contains('\0')) {
        return QStringLiteral(
                   "The field \"%1\" contains a NUL character, which cannot be stored. Remove it and try again; "
                   "nothing was saved.")
            .arg(fieldName);
    }
    if (kind == TextKind::SingleLine && (converted.contains('\r') || converted.contains('\n'))) {
        return QStringLiteral(
                   "The field \"%1\" contains a line break, which cannot be stored in a single-line field. Remove "
                   "it and try again; nothing was saved.")
            .arg(fieldName);
    }
    *bytes = converted;
    return {};
}

} // namespace Records
