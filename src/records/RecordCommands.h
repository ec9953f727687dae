#pragma once

#include "util/StringList.h"

#include <QString>

// The name rules and list edits of the category and item commands and of the item editor,
// without any widget. Each comparison follows its own rule:
//   folded   = ASCII letters a..z upper-cased, every other byte compared unchanged
//   trimmed  = leading and trailing bytes of value 0x20 or below dropped
//   exact    = byte for byte
// Whatever is compared, what gets stored is the text as typed.
namespace Records {

// Add Category (every entry of the category list) and Edit Category (every root node other than
// the renamed one, pass its index as skip): the index of the first name equal to entry, folded
// and trimmed on both sides, or -1.
qsizetype findCategoryFoldedTrimmed(const StringList& names, const QByteArray& entry, qsizetype skip = -1);

// Add Item: whether an item line has field 0 equal to category and field 1 equal to title, both
// folded, nothing trimmed.
bool itemExistsFolded(const StringList& items, const QByteArray& category, const QByteArray& title);

// Edit Category and Delete Category: the category entry that the root node at nodeIndex, named
// name, stands for. The tree keeps one root node per entry in list order, so that is the entry at
// the node's index. Only should the two ever be out of step, the first entry equal to name folded.
// -1 when there is none.
//
// The entry is chosen by the node rather than by the first (or every) entry equal folded: a
// categories.dat that holds one name twice in different letter case would otherwise have the
// other category's entry renamed or removed, leaving its node and items without an entry.
qsizetype categoryEntryOfNode(const StringList& categories, qsizetype nodeIndex, const QByteArray& name);

// Edit Category: in every item line that begins with oldName followed by 0xA5 (exact), replaces
// the text before the first 0xA5 by newName; the rest of the line stays. Returns the count.
qsizetype renameCategoryItems(StringList& items, const QByteArray& oldName, const QByteArray& newName);

// Delete Category: removes every item line that begins with name followed by 0xA5 (exact).
// Returns the count.
qsizetype removeCategoryItems(StringList& items, const QByteArray& name);

// Edit Category and Delete Category when another root node has the very same name (a
// hand-edited categories.dat can list a name twice): the lines named category are then shared
// by both nodes, and the node's own lines are only those of its item nodes. For each of titles,
// the first line not yet taken that begins with category followed by 0xA5 and has that title
// (both exact). Returns the indices in list order.
QList<qsizetype> ownItemLines(const StringList& items, const QByteArray& category, const StringList& titles);

// Save Item's sibling-title check: whether any of titles other than the one at selfIndex equals
// title byte for byte.
bool hasSiblingTitle(const StringList& titles, qsizetype selfIndex, const QByteArray& title);

// What a stored text may hold. Item lines separate their fields with 0xA5 and the record files
// separate lines with CR and LF and end at NUL, so:
enum class TextKind
{
    SingleLine, // a field of an item line other than the description, a category name
    MultiLine,  // the description: its CR and LF are escaped when stored
};

// Converts text to its Windows-1252 bytes for storing. Returns an empty string and sets *bytes
// when the text can be stored as it is; otherwise returns the message for the user, which names
// fieldName, and leaves *bytes alone. Refused: characters that Windows-1252 cannot hold (they
// would be lost), the separator 0xA5 "¥" (it would shift the fields or cut a category from its
// items), NUL (it ends the file when read), and CR or LF in a single-line text (they would split
// the record's line).
QString checkStorableText(const QString& text, const QString& fieldName, TextKind kind, QByteArray* bytes);

} // namespace Records
