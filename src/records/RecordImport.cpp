#include "records/RecordImport.h"

#include "util/Fields.h"

#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QUrl>

namespace Records {
namespace {

constexpr char kSep = UUtils::kFieldSeparator;

// Unicode code points of the bytes 0x80 to 0x9F (TextCodec's table); the rest equals Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int ansiByteFor(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

QByteArray folded(const QByteArray& name)
{
    return UUtils::upperAscii(UUtils::trimControls(name));
}

QByteArray titleKey(const QByteArray& category, const QByteArray& title)
{
    QByteArray key;
    key.reserve(category.size() + title.size() + 1);
    key.append(category).append(kSep).append(title);
    return key;
}

// The form in which two items compare: the full line of the fields that reading gives back.
QByteArray canonicalLine(const ItemFields& fields)
{
    if (fields[fldDescription] == "\r") {
        ItemFields read = fields;
        read[fldDescription].clear();
        return buildItemLine(read);
    }
    return buildItemLine(fields);
}

// The host of an address, for a title where the file has none; empty when there is none.
QByteArray hostOf(const QByteArray& url)
{
    if (url.size() > 4096)
        return {};
    const QUrl parsed(QString::fromUtf8(url.trimmed()), QUrl::TolerantMode);
    return parsed.host(QUrl::EncodeUnicode).toUtf8();
}

// The format's names for its header, folded (ASCII upper case, trimmed).
struct HeaderIndex
{
    QHash<QByteArray, int> columns;
    int operator[](const char* name) const { return columns.value(QByteArray(name), -1); }
    bool has(std::initializer_list<const char*> names) const
    {
        for (const char* name : names) {
            if ((*this)[name] < 0)
                return false;
        }
        return true;
    }
};

QString shortText(const QByteArray& utf8)
{
    QString text = QString::fromUtf8(utf8.left(400));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.size() > 80)
        text = text.left(79) + QChar(0x2026);
    return text;
}

// Why a value cannot be stored in the field, or nothing. *bytes receives the value to store.
QString checkValue(const QByteArray& utf8, int field, bool exact, QByteArray* bytes)
{
    if (utf8.contains('\0'))
        return QStringLiteral("holds a NUL byte, which ends a record file");
    QString problem;
    QByteArray value = utf8ToAnsi(utf8, &problem);
    if (!problem.isEmpty())
        return problem;
    if (value.contains(kSep))
        return QStringLiteral("holds \"\u00A5\", the record files' field separator");
    if (field != fldDescription) {
        if (value.contains('\r') || value.contains('\n'))
            return QStringLiteral("holds a line break, which a one-line field cannot store");
    } else {
        if (!exact)
            value = descriptionFromEditor(value);
        if (UUtils::DecodeLineBreaks(UUtils::EncodeLineBreaks(value)) != value)
            return QStringLiteral("holds \"\u00A7\u00A7\", which the record files read back as a line break");
    }
    *bytes = std::move(value);
    return {};
}

} // namespace

QString formatName(CsvFormat format)
{
    switch (format) {
    case CsvFormat::Quillet:
        return QStringLiteral("Quillet export");
    case CsvFormat::Chrome:
        return QStringLiteral("Chrome, Edge, Brave, Opera or Vivaldi passwords");
    case CsvFormat::Firefox:
        return QStringLiteral("Firefox logins");
    case CsvFormat::Bitwarden:
        return QStringLiteral("Bitwarden export");
    case CsvFormat::KeePassXC:
        return QStringLiteral("KeePassXC export");
    case CsvFormat::LastPass:
        return QStringLiteral("LastPass export");
    case CsvFormat::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString formatsUnderstood()
{
    return QStringLiteral(
        "Quillet imports the CSV password exports of Chrome, Edge, Brave, Opera and Vivaldi, of Firefox, "
        "Bitwarden, KeePassXC and LastPass, and its own CSV export, each with its header row as first line.");
}

const std::array<QString, kItemFieldCount>& itemFieldNames()
{
    static const std::array<QString, kItemFieldCount> names = {
        QStringLiteral("Category"),       QStringLiteral("Title"),          QStringLiteral("Affiliate Program"),
        QStringLiteral("Website URL"),    QStringLiteral("Login URL"),      QStringLiteral("Username"),
        QStringLiteral("Password"),       QStringLiteral("Affiliate Link"), QStringLiteral("Cloaked URL"),
        QStringLiteral("Minimum Payout"), QStringLiteral("Payment Day"),    QStringLiteral("Description"),
    };
    return names;
}

CsvColumns recognizeHeader(const QList<QByteArray>& header)
{
    HeaderIndex h;
    for (int i = 0; i < header.size(); ++i) {
        const QByteArray name = folded(header[i]);
        if (!h.columns.contains(name))
            h.columns.insert(name, i);
    }
    CsvColumns c;
    c.field.fill(-1);

    bool all = true;
    for (int i = 0; i < kItemFieldCount; ++i) {
        c.field[i] = h[itemFieldNames()[i].toUpper().toLatin1().constData()];
        all = all && c.field[i] >= 0;
    }
    if (all) {
        c.format = CsvFormat::Quillet;
        return c;
    }
    c.field.fill(-1);

    auto set = [&](CsvFormat format, int category, int title, int url, int user, int password, int notes) {
        c.format = format;
        c.field[fldCategory] = category;
        c.field[fldTitle] = title;
        c.field[fldLoginURL] = url;
        c.field[fldUsername] = user;
        c.field[fldPassword] = password;
        c.field[fldDescription] = notes;
    };
    if (h.has({"TYPE", "NAME", "LOGIN_URI", "LOGIN_USERNAME", "LOGIN_PASSWORD"})) {
        set(CsvFormat::Bitwarden, h["FOLDER"], h["NAME"], h["LOGIN_URI"], h["LOGIN_USERNAME"], h["LOGIN_PASSWORD"],
            h["NOTES"]);
        c.type = h["TYPE"];
    } else if (h.has({"GROUP", "TITLE", "USERNAME", "PASSWORD", "URL"})) {
        set(CsvFormat::KeePassXC, h["GROUP"], h["TITLE"], h["URL"], h["USERNAME"], h["PASSWORD"], h["NOTES"]);
    } else if (h.has({"URL", "USERNAME", "PASSWORD", "EXTRA", "NAME", "GROUPING"})) {
        set(CsvFormat::LastPass, h["GROUPING"], h["NAME"], h["URL"], h["USERNAME"], h["PASSWORD"], h["EXTRA"]);
    } else if (h.has({"URL", "USERNAME", "PASSWORD"}) && (h["HTTPREALM"] >= 0 || h["FORMACTIONORIGIN"] >= 0)) {
        set(CsvFormat::Firefox, -1, -1, h["URL"], h["USERNAME"], h["PASSWORD"], -1);
    } else if (h.has({"NAME", "URL", "USERNAME", "PASSWORD"})) {
        set(CsvFormat::Chrome, -1, h["NAME"], h["URL"], h["USERNAME"], h["PASSWORD"], h["NOTE"]);
    }
    return c;
}

QByteArray utf8ToAnsi(QByteArrayView utf8, QString* problem)
{
    problem->clear();
    QByteArray out(utf8.size(), Qt::Uninitialized);
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            *o++ = char(b);
            ++p;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if ((b & 0xE0) == 0xC0) {
            length = 2;
            c = b & 0x1F;
            least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            c = b & 0x0F;
            least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            c = b & 0x07;
            least = 0x10000;
        }
        bool valid = length > 0 && end - p >= length;
        for (int i = 1; valid && i < length; ++i) {
            valid = (p[i] & 0xC0) == 0x80;
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!valid || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            *problem = QStringLiteral("is not valid UTF-8 text");
            return {};
        }
        const int ansi = ansiByteFor(c);
        if (ansi < 0) {
            *problem = QStringLiteral("holds \"%1\" (U+%2), which Windows-1252 has no character for")
                           .arg(QString::fromUcs4(&c, 1),
                                QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return {};
        }
        *o++ = char(ansi);
        p += length;
    }
    out.truncate(o - out.data());
    return out;
}

ImportPlan planImport(QIODevice& file, const StringList& categories, const StringList& items,
                      const ImportProgress& progress, const CsvLimits& limits)
{
    ImportPlan plan;
    CsvReader reader(file, limits);
    const qint64 total = file.isSequential() ? 0 : file.size();

    QList<QByteArray> row;
    const CsvReader::Status first = reader.next(row);
    if (first != CsvReader::Status::Record) {
        plan.refusal = first == CsvReader::Status::End ? QStringLiteral("The file is empty.")
                       : reader.problem().endsWith(QLatin1Char('.'))
                           ? reader.problem()
                           : QStringLiteral("Its first row cannot be read: %1.").arg(reader.problem());
        plan.refusal += QLatin1Char(' ') + formatsUnderstood();
        return plan;
    }
    const CsvColumns columns = recognizeHeader(row);
    plan.format = columns.format;
    if (columns.format == CsvFormat::Unknown) {
        plan.refusal =
            QStringLiteral("The file's first row is not a header that Quillet knows. ") + formatsUnderstood();
        return plan;
    }
    const bool exact = columns.format == CsvFormat::Quillet;

    // What the records hold already.
    QSet<QByteArray> existingNames(categories.cbegin(), categories.cend());
    QHash<QByteArray, QByteArray> byFolded; // folded name -> the name it stands for
    for (const QByteArray& name : categories) {
        const QByteArray key = folded(name);
        if (!byFolded.contains(key))
            byFolded.insert(key, name);
    }
    QSet<QByteArray> taken; // category 0xA5 title of every item
    QSet<QByteArray> equal; // canonical lines of every item
    taken.reserve(items.size());
    equal.reserve(items.size());
    for (const QByteArray& line : items) {
        const qsizetype firstSep = line.indexOf(kSep);
        if (firstSep < 0 || firstSep + 1 == line.size())
            continue; // fewer than two fields: not an item
        const ItemFields fields = readItemLine(line);
        taken.insert(titleKey(fields[fldCategory], fields[fldTitle]));
        equal.insert(buildItemLine(fields));
    }
    QHash<QByteArray, int> nextSuffix;
    QHash<QByteArray, qsizetype> planIndex; // category name -> index in plan.categories

    auto skip = [&](const QByteArray& title, int field, const QString& reason) {
        ++plan.skippedCount;
        if (plan.skipped.size() < ImportPlan::kMaxListedSkips)
            plan.skipped.append(
                {reader.recordLine(), shortText(title), field < 0 ? QString() : itemFieldNames()[field], reason});
    };

    for (;;) {
        if (progress && plan.rows % 512 == 0 && !progress(reader.position(), total)) {
            plan = ImportPlan();
            plan.format = columns.format;
            plan.cancelled = true;
            return plan;
        }
        const CsvReader::Status status = reader.next(row);
        if (status == CsvReader::Status::End)
            break;
        if (status == CsvReader::Status::Error) {
            ImportPlan refused;
            refused.format = columns.format;
            refused.refusal = reader.problem();
            return refused;
        }
        ++plan.rows;
        if (status == CsvReader::Status::BadRecord) {
            skip({}, -1, reader.problem());
            continue;
        }

        // The row's values for the item fields, as UTF-8.
        std::array<QByteArray, kItemFieldCount> value;
        bool blank = true;
        for (int i = 0; i < kItemFieldCount; ++i) {
            const int column = columns.field[i];
            if (column >= 0 && column < row.size()) {
                value[i] = row[column];
                blank = blank && UUtils::trimControlsView(value[i]).isEmpty();
            }
        }
        if (blank)
            continue; // an empty row, as a spreadsheet leaves at the end

        if (columns.format == CsvFormat::Bitwarden) {
            const QByteArray type = UUtils::trimControls(row.value(columns.type)).toLower();
            if (type != "login") {
                skip(value[fldTitle], -1,
                     QStringLiteral("a Bitwarden entry of type \"%1\", not a login").arg(shortText(type)));
                continue;
            }
            // Several addresses are joined by commas: the first is the login's.
            const qsizetype comma = value[fldLoginURL].indexOf(',');
            if (comma >= 0)
                value[fldLoginURL].truncate(comma);
        }
        if (!exact) {
            if (columns.format == CsvFormat::KeePassXC) {
                // The group path starts with the root group, whatever its name.
                const qsizetype slash = value[fldCategory].indexOf('/');
                value[fldCategory] = slash < 0 ? QByteArray() : value[fldCategory].mid(slash + 1);
                // Entries deleted in KeePassXC wait in its recycle bin, which the export includes.
                if (value[fldCategory] == "Recycle Bin" || value[fldCategory].startsWith("Recycle Bin/")) {
                    skip(value[fldTitle], -1, QStringLiteral("deleted in KeePassXC (in its recycle bin)"));
                    continue;
                }
            }
            value[fldCategory] = UUtils::trimControls(value[fldCategory]);
            if (UUtils::trimControlsView(value[fldTitle]).isEmpty())
                value[fldTitle] = hostOf(value[fldLoginURL]);
        }

        ItemFields fields;
        bool stored = true;
        for (int i = 0; i < kItemFieldCount && stored; ++i) {
            const QString problem = checkValue(value[i], i, exact, &fields[i]);
            if (!problem.isEmpty()) {
                skip(value[fldTitle], i, problem);
                stored = false;
            }
        }
        if (!stored)
            continue;

        // The category: an existing one of this name, or a new one.
        QByteArray& category = fields[fldCategory];
        if (UUtils::trimControlsView(category).isEmpty() && !existingNames.contains(category))
            category = kImportedCategory;
        if (!existingNames.contains(category)) {
            const QByteArray key = folded(category);
            const auto known = byFolded.constFind(key);
            if (known != byFolded.constEnd()) {
                category = known.value();
            } else {
                plan.newCategories.append(category);
                existingNames.insert(category);
                byFolded.insert(key, category);
                planIndex.insert(category, plan.categories.size());
                plan.categories.append({category, 0, true});
            }
        }

        const QByteArray canonical = canonicalLine(fields);
        if (equal.contains(canonical)) {
            ++plan.equalCount;
            continue;
        }
        equal.insert(canonical);

        QByteArray key = titleKey(category, fields[fldTitle]);
        if (taken.contains(key)) {
            int n = nextSuffix.value(key, 2);
            QByteArray title;
            QByteArray candidate;
            do {
                title = fields[fldTitle] + " (" + QByteArray::number(n++) + ')';
                candidate = titleKey(category, title);
            } while (taken.contains(candidate));
            nextSuffix.insert(key, n);
            fields[fldTitle] = title;
            key = candidate;
            ++plan.renamedCount;
        }
        taken.insert(key);

        auto at = planIndex.constFind(category);
        if (at == planIndex.constEnd()) {
            at = planIndex.insert(category, plan.categories.size());
            plan.categories.append({category, 0, false});
        }
        ++plan.categories[at.value()].items;
        plan.newItems.append(buildItemLine(fields));
    }
    if (progress && !progress(reader.position(), total)) {
        plan = ImportPlan();
        plan.format = columns.format;
        plan.cancelled = true;
    }
    return plan;
}

} // namespace Records
