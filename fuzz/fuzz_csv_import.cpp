// The CSV reader and the import's mapping to item lines, over files taken from the input: the
// reader keeps to its ceilings, every planned line is one the record files hold unchanged, titles
// stay unique in their category, and exporting the planned items then importing them again gives
// the very same lines.

#include "FuzzSupport.h"

#include "records/CsvReader.h"
#include "records/RecordExport.h"
#include "records/RecordFiles.h"
#include "records/RecordImport.h"
#include "util/Fields.h"
#include "util/TextCodec.h"

#include <QBuffer>
#include <QSet>

using namespace Records;

namespace {

constexpr char kSep = UUtils::kFieldSeparator;

void checkReader(const QByteArray& csv)
{
    CsvLimits limits;
    limits.maxFieldBytes = 64;
    limits.maxRecordBytes = 256;
    limits.maxColumns = 16;
    limits.maxRecords = 200;
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, limits);
    QList<QByteArray> fields;
    qint64 records = 0;
    qint64 line = 0;
    for (;;) {
        const CsvReader::Status status = reader.next(fields);
        FUZZ_CHECK(reader.position() <= csv.size());
        if (status == CsvReader::Status::End || status == CsvReader::Status::Error)
            break;
        FUZZ_CHECK(++records <= limits.maxRecords);
        FUZZ_CHECK(reader.recordLine() > line);
        line = reader.recordLine();
        if (status == CsvReader::Status::BadRecord) {
            FUZZ_CHECK(fields.isEmpty() && !reader.problem().isEmpty());
            continue;
        }
        FUZZ_CHECK(!fields.isEmpty() && fields.size() <= limits.maxColumns);
        qsizetype bytes = 0;
        for (const QByteArray& field : fields) {
            FUZZ_CHECK(field.size() <= limits.maxFieldBytes);
            bytes += field.size();
        }
        FUZZ_CHECK(bytes <= limits.maxRecordBytes);
    }
}

void checkUtf8(const QByteArray& bytes)
{
    QString problem;
    const QByteArray ansi = utf8ToAnsi(bytes, &problem);
    const QString text = QString::fromUtf8(bytes);
    if (problem.isEmpty()) {
        FUZZ_CHECK(text.toUtf8() == bytes); // it was valid UTF-8
        FUZZ_CHECK(UUtils::ansiToString(ansi) == text);
    } else {
        FUZZ_CHECK(ansi.isEmpty());
        FUZZ_CHECK(text.toUtf8() != bytes || !UUtils::isAnsiEncodable(text));
    }
}

ImportPlan planOf(const QByteArray& csv, const StringList& categories, const StringList& items)
{
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    return planImport(buffer, categories, items);
}

void checkPlan(const QByteArray& csv, const StringList& categories, const StringList& items)
{
    const ImportPlan plan = planOf(csv, categories, items);
    if (!plan.refusal.isEmpty()) {
        FUZZ_CHECK(plan.newItems.isEmpty() && plan.newCategories.isEmpty());
        return;
    }
    FUZZ_CHECK(plan.skipped.size() == std::min(plan.skippedCount, ImportPlan::kMaxListedSkips));
    FUZZ_CHECK(plan.newItems.size() + plan.skippedCount + plan.equalCount <= plan.rows);

    QSet<QByteArray> names(categories.cbegin(), categories.cend());
    for (const QByteArray& name : plan.newCategories) {
        FUZZ_CHECK(!names.contains(name));
        names.insert(name);
    }
    QSet<QByteArray> titles;
    for (const QByteArray& line : items) {
        if (UUtils::SplitFields(kSep, line).size() >= 2)
            titles.insert(itemCategory(line) + kSep + itemTitle(line));
    }
    qsizetype counted = 0;
    for (const ImportCategory& c : plan.categories) {
        FUZZ_CHECK(names.contains(c.name) && c.isNew == plan.newCategories.contains(c.name));
        counted += c.items;
    }
    FUZZ_CHECK(counted == plan.newItems.size());
    for (const QByteArray& line : plan.newItems) {
        // A line the record files hold: no line break, no NUL, and it reads back to what builds it.
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'));
        const ItemFields fields = readItemLine(line);
        FUZZ_CHECK(buildItemLine(fields) == line || fields[fldDescription].isEmpty());
        FUZZ_CHECK(names.contains(fields[fldCategory]));
        const QByteArray key = fields[fldCategory] + kSep + fields[fldTitle];
        FUZZ_CHECK(!titles.contains(key)); // titles stay unique in their category
        titles.insert(key);
    }

    // Export then import into empty records: the same lines.
    if (categories.isEmpty() && items.isEmpty()) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        FUZZ_CHECK(exportItems(out, plan.newCategories, plan.newItems) == plan.newItems.size());
        const ImportPlan again = planOf(out.data(), {}, {});
        FUZZ_CHECK(again.refusal.isEmpty() && again.skippedCount == 0 && again.equalCount == 0);
        StringList a = again.newItems;
        StringList b = plan.newItems;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        FUZZ_CHECK(a == b);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    checkReader(input);
    checkUtf8(input.left(256));
    checkPlan(input, {}, {});
    // Records that the file's rows may meet: a category in another letter case, a title taken.
    checkPlan(input, {"imported", "Affiliates", "C"},
              {newItemLine("imported", "shop.example"), newItemLine("Affiliates", "Big Shop"), "C"});
    return 0;
}
