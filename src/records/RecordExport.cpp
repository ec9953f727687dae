#include "records/RecordExport.h"

#include "records/RecordFiles.h"
#include "records/RecordImport.h"
#include "util/Fields.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QFile>
#include <QFileDevice>

namespace Records {
namespace {

constexpr char kSep = UUtils::kFieldSeparator;

void appendQuoted(QByteArray& row, const QByteArray& ansi)
{
    const QByteArray utf8 = UUtils::ansiToString(ansi).toUtf8();
    row.append('"');
    for (const char c : utf8) {
        if (c == '"')
            row.append('"');
        row.append(c);
    }
    row.append('"');
}

// The stored description: everything after the separator that ends field 10, less the separator
// that closes it, decoded. Unlike readItemLine, a lone CR stays a lone CR.
QByteArray storedDescription(const QByteArray& line)
{
    qsizetype start = 0;
    for (int i = 0; i < fldDescription; ++i) {
        const qsizetype end = line.indexOf(kSep, start);
        if (end < 0)
            return {};
        start = end + 1;
    }
    qsizetype end = line.size();
    if (end > start && line[end - 1] == kSep)
        --end;
    return UUtils::DecodeLineBreaks(line.mid(start, end - start));
}

} // namespace

QByteArray csvExportHeader()
{
    QByteArray row;
    for (int i = 0; i < kItemFieldCount; ++i) {
        if (i > 0)
            row.append(',');
        appendQuoted(row, UUtils::stringToAnsi(itemFieldNames()[i]));
    }
    row.append("\r\n");
    return row;
}

QByteArray csvExportRow(const QByteArray& itemLine)
{
    ItemFields fields = readItemLine(itemLine);
    fields[fldDescription] = storedDescription(itemLine);
    QByteArray row;
    row.reserve(itemLine.size() + 40);
    for (int i = 0; i < kItemFieldCount; ++i) {
        if (i > 0)
            row.append(',');
        appendQuoted(row, fields[i]);
    }
    row.append("\r\n");
    return row;
}

qsizetype exportItems(QIODevice& device, const StringList& categories, const StringList& items,
                      std::optional<qsizetype> onlyCategory)
{
    QByteArray out = QByteArrayLiteral("\xEF\xBB\xBF") + csvExportHeader();
    // Grouped as the tree shows them: by category in list order, items in list order.
    QList<QList<qsizetype>> byCategory(categories.size());
    for (const ItemPlacement& placed : placeItems(categories, items))
        byCategory[placed.category].append(placed.line);
    qsizetype count = 0;
    constexpr qsizetype kFlushAt = 1 << 20;
    for (qsizetype c = 0; c < categories.size(); ++c) {
        if (onlyCategory && *onlyCategory != c)
            continue;
        for (const qsizetype line : std::as_const(byCategory[c])) {
            out.append(csvExportRow(items[line]));
            ++count;
            if (out.size() >= kFlushAt) {
                if (device.write(out) != out.size())
                    return -1;
                out.clear();
            }
        }
    }
    return device.write(out) == out.size() ? count : -1;
}

qsizetype exportItemsToFile(const QString& path, const StringList& categories, const StringList& items,
                            std::optional<qsizetype> onlyCategory)
{
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    UUtils::FileWriter writer(path);
    // The temporary file takes the mode of the file it will replace: narrow it before any byte
    // goes in, and once more after the rename.
    if (auto* file = dynamic_cast<QFileDevice*>(&writer.device()))
        file->setPermissions(ownerOnly);
    const qsizetype count = exportItems(writer.device(), categories, items, onlyCategory);
    if (count < 0)
        writer.raiseWriteError();
    writer.commit();
    QFile::setPermissions(path, ownerOnly);
    return count;
}

} // namespace Records
