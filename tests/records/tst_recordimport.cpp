// CSV import and export: the reader (RFC 4180 and its ceilings), the formats of the browsers' and
// password keepers' exports (KeePassXC's written by keepassxc-cli itself), the rules that keep
// the records whole, and export then import giving every item line back.

#include "records/CsvReader.h"
#include "records/RecordExport.h"
#include "records/RecordFiles.h"
#include "records/RecordImport.h"
#include "util/AppError.h"
#include "util/Fields.h"
#include "util/TextCodec.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Records;

namespace {

QByteArray ansi(const char* utf8)
{
    return UUtils::stringToAnsi(QString::fromUtf8(utf8));
}

// A full item line from UTF-8 texts: category, title, login URL, username, password, description.
QByteArray item(const char* category, const char* title, const char* login, const char* user, const char* password,
                const char* description = "")
{
    ItemFields f;
    f[fldCategory] = ansi(category);
    f[fldTitle] = ansi(title);
    f[fldLoginURL] = ansi(login);
    f[fldUsername] = ansi(user);
    f[fldPassword] = ansi(password);
    f[fldDescription] = ansi(description);
    return buildItemLine(f);
}

QList<QList<QByteArray>> readAll(const QByteArray& csv, QStringList* problems = nullptr, const CsvLimits& limits = {})
{
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, limits);
    QList<QList<QByteArray>> records;
    QList<QByteArray> fields;
    for (;;) {
        const CsvReader::Status status = reader.next(fields);
        if (status == CsvReader::Status::End)
            break;
        if (status == CsvReader::Status::Record)
            records.append(fields);
        else if (problems)
            problems->append(QString::number(reader.recordLine()) + QLatin1Char(' ') + reader.problem());
        if (status == CsvReader::Status::Error)
            break;
    }
    return records;
}

ImportPlan plan(const QByteArray& csv, const StringList& categories = {}, const StringList& items = {},
                const CsvLimits& limits = {})
{
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    return planImport(buffer, categories, items, {}, limits);
}

ImportPlan planFile(const QString& path, const StringList& categories = {}, const StringList& items = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    return planImport(file, categories, items);
}

QString fixture(const char* name)
{
    return qEnvironmentVariable("QUILLET_SOURCE_DIR") + QStringLiteral("/tests/records/csv/") + QLatin1String(name);
}

QString skipText(const ImportSkip& s)
{
    return s.field + QStringLiteral(": ") + s.reason;
}

} // namespace

class TestRecordImport : public QObject
{
    Q_OBJECT

private slots:
    void readsRecords_data();
    void readsRecords();
    void readerCeilings_data();
    void readerCeilings();
    void hugeField();
    void millionColumns();

    void formats_data();
    void formats();
    void keepassxcCli();
    void refusals_data();
    void refusals();
    void recordRules();
    void unstorableValues_data();
    void unstorableValues();
    void cancel();

    void exportThenImport();
    void exportFile();
};

using Rows = QList<QList<QByteArray>>;

void TestRecordImport::readsRecords_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<Rows>("expected");
    QTest::newRow("plain, LF") << QByteArray("a,b\nc,d\n") << Rows{{"a", "b"}, {"c", "d"}};
    QTest::newRow("CR LF, no last line end") << QByteArray("a,b\r\nc,d") << Rows{{"a", "b"}, {"c", "d"}};
    QTest::newRow("lone CR ends a record") << QByteArray("a\rb\r") << Rows{{"a"}, {"b"}};
    QTest::newRow("byte order mark dropped") << QByteArray("\xEF\xBB\xBFname,x\n") << Rows{{"name", "x"}};
    QTest::newRow("EF alone stays") << QByteArray("\xEFx\n") << Rows{{"\xEFx"}};
    QTest::newRow("quoted comma, quote, line breaks kept byte for byte")
        << QByteArray("\"a,b\",\"say \"\"hi\"\"\",\"l1\r\nl2\nl3\rl4\"\n")
        << Rows{{"a,b", "say \"hi\"", "l1\r\nl2\nl3\rl4"}};
    QTest::newRow("empty fields") << QByteArray(",,\n\"\",x,\n") << Rows{{"", "", ""}, {"", "x", ""}};
    QTest::newRow("empty lines passed over") << QByteArray("\n\r\na\n\n\nb\n") << Rows{{"a"}, {"b"}};
    QTest::newRow("quote inside unquoted field is text") << QByteArray("ab\"c,d\n") << Rows{{"ab\"c", "d"}};
    QTest::newRow("text after a closing quote is kept") << QByteArray("\"ab\"c,d\n") << Rows{{"abc", "d"}};
    QTest::newRow("NUL bytes are bytes") << QByteArray("a\0b,c\n", 6) << Rows{{QByteArray("a\0b", 3), "c"}};
}

void TestRecordImport::readsRecords()
{
    QFETCH(QByteArray, csv);
    QFETCH(Rows, expected);
    QStringList problems;
    QCOMPARE(readAll(csv, &problems), expected);
    QVERIFY(problems.isEmpty());
}

void TestRecordImport::readerCeilings_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<Rows>("expected");
    QTest::addColumn<QStringList>("problems");
    // Small ceilings (see readerCeilings) stand for the real ones.
    QTest::newRow("unterminated quote swallows to the end, then is one bad row")
        << QByteArray("a,b\n\"open,x\ny,z\n") << Rows{{"a", "b"}}
        << QStringList{"2 a quoted field is not closed before the end of the file"};
    QTest::newRow("field too long: that row skipped, the next read")
        << QByteArray("a\n0123456789abcdefg,x\nb\n") << Rows{{"a"}, {"b"}}
        << QStringList{"2 a field is longer than 16 bytes"};
    QTest::newRow("too many columns: that row skipped")
        << QByteArray("1,2,3,4,5,6,7,8,9\nb\n") << Rows{{"b"}} << QStringList{"1 the row has more than 8 columns"};
    QTest::newRow("row too long") << QByteArray("0123456789,0123456789,0123456789,0123456789\nb\n") << Rows{{"b"}}
                                  << QStringList{"1 the row is longer than 32 bytes"};
    QTest::newRow("too many rows: the file is refused")
        << QByteArray("1\n2\n3\n4\n5\n6\n") << Rows{{"1"}, {"2"}, {"3"}, {"4"}}
        << QStringList{"5 The file has more than 3 rows, the most that an import reads."};
    QTest::newRow("line numbers count breaks inside quotes") << QByteArray("\"a\nb\",1\n\"x\n") << Rows{{"a\nb", "1"}}
                                                             << QStringList{"3 a quoted field is not closed before "
                                                                            "the end of the file"};
}

void TestRecordImport::readerCeilings()
{
    QFETCH(QByteArray, csv);
    QFETCH(Rows, expected);
    QFETCH(QStringList, problems);
    CsvLimits limits;
    limits.maxFieldBytes = 16;
    limits.maxRecordBytes = 32;
    limits.maxColumns = 8;
    limits.maxRecords = 4;
    QStringList seen;
    QCOMPARE(readAll(csv, &seen, limits), expected);
    QCOMPARE(seen, problems);

    limits.maxFileBytes = 3;
    seen.clear();
    QVERIFY(readAll(csv, &seen, limits).isEmpty());
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen[0].contains(QStringLiteral("larger than")), qPrintable(seen[0]));
}

void TestRecordImport::hugeField()
{
    // A 100 MB field inside a file under the size ceiling: the row is skipped, the rest imports,
    // and the reader never holds more than its field ceiling.
    QByteArray csv = "name,url,username,password\nbig,https://b.example/,u,\"";
    csv.append(QByteArray(100 * 1000 * 1000, 'x'));
    csv.append("\"\nok,https://ok.example/,u,p\n");
    const ImportPlan p = plan(csv);
    QVERIFY(p.refusal.isEmpty());
    QCOMPARE(p.newItems, StringList{item("Imported", "ok", "https://ok.example/", "u", "p")});
    QCOMPARE(p.skippedCount, 1);
    QCOMPARE(p.skipped[0].line, 2);
    QCOMPARE(p.skipped[0].reason, QStringLiteral("a field is longer than 1 MiB"));
}

void TestRecordImport::millionColumns()
{
    QByteArray columns(1000 * 1000, ',');
    // As a header: refused; as a row: that row skipped.
    ImportPlan p = plan(columns + "\n");
    QVERIFY(p.refusal.startsWith(QStringLiteral("Its first row cannot be read: the row has more than 256 columns.")));
    p = plan("name,url,username,password\n" + columns + "\nok,https://ok.example/,u,p\n");
    QCOMPARE(p.newItems.size(), 1);
    QCOMPARE(p.skippedCount, 1);
    QCOMPARE(p.skipped[0].reason, QStringLiteral("the row has more than 256 columns"));
}

void TestRecordImport::formats_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("format");
    QTest::addColumn<StringList>("expected");
    QTest::addColumn<StringList>("newCategories");
    QTest::addColumn<QStringList>("skips");
    QTest::addColumn<int>("equal");

    QTest::newRow("Chrome") << fixture("chrome.csv") << int(CsvFormat::Chrome)
                            << StringList{
                                   item("Imported", "shop.example", "https://shop.example/login", "alice",
                                        "p,w \"q\"", "first line\r\nsecond, \"quoted\" line"),
                                   item("Imported", "nohost.example", "https://nohost.example/a?b=1", "bob", "pw"),
                                   item("Imported", "shop.example (2)", "https://shop.example/login", "alice2", "pw2"),
                                   item("Imported", "café.example", "https://café.example/", "josé", "pässwörd",
                                        "Größe €5"),
                               }
                            << StringList{"Imported"}
                            << QStringList{"Username: holds \"Б\" (U+0411), which Windows-1252 has no character for"}
                            << 0;
    QTest::newRow("Firefox") << fixture("firefox.csv") << int(CsvFormat::Firefox)
                             << StringList{
                                    item("Imported", "aff.example", "https://aff.example", "ann", "one"),
                                    item("Imported", "aff.example (2)", "https://aff.example", "ben", "two"),
                                }
                             << StringList{"Imported"} << QStringList{} << 1;
    QTest::newRow("Bitwarden") << fixture("bitwarden.csv") << int(CsvFormat::Bitwarden)
                               << StringList{
                                      item("Affiliates", "Big Shop", "https://big.example/login", "carol", "s3cr,et",
                                           "Pays on the 15th\r\nnet 30"),
                                      item("Imported", "No Folder", "https://nf.example/", "dave", "pw"),
                                  }
                               << StringList{"Imported"}
                               << QStringList{": a Bitwarden entry of type \"note\", not a login",
                                              ": a Bitwarden entry of type \"card\", not a login"}
                               << 0;
    QTest::newRow("LastPass") << fixture("lastpass.csv") << int(CsvFormat::LastPass)
                              << StringList{
                                     item("Affiliates\\Shops", "LP Shop", "https://lp.example/login", "erin", "pa\"ss",
                                          "note with, comma"),
                                     item("Imported", "lp2.example", "https://lp2.example/", "frank", "pw"),
                                 }
                              << StringList{"Affiliates\\Shops", "Imported"} << QStringList{} << 0;
}

void TestRecordImport::formats()
{
    QFETCH(QString, file);
    QFETCH(int, format);
    QFETCH(StringList, expected);
    QFETCH(StringList, newCategories);
    QFETCH(QStringList, skips);
    QFETCH(int, equal);

    // The records already hold the category "affiliates" (so "Affiliates" is that one) and an
    // item titled "shop.example" elsewhere.
    const StringList categories{"affiliates", "Other"};
    const StringList items{item("Other", "shop.example", "", "", "")};
    const ImportPlan p = planFile(file, categories, items);
    QVERIFY2(p.refusal.isEmpty(), qPrintable(p.refusal));
    QCOMPARE(int(p.format), format);
    StringList want = expected;
    for (QByteArray& line : want) {
        if (itemCategory(line) == "Affiliates")
            line.replace(0, 10, "affiliates");
    }
    QCOMPARE(p.newItems, want);
    QCOMPARE(p.newCategories, newCategories);
    QStringList seen;
    for (const ImportSkip& s : p.skipped)
        seen.append(skipText(s));
    QCOMPARE(seen, skips);
    QCOMPARE(p.skippedCount, skips.size());
    QCOMPARE(p.equalCount, equal);
    qsizetype counted = 0;
    for (const ImportCategory& c : p.categories) {
        QCOMPARE(c.isNew, newCategories.contains(c.name));
        counted += c.items;
    }
    QCOMPARE(counted, p.newItems.size());
}

void TestRecordImport::keepassxcCli()
{
    const QString cli = QStandardPaths::findExecutable(QStringLiteral("keepassxc-cli"));
    if (cli.isEmpty())
        QSKIP("keepassxc-cli is not installed (Debian package keepassxc): KeePassXC's own export is not tried");
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("test.kdbx"));
    auto run = [&](const QStringList& args, const QByteArray& input) {
        QProcess cli;
        cli.setProgram(QStringLiteral("keepassxc-cli"));
        cli.setArguments(args);
        cli.start();
        cli.write(input);
        cli.closeWriteChannel();
        if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
            qFatal("keepassxc-cli %s failed: %s", qPrintable(args.join(' ')), cli.readAllStandardError().constData());
        return cli.readAllStandardOutput();
    };
    run({"db-create", "-p", db}, "pw\npw\n");
    for (const char* group : {"Affiliates", "Affiliates/Sub", "Stores"})
        run({"mkdir", db, QString::fromUtf8(group)}, "pw\n");
    struct Entry
    {
        const char* path;
        const char* user;
        const char* url;
        const char* notes;
        const char* password;
    };
    const Entry entries[] = {
        {"Affiliates/Shop, \"One\"", "ann", "https://one.example/login", "line 1\nline 2, \"quoted\"", "p,w\"1"},
        {"Affiliates/Sub/Café", "josé", "https://cafe.example/", "Größe", "pässwörd"},
        {"Stores/Equal", "eve", "https://eq.example/", "", "pw"},
        {"Stores/Taken", "tim", "https://t.example/", "", "new"},
        {"Stores/Ω Shop", "olga", "https://o.example/", "", "pw"},
        {"Top level", "root", "https://root.example/", "", "pw"},
    };
    for (const Entry& e : entries) {
        QStringList args{"add", "-u", QString::fromUtf8(e.user), "--url", QString::fromUtf8(e.url)};
        if (*e.notes)
            args << QStringLiteral("--notes") << QString::fromUtf8(e.notes);
        args << QStringLiteral("-p") << db << QString::fromUtf8(e.path);
        run(args, "pw\n" + QByteArray(e.password) + '\n' + QByteArray(e.password) + '\n');
    }
    run({"add", "-u", "del", "-p", db, "Stores/Deleted"}, "pw\npw\npw\n");
    run({"rm", db, "Stores/Deleted"}, "pw\n"); // into the recycle bin, which the export includes
    const QByteArray csv = run({"export", "-f", "csv", db}, "pw\n");
    QVERIFY(csv.startsWith("\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\""));

    const StringList categories{"Stores"};
    const StringList items{item("Stores", "Equal", "https://eq.example/", "eve", "pw"),
                           item("Stores", "Taken", "https://t.example/", "tim", "old")};
    const ImportPlan p = plan(csv, categories, items);
    QVERIFY2(p.refusal.isEmpty(), qPrintable(p.refusal));
    QCOMPARE(p.format, CsvFormat::KeePassXC);
    const StringList expected{
        item("Affiliates", "Shop, \"One\"", "https://one.example/login", "ann", "p,w\"1",
             "line 1\r\nline 2, \"quoted\""),
        item("Affiliates/Sub", "Café", "https://cafe.example/", "josé", "pässwörd", "Größe"),
        item("Stores", "Taken (2)", "https://t.example/", "tim", "new"),
        item("Imported", "Top level", "https://root.example/", "root", "pw"),
    };
    StringList got = p.newItems;
    std::sort(got.begin(), got.end());
    StringList want = expected;
    std::sort(want.begin(), want.end());
    QCOMPARE(got, want);
    QCOMPARE(p.equalCount, 1);
    QCOMPARE(p.renamedCount, 1);
    QStringList skips;
    for (const ImportSkip& s : p.skipped)
        skips << skipText(s);
    skips.sort();
    QCOMPARE(skips, (QStringList{": deleted in KeePassXC (in its recycle bin)",
                                 "Title: holds \"Ω\" (U+03A9), which Windows-1252 has no character for"}));
    StringList newCategories = p.newCategories;
    std::sort(newCategories.begin(), newCategories.end());
    QCOMPARE(newCategories, (StringList{"Affiliates", "Affiliates/Sub", "Imported"}));
}

void TestRecordImport::refusals_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("start");
    const QString header = QStringLiteral("The file's first row is not a header that Quillet knows.");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("The file is empty.");
    QTest::newRow("only empty lines") << QByteArray("\r\n\n") << QStringLiteral("The file is empty.");
    QTest::newRow("unknown header") << QByteArray("a,b,c\n1,2,3\n") << header;
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << header;
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFEn\0a\0m\0e\0", 10) << header;
    QTest::newRow("semicolons") << QByteArray("name;url;username;password\n") << header;
    QTest::newRow("header quote never closed") << QByteArray("\"name,url,username,password\n")
                                               << QStringLiteral("Its first row cannot be read: a quoted field is "
                                                                 "not closed before the end of the file.");
}

void TestRecordImport::refusals()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, start);
    const ImportPlan p = plan(csv, {"C"}, {item("C", "T", "", "", "")});
    QVERIFY2(p.refusal.startsWith(start), qPrintable(p.refusal));
    // Every refusal names the formats understood, and plans nothing.
    QVERIFY(p.refusal.endsWith(formatsUnderstood()));
    QVERIFY(p.newItems.isEmpty() && p.newCategories.isEmpty());
}

void TestRecordImport::recordRules()
{
    // This program's own format, so that every field is set.
    const QByteArray header = csvExportHeader();
    auto row = [](const char* category, const char* title, const char* password) {
        return QByteArray("\"") + category + "\",\"" + title + "\",,,,,\"" + password + "\",,,,,\r\n";
    };
    const StringList categories{"Shops", "Tools"};
    const StringList items{
        newItemLine("Shops", "A"), // reads as every field empty but the title
        item("Shops", "B", "", "", "pw"),
        item("Shops", "B (2)", "", "", "pw2"),
        item("Tools", "A", "", "", "x"),
    };
    const QByteArray csv = header + row("Shops", "A", "") // equal to the new item line: skipped
                           + row("Shops", "A", "other")   // title taken: A (2)
                           + row("Shops", "A", "third")   // A (3)
                           + row("Shops", "B", "pw3")     // B and B (2) taken: B (3)
                           + row("  shops ", "C", "")     // the existing category, case and blanks aside
                           + row("Shops", "A", "other")   // equal to a row before: skipped
                           + row("Tools", "B", "")        // titles are per category
                           + row("", "Z", "") + row("New", "Z", "") + row("new", "Z", "p") // one new "New"
                           + row(",,,", ",,,", ",,,");
    const ImportPlan p = plan(csv, categories, items);
    QVERIFY2(p.refusal.isEmpty(), qPrintable(p.refusal));
    QCOMPARE(p.format, CsvFormat::Quillet);
    auto full = [](const char* category, const char* title, const char* password) {
        ItemFields f;
        f[fldCategory] = category;
        f[fldTitle] = title;
        f[fldPassword] = password;
        return buildItemLine(f);
    };
    QCOMPARE(p.newItems, (StringList{full("Shops", "A (2)", "other"), full("Shops", "A (3)", "third"),
                                     full("Shops", "B (3)", "pw3"), full("Shops", "C", ""), full("Tools", "B", ""),
                                     full("Imported", "Z", ""), full("New", "Z", ""), full("New", "Z (2)", "p"),
                                     full(",,,", ",,,", ",,,")}));
    QCOMPARE(p.newCategories, (StringList{"Imported", "New", ",,,"}));
    QCOMPARE(p.equalCount, 2);
    QCOMPARE(p.renamedCount, 4);
    QCOMPARE(p.skippedCount, 0);
    QCOMPARE(p.rows, 11);
    QCOMPARE(p.categories.size(), 5);
    QCOMPARE(p.categories[0].name, "Shops");
    QCOMPARE(p.categories[0].items, 4);
    QVERIFY(!p.categories[0].isNew);
    QCOMPARE(p.categories[3].name, "New");
    QCOMPARE(p.categories[3].items, 2);
    QVERIFY(p.categories[3].isNew);
}

void TestRecordImport::unstorableValues_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("reason"); // empty: stored
    QTest::newRow("letters of the code page") << QByteArray("Größe € œ ‰") << int(fldUsername) << QString();
    QTest::newRow("outside Windows-1252") << QByteArray("日本") << int(fldPassword)
                                          << QStringLiteral("holds \"日\" (U+65E5), which Windows-1252 has no "
                                                            "character for");
    QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x98\x80") << int(fldTitle)
                                     << QStringLiteral("holds \"\U0001F600\" (U+1F600), which Windows-1252 has no "
                                                       "character for");
    QTest::newRow("invalid UTF-8") << QByteArray("caf\xE9") << int(fldTitle)
                                   << QStringLiteral("is not valid UTF-8 text");
    QTest::newRow("overlong UTF-8") << QByteArray("\xC0\xAF") << int(fldTitle)
                                    << QStringLiteral("is not valid UTF-8 text");
    QTest::newRow("surrogate in UTF-8") << QByteArray("\xED\xA0\x80") << int(fldTitle)
                                        << QStringLiteral("is not valid UTF-8 text");
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << int(fldProgram)
                         << QStringLiteral("holds a NUL byte, which ends a record file");
    QTest::newRow("separator") << QByteArray("a¥b") << int(fldCategory)
                               << QStringLiteral("holds \"¥\", the record files' field separator");
    QTest::newRow("separator in description")
        << QByteArray("a¥b") << int(fldDescription) << QStringLiteral("holds \"¥\", the record files' field separator");
    QTest::newRow("line break in a one-line field") << QByteArray("a\nb") << int(fldWebsiteURL)
                                                    << QStringLiteral("holds a line break, which a one-line field "
                                                                      "cannot store");
    QTest::newRow("line breaks in the description") << QByteArray("a\r\nb\nc\rd") << int(fldDescription) << QString();
    QTest::newRow("§§ in the description") << QByteArray("a§§b") << int(fldDescription)
                                           << QStringLiteral("holds \"§§\", which the record files read back as a "
                                                             "line break");
    QTest::newRow("§ alone is fine") << QByteArray("a§b§") << int(fldDescription) << QString();
    QTest::newRow("§§ in a one-line field is fine") << QByteArray("a§§b") << int(fldTitle) << QString();
}

void TestRecordImport::unstorableValues()
{
    QFETCH(QByteArray, value);
    QFETCH(int, field);
    QFETCH(QString, reason);
    QByteArray csv = csvExportHeader();
    QByteArray row;
    for (int i = 0; i < kItemFieldCount; ++i) {
        const QByteArray v = i == field ? value : i == fldCategory ? "C" : i == fldTitle ? "T" : "";
        row.append((i ? ",\"" : "\"") + QByteArray(v).replace("\"", "\"\"") + "\"");
    }
    csv += row + "\r\n";
    const ImportPlan p = plan(csv);
    if (reason.isEmpty()) {
        QCOMPARE(p.newItems.size(), 1);
        QCOMPARE(UUtils::ansiToString(readItemLine(p.newItems[0])[field]), QString::fromUtf8(value));
        return;
    }
    QVERIFY(p.newItems.isEmpty());
    QCOMPARE(p.skippedCount, 1);
    QCOMPARE(p.skipped[0].field, itemFieldNames()[field]);
    QCOMPARE(p.skipped[0].reason, reason);
    QCOMPARE(p.skipped[0].line, 2);
}

void TestRecordImport::cancel()
{
    QByteArray csv = "name,url,username,password\n";
    for (int i = 0; i < 5000; ++i)
        csv += "n" + QByteArray::number(i) + ",https://x.example/,u,p\n";
    QBuffer buffer(&csv);
    buffer.open(QIODevice::ReadOnly);
    qint64 last = -1;
    int calls = 0;
    bool inOrder = true;
    const ImportPlan p = planImport(buffer, {}, {}, [&](qint64 done, qint64 total) {
        inOrder = inOrder && total == csv.size() && done >= last && done <= total;
        last = done;
        return ++calls < 3;
    });
    QVERIFY(inOrder);
    QCOMPARE(calls, 3);
    QVERIFY(p.cancelled);
    QVERIFY(p.newItems.isEmpty() && p.newCategories.isEmpty() && p.categories.isEmpty());
}

void TestRecordImport::exportThenImport()
{
    // Every byte a field can hold: all but NUL, CR, LF and the separator in the one-line fields; the
    // description also holds line breaks and single § (a pair would read back as a line break).
    QByteArray every;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n' && b != 0xA5)
            every.append(char(b));
    }
    QByteArray description = every;
    description.replace("\xA7", "\xA7-");
    description += "\r\nnext line\r\n\r\nlast, \"quoted\"\r\n";
    StringList categories{every, "Second", "Empty"};
    StringList items;
    for (int n = 0; n < 3; ++n) {
        ItemFields f;
        for (int i = 0; i < fldDescription; ++i)
            f[i] = every.mid(n * 7 + i) + QByteArray::number(i);
        f[fldCategory] = every;
        f[fldDescription] = n == 0 ? description : n == 1 ? QByteArray() : QByteArray("x\r\ny");
        items.append(buildItemLine(f));
    }
    items.append(newItemLine("Second", "added, never saved")); // description: the lone CR its bytes hold
    items.append(newItemLine("Second", ""));
    items.append(item("Second", "=1+1", "-x", "@y", "\"", "\t"));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QCOMPARE(exportItems(out, categories, items), items.size());
    const QByteArray csv = out.data();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF\"Category\",\"Title\",\"Affiliate Program\""));
    QVERIFY(QString::fromUtf8(csv.mid(3)).toUtf8() == csv.mid(3)); // valid UTF-8 throughout

    const ImportPlan p = plan(csv);
    QVERIFY2(p.refusal.isEmpty(), qPrintable(p.refusal));
    QCOMPARE(p.format, CsvFormat::Quillet);
    QCOMPARE(p.skippedCount, 0);
    QCOMPARE(p.renamedCount, 0);
    QCOMPARE(p.newItems, items);
    QCOMPARE(p.newCategories, (StringList{every, "Second"}));

    // Into the same records: nothing new.
    const ImportPlan again = plan(csv, categories, items);
    QVERIFY(again.newItems.isEmpty());
    QCOMPARE(again.equalCount, items.size());

    // One category only.
    QBuffer one;
    one.open(QIODevice::WriteOnly);
    QCOMPARE(exportItems(one, categories, items, 1), 3);
    QCOMPARE(plan(one.data()).newItems, items.mid(3));
}

void TestRecordImport::exportFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.csv"));
    // A file there before, readable by everyone: the export replaces it readable by its owner only.
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const StringList categories{"C"};
    const StringList items{item("C", "T", "https://t.example/", "u", "p")};
    QCOMPARE(exportItemsToFile(path, categories, items), 1);
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                          QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFile::permissions(path) & everyone, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(planFile(path).newItems, items);

    // A folder that is not there: the error, and no file.
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/x.csv"));
    QVERIFY_THROWS_EXCEPTION(AppError, exportItemsToFile(missing, categories, items));
    QVERIFY(!QFile::exists(missing));
}

QTEST_GUILESS_MAIN(TestRecordImport)
#include "tst_recordimport.moc"
