#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace Records {

// Which pages may receive an item's username and password: the item's site, named by its login
// URL and its website URL (the affiliate link and the cloaked URL never count: they lead through
// someone else's servers).
//
// A page belongs to the site when it is a web page (http or https) on the host of one of the two
// addresses or on a subdomain of it ("www.shop.com" names "shop.com", "login.shop.com", but not
// "myshop.com" or "shop.com.evil.net"). An address on an IP address or on localhost names that
// host and port only. A page shown over plain http gets nothing when the item's address on that
// host uses https: its secrets would cross the network in the clear.
//
// Addresses are read as the browser pane reads them: one without a scheme is taken as a browser's
// address box takes it ("shop.com/login" is "http://shop.com/login").
class LoginSite
{
public:
    LoginSite(const QString& loginUrl, const QString& websiteUrl);

    // Neither address names a web site.
    bool isEmpty() const { return m_origins.isEmpty(); }

    // Empty when a document at page may receive the secrets; otherwise one line saying why not,
    // naming the page's host.
    QString refusal(const QUrl& page) const;
    // The same for a frame: both the frame's address and the top page's must belong to the site.
    QString refusal(const QUrl& frame, const QUrl& top) const;

    // The site's hosts for a message: "shop.com", "shop.com or login.shop.net", "127.0.0.1:8080".
    QString describe() const;

    // The address a text opens in the browser pane (see TWebBrowser::resolve).
    static QUrl addressUrl(const QString& text);

private:
    struct Origin
    {
        QString scheme; // "http" or "https"
        QString host;   // lower case, ASCII (punycode), no trailing dot
        int port;       // the scheme's default when the address has none
        bool exact;     // an IP address or localhost: host and port must be the same
    };
    static bool originOf(const QUrl& url, Origin* origin);
    static QString hostText(const Origin& origin);

    QList<Origin> m_origins;
};

} // namespace Records
