// The skin file: a style sheet, plain or compressed the way qCompress writes it, and the bounded
// inflater it is decompressed with.

#include "FuzzSupport.h"

#include "branding/BrandingLoader.h"
#include "branding/Limits.h"

namespace {

void checkSheet(const QByteArray& file)
{
    const std::optional<QString> sheet = DecodeSkin(file);
    if (!sheet)
        return;
    FUZZ_CHECK(!sheet->trimmed().isEmpty());
    // Never more than the ceiling, whatever the file declares.
    FUZZ_CHECK(sheet->size() <= Limits::kSkinMaxBytes);
    for (const QChar c : *sheet)
        FUZZ_CHECK(c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f');
    // A plain sheet is taken as it is.
    const bool compressed = file.size() > 6 && file.at(0) == '\0' && quint8(file.at(4)) == 0x78;
    if (!compressed)
        FUZZ_CHECK(sheet->size() <= file.size());
}

// A stream that inflates to n bytes is taken under any limit of n or more and refused under n - 1.
void checkInflate(const QByteArray& stream, qsizetype limit)
{
    const std::optional<QByteArray> out = InflateUpTo(stream, limit);
    if (!out)
        return;
    FUZZ_CHECK(out->size() <= limit);
    FUZZ_CHECK(InflateUpTo(stream, out->size()) == out);
    FUZZ_CHECK(InflateUpTo(stream, out->size() + 4096) == out);
    if (!out->isEmpty())
        FUZZ_CHECK(!InflateUpTo(stream, out->size() - 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file = Fuzz::bytes(data, size);
    checkSheet(file);
    if (file.size() > 4) {
        // The limit from the declared length, as a hostile file would wish it believed.
        const qsizetype declared = qsizetype(quint8(file[1]) << 16 | quint8(file[2]) << 8 | quint8(file[3]));
        checkInflate(file.mid(4), declared);
        checkInflate(file.mid(4), Limits::kSkinMaxBytes);
    }
    return 0;
}
