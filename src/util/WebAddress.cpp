#include "util/WebAddress.h"

#include "util/TextCodec.h"

namespace UUtils {

bool readsAsOption(const QByteArray& address)
{
    // Bytes 0x20 and below, and the no-break space 0xA0, which QString counts as a blank too.
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0xA0)
            continue;
        return c == '-';
    }
    return false;
}

QUrl sponsorLinkUrl(const QByteArray& address)
{
    if (readsAsOption(address))
        return {};
    // The desktop's reading of an address typed without a scheme.
    const QUrl url = QUrl::fromUserInput(ansiToString(address));
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

} // namespace UUtils
