#pragma once

#include "util/StringList.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

// Exporting items to a CSV file that spreadsheets open and that the import (RecordImport.h) reads
// back unchanged: UTF-8 with a byte order mark (so that Excel takes it for UTF-8), a header row
// naming the twelve item fields in their order (category first), one row per item, every field in
// double quotes (doubled inside), rows ended by CR LF. Values are exactly as stored, converted from
// Windows-1252; the description has its line breaks back (as stored, CR LF), and the description
// of an item never saved from the editor is the single CR its line stands for, so that importing
// the file gives the very same line.
namespace Records {

// The header row, CR LF included (without the byte order mark).
QByteArray csvExportHeader();

// One item line as a CSV row, CR LF included.
QByteArray csvExportRow(const QByteArray& itemLine);

// The items the tree shows (every category in list order, its items in item-list order), or only
// those of the category at onlyCategory (an index into categories), written to device after the
// byte order mark and the header. Returns the number of items written, or -1 when a write fell
// short (a full disk).
qsizetype exportItems(QIODevice& device, const StringList& categories, const StringList& items,
                      std::optional<qsizetype> onlyCategory = std::nullopt);

// Writes the export to path through UUtils::FileWriter and leaves it readable and writable by its
// owner only, whatever the file it replaces allowed: it holds every password in the clear.
// Throws AppError when it cannot be written. Returns the number of items written.
qsizetype exportItemsToFile(const QString& path, const StringList& categories, const StringList& items,
                            std::optional<qsizetype> onlyCategory = std::nullopt);

} // namespace Records
