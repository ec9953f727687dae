// The settings lint over any document: it reads the document as the program does and says what
// would go wrong, one warning per line of its report.

#include "FuzzSupport.h"

#include "branding/SettingsLint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray plain = Fuzz::bytes(data, size);
    const StringList warnings = LintSettingsDocument(plain);
    for (const QByteArray& warning : warnings)
        FUZZ_CHECK(!warning.isEmpty());
    // The same document, the same report.
    FUZZ_CHECK(LintSettingsDocument(plain) == warnings);
    return 0;
}
