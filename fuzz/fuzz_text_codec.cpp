// The Windows-1252 codec between stored bytes and the texts widgets show.

#include "FuzzSupport.h"

#include "util/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = Fuzz::bytes(data, size);

    // Every byte string survives the way to a widget and back.
    const QString shown = UUtils::ansiToString(bytes);
    FUZZ_CHECK(shown.size() == bytes.size());
    FUZZ_CHECK(UUtils::isAnsiEncodable(shown));
    bool ok = false;
    FUZZ_CHECK(UUtils::stringToAnsi(shown, &ok) == bytes && ok);

    // Any text from a widget: one byte per UTF-16 unit, '?' for a unit without one.
    const QString typed = Fuzz::utf16(bytes);
    const QByteArray stored = UUtils::stringToAnsi(typed, &ok);
    FUZZ_CHECK(stored.size() == typed.size());
    FUZZ_CHECK(ok == UUtils::isAnsiEncodable(typed));
    const QString back = UUtils::ansiToString(stored);
    bool all = true;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const bool kept = back[i] == typed[i];
        FUZZ_CHECK(kept || stored[i] == '?');
        // Only a unit that has a byte of its own is kept.
        FUZZ_CHECK(kept == UUtils::isAnsiEncodable(typed.mid(i, 1)));
        all = all && kept;
    }
    FUZZ_CHECK(all == ok);
    return 0;
}
