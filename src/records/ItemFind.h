#pragma once

#include <QByteArray>
#include <QString>

// What the find field compares. A user finding "ebay" means "eBay", and "é" means "É" as well:
// texts are compared after Unicode case folding, accented letters included. (The record
// commands' own name rules fold ASCII letters only; finding is not one of them.)
namespace Records {

// text, case-folded.
QString foldForFind(const QString& text);

// The text the find field searches in an item line: its eleven fields from the title to the
// description (line breaks decoded), each on its own line so that a match never runs from one
// field into the next, case-folded.
QString itemFindText(const QByteArray& line);

} // namespace Records
