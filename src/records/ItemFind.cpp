#include "records/ItemFind.h"

#include "records/RecordFiles.h"
#include "util/TextCodec.h"

namespace Records {

QString foldForFind(const QString& text)
{
    return text.toCaseFolded();
}

QString itemFindText(const QByteArray& line)
{
    const ItemFields fields = readItemLine(line);
    QByteArray joined;
    joined.reserve(line.size() + kItemFieldCount);
    for (int i = fldTitle; i < kItemFieldCount; ++i) {
        joined += fields[i];
        joined += '\n';
    }
    return foldForFind(UUtils::ansiToString(joined));
}

} // namespace Records
