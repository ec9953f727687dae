// The skin file: a style sheet, plain or compressed the way qCompress writes it.

#include "FuzzSupport.h"

#include "branding/BrandingLoader.h"
#include "branding/Limits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file = Fuzz::bytes(data, size);
    const std::optional<QString> sheet = DecodeSkin(file);
    if (!sheet)
        return 0;
    FUZZ_CHECK(!sheet->trimmed().isEmpty());
    // Never more than the largest sheet accepted, whatever the file declares.
    FUZZ_CHECK(sheet->size() <= Limits::kSkinMaxBytes);
    for (const QChar c : *sheet)
        FUZZ_CHECK(c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f');
    // A plain sheet is taken as it is.
    const bool compressed = size > 6 && file.at(0) == '\0' && quint8(file.at(4)) == 0x78;
    if (!compressed)
        FUZZ_CHECK(sheet->size() <= file.size());
    return 0;
}
