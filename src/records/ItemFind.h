#pragma once

#include <QByteArray>
#include <QString>

// What the find field compares. A user finding "ebay" means "eBay", and "é" means "É" as well:
// texts are compared after case folding of every letter that Windows-1252 has in two cases
// (A-Z, À-Þ, Š, Œ, Ž, Ÿ). The record commands' own name rules fold ASCII letters only; finding
// is not one of them. Everything works on the stored bytes, so a keystroke costs one pass of a
// byte search over the folded records.
namespace Records {

// bytes (Windows-1252), case-folded.
QByteArray foldForFind(const QByteArray& bytes);

// The typed text as a folded needle. False when it holds a character that no record can hold
// (it then matches nothing).
bool findNeedle(const QString& typed, QByteArray* needle);

// Whether needle occurs in text, byte for byte (an empty needle occurs everywhere).
bool containsBytes(QByteArrayView text, QByteArrayView needle);

// The bytes the find field searches in an item line: its fields from the title to the
// description, folded, each separator turned into a NUL byte so that no needle runs from one
// field into the next.
QByteArray itemFindText(const QByteArray& line);

} // namespace Records
