// Addresses from the settings file before they are handed to another program: the option test of
// the browser's argument and the web address a sponsor link opens.

#include "FuzzSupport.h"

#include "util/TextCodec.h"
#include "util/WebAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray address = Fuzz::bytes(data, size);
    const bool option = UUtils::readsAsOption(address);
    // What a program would read as an option, however it trims what it is given.
    const QString shown = UUtils::ansiToString(address).trimmed();
    FUZZ_CHECK(!shown.startsWith(u'-') || option);

    const QUrl url = UUtils::sponsorLinkUrl(address);
    if (!url.isValid())
        return 0;
    FUZZ_CHECK(!option);
    FUZZ_CHECK(url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    FUZZ_CHECK(!url.host().isEmpty());
    const QString opened = url.toString();
    FUZZ_CHECK(opened.startsWith(QLatin1String("http:")) || opened.startsWith(QLatin1String("https:")));
    return 0;
}
