#pragma once

#include "records/CsvReader.h"
#include "records/RecordFiles.h"
#include "util/StringList.h"

#include <QString>

#include <functional>

class QIODevice;

// Importing items from the CSV exports of web browsers and password keepers, and from this
// program's own export (RecordExport.h). The file's header row tells the format; its rows become
// full item lines. Nothing is written here: planImport works out what an import would add, the
// window shows that and, when the user agrees, appends the plan's lines and saves.
namespace Records {

enum class CsvFormat
{
    Unknown,
    Quillet,   // this program's export: the twelve item fields by name, category first
    Chrome,    // Chrome, Edge, Brave, Opera, Vivaldi: name,url,username,password[,note]
    Firefox,   // url,username,password,httpRealm,formActionOrigin,guid,...
    Bitwarden, // folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,...
    KeePassXC, // Group,Title,Username,Password,URL,Notes,...
    LastPass,  // url,username,password,totp,extra,name,grouping,fav
};

QString formatName(CsvFormat format);
// The sentence that a refused file's message ends with, naming every format understood.
QString formatsUnderstood();

// The header names of the twelve item fields, in their order; also the captions shown in the
// import's list of skipped rows.
const std::array<QString, kItemFieldCount>& itemFieldNames();

// Which column of a row feeds what; -1 where the format has no such column.
struct CsvColumns
{
    CsvFormat format = CsvFormat::Unknown;
    std::array<int, kItemFieldCount> field; // Quillet: each item field; others: see RecordImport.cpp
    int type = -1;                          // Bitwarden: the entry's type ("login" rows only)
};

// Recognises a header row (names compared without regard to ASCII case and surrounding blanks,
// in any order). format is Unknown when no format matches.
CsvColumns recognizeHeader(const QList<QByteArray>& header);

// UTF-8 to Windows-1252. Returns the bytes and sets *problem to nothing, or sets it to the
// reason (the text is not UTF-8, or holds a character that Windows-1252 has no byte for).
QByteArray utf8ToAnsi(QByteArrayView utf8, QString* problem);

// The category that an import puts items without a folder or group into.
inline const QByteArray kImportedCategory = QByteArrayLiteral("Imported");

struct ImportSkip
{
    qint64 line = 0; // the line of the file where the row begins
    QString title;   // the row's title as far as it could be read, for the list
    QString field;   // the item field that could not be stored (empty: the whole row)
    QString reason;
};

struct ImportCategory
{
    QByteArray name;
    qsizetype items = 0;
    bool isNew = false;
};

struct ImportPlan
{
    CsvFormat format = CsvFormat::Unknown;
    QString refusal; // not empty: the file is refused as a whole and nothing is imported
    bool cancelled = false;
    qint64 rows = 0;                  // data rows read (the header not counted)
    StringList newCategories;         // to append to the category list, in this order
    StringList newItems;              // full item lines to append to the item list
    QList<ImportCategory> categories; // where the new items go, in order of first use
    qsizetype skippedCount = 0;       // rows skipped for a reason (listed in skipped, up to kMaxListedSkips)
    QList<ImportSkip> skipped;
    qsizetype equalCount = 0;   // rows equal in every field to an item already there (or earlier in the file)
    qsizetype renamedCount = 0; // items whose title was taken in their category and got " (2)", ...

    static constexpr qsizetype kMaxListedSkips = 1000;
};

// Called every few hundred rows with the bytes read and the file's size; returning false cancels.
using ImportProgress = std::function<bool(qint64 done, qint64 total)>;

// Rows that are not logins are skipped and listed: Bitwarden's cards, notes and identities, and
// the entries in KeePassXC's recycle bin (by its English name, which a database keeps from its
// creation).
//
// Reads the whole file and works out the import into the records given (the category list and
// the item list as the window holds them). Rules that keep the records whole:
//  - a text the record files cannot hold is never stored changed: its row is skipped and listed
//    with the field and the reason (not UTF-8, a character outside Windows-1252, a NUL byte, the
//    field separator "¥", a line break in a one-line field, a description the stored form would
//    read back otherwise, such as one holding "§§");
//  - a row equal in every field to an item already there, or to one earlier in the file, is skipped
//    and counted;
//  - a title taken in its category gets the first free " (2)", " (3)", ...;
//  - a category equal to an existing one (ASCII case and surrounding blanks aside) is that one.
// Descriptions keep their line breaks as CR LF (the form the editor stores), except in this
// program's own export, whose values are taken exactly.
ImportPlan planImport(QIODevice& file, const StringList& categories, const StringList& items,
                      const ImportProgress& progress = {}, const CsvLimits& limits = {});

} // namespace Records
