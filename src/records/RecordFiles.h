#pragma once

#include "util/StringList.h"

#include <QHash>
#include <QList>

#include <array>

// The user's records: categories.dat (one category name per line) and items.dat (one item per
// line). Lines stay raw byte strings in the window's lists; these helpers split a line into its
// fields when a field is needed and build whole lines when one changes.
//
// An item line is a row of fields each ended by the separator 0xA5:
//   0 category name, 1 title, 2 affiliate program, 3 website URL, 4 login URL, 5 username,
//   6 password (in the clear), 7 affiliate link, 8 cloaked URL, 9 minimum payout,
//   10 payment day, 11 description (line breaks escaped by EncodeLineBreaks).
namespace Records {

inline const QString kCategoriesFile = QStringLiteral("categories.dat");
inline const QString kItemsFile = QStringLiteral("items.dat");

enum ItemField
{
    fldCategory = 0,
    fldTitle,
    fldProgram,
    fldWebsiteURL,
    fldLoginURL,
    fldUsername,
    fldPassword,
    fldAffiliateURL,
    fldCloakedURL,
    fldPayout,
    fldPaymentDay,
    fldDescription,
    kItemFieldCount
};

// The twelve fields of an item; the description holds real line breaks (CR LF as stored).
using ItemFields = std::array<QByteArray, kItemFieldCount>;

// Reads an item line. Fields 0 to 10 are the fields of SplitFields(0xA5, line) at those
// positions; a position the line lacks reads as empty.
//
// The description is read by this rule: take every byte after the separator that ends field 10
// up to the end of the line; if that ends with a separator (the one that closes the
// description), drop that one byte; pass the rest through DecodeLineBreaks. A result that is a
// single CR reads as empty. So:
//  - a description without line breaks reads as field 11 alone;
//  - a description with line breaks (each CR stored as two separators) reads whole, although
//    splitting cuts it into field 11 and following fields;
//  - a new item line (category, separator, title, thirteen separators) reads with an empty
//    description: its bytes are those of a full line whose description is a single CR, which
//    therefore also reads as empty;
//  - a line with fewer than eleven separators has an empty description.
ItemFields readItemLine(const QByteArray& line);

// Fields 0 and 1 only (what tree placement and look-ups need); empty when missing.
QByteArray itemCategory(const QByteArray& line);
QByteArray itemTitle(const QByteArray& line);

// The full item line: the twelve fields in order, each followed by 0xA5; the description goes
// through EncodeLineBreaks (give it with CR LF line breaks, see descriptionFromEditor).
QByteArray buildItemLine(const ItemFields& fields);

// The line of a newly added item: category, 0xA5, title, then thirteen 0xA5.
QByteArray newItemLine(const QByteArray& category, const QByteArray& title);

// Qt's text editors give and take LF line breaks; stored descriptions use CR LF, as files
// written by other copies of the program do.
// LF (and a lone CR) become CR LF; CR LF stays.
QByteArray descriptionFromEditor(const QByteArray& editorText);
// CR LF and lone CR become LF.
QByteArray descriptionToEditor(const QByteArray& description);

// Index of the first item line whose fields 0 and 1 equal category and title byte for byte,
// or -1. Only lines of two fields or more count, as only they are shown in the tree.
qsizetype findItemLine(const StringList& items, const QByteArray& category, const QByteArray& title);

// Where the tree shows each item line: the first category (top to bottom) whose name equals
// the line's field 0 byte for byte. Lines with fewer than two fields, or whose category does
// not exist, are shown nowhere (and stay in the list untouched).
struct ItemPlacement
{
    qsizetype line;     // index in the item list
    qsizetype category; // index in the category list (= root node index)
    QByteArray title;   // field 1, the node's text
};

// One pass over the items with a hash from category name to its first index, so the time grows
// with the number of lines, not with lines times categories.
QList<ItemPlacement> placeItems(const StringList& categories, const StringList& items);

// Name -> index of its first occurrence.
QHash<QByteArray, qsizetype> firstIndexByName(const StringList& names);

} // namespace Records
