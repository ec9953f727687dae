#include "records/LoginSite.h"

#include <QStringList>

namespace Records {

namespace {

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Hosts that name one machine rather than a domain with subdomains: IPv6 and IPv4 addresses (a
// host whose last label is a number is read as an IPv4 address by browsers, "1.2.3.0x10" too),
// and localhost.
bool isExactHost(const QString& host)
{
    if (host.contains(u':') || host == QLatin1String("localhost"))
        return true;
    const QString last = host.section(u'.', -1);
    if (last.isEmpty())
        return false;
    bool number = false;
    (void)last.toULongLong(&number, 0); // decimal, 0x hex and 0 octal, as browsers read IPv4 parts
    if (!number && last.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        number = last.size() == 2; // "0x" alone is zero
    return number;
}

} // namespace

QUrl LoginSite::addressUrl(const QString& text)
{
    const QUrl url(text);
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
                                        QStringLiteral("ftp"),  QStringLiteral("about"), QStringLiteral("data")};
    if (!url.isRelative() && schemes.contains(url.scheme(), Qt::CaseInsensitive))
        return url;
    const QUrl guessed = QUrl::fromUserInput(text);
    return guessed.isValid() ? guessed : url;
}

bool LoginSite::originOf(const QUrl& url, Origin* origin)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (!isWebScheme(scheme))
        return false;
    QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host.isEmpty() || host.startsWith(u'.') || host.contains(QLatin1String("..")))
        return false;
    origin->scheme = scheme;
    origin->host = host;
    origin->port = url.port(scheme == QLatin1String("https") ? 443 : 80);
    origin->exact = isExactHost(host);
    return true;
}

QString LoginSite::hostText(const Origin& origin)
{
    const QString host = origin.host.contains(u':') ? u'[' + origin.host + u']' : origin.host;
    const int standard = origin.scheme == QLatin1String("https") ? 443 : 80;
    if (origin.exact && origin.port != standard)
        return host + u':' + QString::number(origin.port);
    return host;
}

LoginSite::LoginSite(const QString& loginUrl, const QString& websiteUrl)
{
    for (const QString& text : {loginUrl, websiteUrl}) {
        if (text.trimmed().isEmpty())
            continue;
        Origin origin;
        if (originOf(addressUrl(text), &origin))
            m_origins.append(origin);
    }
}

QString LoginSite::describe() const
{
    QStringList hosts;
    for (const Origin& origin : m_origins) {
        const QString host = hostText(origin);
        if (!hosts.contains(host))
            hosts.append(host);
    }
    return hosts.join(QLatin1String(" or "));
}

QString LoginSite::refusal(const QUrl& page) const
{
    Origin shown;
    if (!originOf(page, &shown)) {
        const QString what = page.scheme().isEmpty() ? QStringLiteral("this page") : page.scheme() + u':';
        return QStringLiteral("%1 is not a web page of this item's site").arg(what);
    }
    if (m_origins.isEmpty())
        return QStringLiteral("this item has no login URL or website URL");
    bool overHttp = false;
    for (const Origin& own : m_origins) {
        const bool sameHost = own.exact
                                  ? shown.host == own.host && shown.port == own.port
                                  : shown.host == own.host || (!shown.exact && shown.host.endsWith(u'.' + own.host));
        if (!sameHost)
            continue;
        if (own.scheme == QLatin1String("https") && shown.scheme == QLatin1String("http")) {
            overHttp = true;
            continue;
        }
        return QString();
    }
    if (overHttp)
        return QStringLiteral("%1 is shown over plain http, and this item's site uses https").arg(hostText(shown));
    return QStringLiteral("%1 is not this item's site (%2)").arg(hostText(shown), describe());
}

QString LoginSite::refusal(const QUrl& frame, const QUrl& top) const
{
    const QString topRefusal = refusal(top);
    if (!topRefusal.isEmpty())
        return topRefusal;
    const QString frameRefusal = refusal(frame);
    if (!frameRefusal.isEmpty())
        return QStringLiteral("a frame of another site: ") + frameRefusal;
    return QString();
}

} // namespace Records
