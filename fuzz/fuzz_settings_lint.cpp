// The settings lint over any document: it reads the document as the program does and says what
// would go wrong, one warning per line of its report.

#include "FuzzSupport.h"

#include "branding/BrandingLoader.h"
#include "branding/SettingsLint.h"

namespace {

// The warning that the News button stays hidden (one of three, by the BranderType check).
bool saysNewsHidden(const QByteArray& warning)
{
    return warning.startsWith("BranderType is empty") || warning.startsWith("the News button stays hidden: level ") ||
           (warning.startsWith("BranderType \"") && warning.endsWith("the News button stays hidden"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray plain = Fuzz::bytes(data, size);
    const StringList warnings = LintSettingsDocument(plain);
    for (const QByteArray& warning : warnings)
        FUZZ_CHECK(!warning.isEmpty());
    // The same document, the same report.
    FUZZ_CHECK(LintSettingsDocument(plain) == warnings);

    // What it says about the News button is what the program does with the same document.
    const BrandingDocument read = ReadBrandingDocument(UUtils::joinLines(UUtils::parseLines(plain)));
    const qsizetype hidden = std::count_if(warnings.begin(), warnings.end(), saysNewsHidden);
    FUZZ_CHECK(hidden == (NewsButtonVisible(read.values) ? 0 : 1));
    return 0;
}
