// The record line reader: a text file into its lines, and the lines back into a file.

#include "FuzzSupport.h"

#include "util/Files.h"
#include "util/StringList.h"

#include <QFile>

namespace {

QString scratchFile()
{
    return Fuzz::scratchDir() + QStringLiteral("/items.dat");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = Fuzz::bytes(data, size);
    const StringList lines = UUtils::parseLines(text);

    qsizetype total = 0;
    for (const QByteArray& line : lines) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'));
        total += line.size();
    }
    // Every byte of a line comes from the text before its first NUL.
    const qsizetype nul = text.indexOf('\0');
    const qsizetype readable = nul < 0 ? text.size() : nul;
    FUZZ_CHECK(total <= readable);
    // Only line ends are dropped: as many lines as ends, plus a last line without one.
    const QByteArray head = text.left(readable);
    const qsizetype ends = head.count('\n') + head.count('\r') - head.count("\r\n");
    const bool openLast = readable > 0 && head.back() != '\r' && head.back() != '\n';
    FUZZ_CHECK(lines.size() == ends + (openLast ? 1 : 0));
    FUZZ_CHECK(total == readable - head.count('\n') - head.count('\r'));

    // Written back, the lines read the same.
    const QByteArray written = UUtils::joinLines(lines);
    FUZZ_CHECK(UUtils::parseLines(written) == lines);
    FUZZ_CHECK(written.size() == total + 2 * lines.size());

    // Through a file: what follows a NUL is kept by a save.
    const QString path = scratchFile();
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(text) == text.size());
    }
    QByteArray unread;
    const StringList loaded = UUtils::loadStringList(path, &unread);
    FUZZ_CHECK(loaded == lines);
    FUZZ_CHECK(unread == text.mid(readable));
    UUtils::saveStringList(path, loaded, unread);
    FUZZ_CHECK(UUtils::readWholeFile(path) == written + unread);
    return 0;
}
