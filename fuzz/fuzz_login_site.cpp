// The rule that decides which page may receive an item's username and password, over item
// addresses from record files and page addresses from the web.

#include "FuzzSupport.h"

#include "records/LoginSite.h"

namespace {

QString hostOf(const QUrl& url)
{
    QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    return host;
}

bool isWeb(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
           url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString loginUrl = QString::fromUtf8(Fuzz::takeBytes(input, 200));
    const QString websiteUrl = QString::fromUtf8(Fuzz::takeBytes(input, 200));
    const QString frameText = QString::fromUtf8(Fuzz::takeBytes(input, 200));
    const QUrl page(QString::fromUtf8(Fuzz::takeRest(input)));
    const QUrl frame(frameText);

    const Records::LoginSite site(loginUrl, websiteUrl);
    const QString reason = site.refusal(page);
    FUZZ_CHECK(!reason.contains(u'\n'));
    (void)site.describe();

    // The item's own login page may receive: its host is the site.
    const Records::LoginSite loginOnly(loginUrl, QString());
    if (!loginOnly.isEmpty())
        FUZZ_CHECK(loginOnly.refusal(Records::LoginSite::addressUrl(loginUrl)).isEmpty());

    if (reason.isEmpty()) {
        // Only web pages, only on a host of the two addresses or below one of them.
        FUZZ_CHECK(!site.isEmpty());
        FUZZ_CHECK(isWeb(page));
        const QString host = hostOf(page);
        FUZZ_CHECK(!host.isEmpty());
        bool named = false;
        bool plainAllowed = false;
        for (const QString& text : {loginUrl, websiteUrl}) {
            if (text.trimmed().isEmpty())
                continue;
            const QUrl item = Records::LoginSite::addressUrl(text);
            const QString itemHost = hostOf(item);
            if (!isWeb(item) || itemHost.isEmpty())
                continue;
            if (host == itemHost || host.endsWith(u'.' + itemHost)) {
                named = true;
                if (item.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0)
                    plainAllowed = true;
            }
        }
        FUZZ_CHECK(named);
        // An https item's secrets never go to a plain http page.
        if (page.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0)
            FUZZ_CHECK(plainAllowed);
    }

    // A frame may receive only when it and its top page both may.
    if (site.refusal(frame, page).isEmpty())
        FUZZ_CHECK(reason.isEmpty() && site.refusal(frame).isEmpty());
    return 0;
}
