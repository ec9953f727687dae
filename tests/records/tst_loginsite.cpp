#include "records/LoginSite.h"

#include <QtTest>

// Which pages may receive an item's secrets: a table of item addresses against page addresses.
class TestLoginSite : public QObject
{
    Q_OBJECT
private slots:
    void refusal_data()
    {
        QTest::addColumn<QString>("loginUrl");
        QTest::addColumn<QString>("websiteUrl");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("refused"); // empty: the page may receive; else a text the reason holds

        const QString notSite = QStringLiteral("is not this item's site");
        const QString plain = QStringLiteral("plain http");
        // The hosts of the two addresses and their subdomains.
        QTest::newRow("login host") << "https://shop.com/login"
                                    << ""
                                    << "https://shop.com/account/login?x=1"
                                    << "";
        QTest::newRow("website host") << ""
                                      << "https://www.shop.com"
                                      << "https://www.shop.com/"
                                      << "";
        QTest::newRow("subdomain of login host") << "https://shop.com/login"
                                                 << ""
                                                 << "https://auth.shop.com/"
                                                 << "";
        QTest::newRow("deep subdomain") << "https://shop.com"
                                        << ""
                                        << "https://a.b.shop.com/"
                                        << "";
        QTest::newRow("either address counts") << "https://login.net/x"
                                               << "https://shop.com"
                                               << "https://shop.com/"
                                               << "";
        QTest::newRow("host letter case") << "https://Shop.COM/login"
                                          << ""
                                          << "https://SHOP.com/"
                                          << "";
        QTest::newRow("trailing dot") << "https://shop.com./login"
                                      << ""
                                      << "https://shop.com/"
                                      << "";
        QTest::newRow("any port on a domain") << "https://shop.com/login"
                                              << ""
                                              << "https://shop.com:8443/"
                                              << "";
        QTest::newRow("item over http, page https") << "http://shop.com/login"
                                                    << ""
                                                    << "https://shop.com/"
                                                    << "";
        QTest::newRow("address without scheme") << "shop.com/login"
                                                << ""
                                                << "http://shop.com/login"
                                                << "";
        QTest::newRow("www. without scheme") << "www.shop.com"
                                             << ""
                                             << "http://www.shop.com/"
                                             << "";
        QTest::newRow("non-ASCII host") << QString::fromUtf8("https://bücher.de/login") << ""
                                        << "https://xn--bcher-kva.de/"
                                        << "";
        // Other sites.
        QTest::newRow("parent of the host") << "https://login.shop.com"
                                            << ""
                                            << "https://shop.com/" << notSite;
        QTest::newRow("sibling subdomain") << "https://login.shop.com"
                                           << ""
                                           << "https://www.shop.com/" << notSite;
        QTest::newRow("suffix without dot") << "https://shop.com"
                                            << ""
                                            << "https://myshop.com/" << notSite;
        QTest::newRow("host as a prefix") << "https://shop.com"
                                          << ""
                                          << "https://shop.com.evil.net/" << notSite;
        QTest::newRow("host in the user part") << "https://shop.com"
                                               << ""
                                               << "https://shop.com@evil.net/" << notSite;
        QTest::newRow("host in the path") << "https://shop.com"
                                          << ""
                                          << "https://evil.net/shop.com" << notSite;
        QTest::newRow("other site") << "https://shop.com"
                                    << ""
                                    << "https://evil.net/login" << notSite;
        // IP addresses and localhost: the same host and port only.
        QTest::newRow("IP, same port") << "http://127.0.0.1:8080/login"
                                       << ""
                                       << "http://127.0.0.1:8080/next"
                                       << "";
        QTest::newRow("IP, other port") << "http://127.0.0.1:8080/login"
                                        << ""
                                        << "http://127.0.0.1:8081/" << notSite;
        QTest::newRow("IP, default port") << "http://127.0.0.1/login"
                                          << ""
                                          << "http://127.0.0.1:80/"
                                          << "";
        QTest::newRow("IP, other IP") << "http://127.0.0.1:8080/login"
                                      << ""
                                      << "http://127.0.0.2:8080/" << notSite;
        QTest::newRow("IP is no parent domain") << "http://0.0.1/"
                                                << ""
                                                << "http://10.0.0.1/" << notSite;
        QTest::newRow("localhost") << "http://localhost:3000/"
                                   << ""
                                   << "http://localhost:3000/x"
                                   << "";
        QTest::newRow("localhost, other port") << "http://localhost:3000/"
                                               << ""
                                               << "http://localhost:3001/" << notSite;
        QTest::newRow("subdomain of localhost") << "http://localhost:3000/"
                                                << ""
                                                << "http://a.localhost:3000/" << notSite;
        QTest::newRow("IPv6") << "http://[::1]:8080/"
                              << ""
                              << "http://[::1]:8080/login"
                              << "";
        QTest::newRow("IPv6, other port") << "http://[::1]:8080/"
                                          << ""
                                          << "http://[::1]:9090/" << notSite;
        // An https item is not filled over plain http.
        QTest::newRow("https item over http") << "https://shop.com/login"
                                              << ""
                                              << "http://shop.com/login" << plain;
        QTest::newRow("https item over http, subdomain") << "https://shop.com"
                                                         << ""
                                                         << "http://a.shop.com/" << plain;
        QTest::newRow("http website, https login, page http") << "https://shop.com/login"
                                                              << "http://shop.com"
                                                              << "http://shop.com/login"
                                                              << "";
        // Pages that are no web pages, and items without a site.
        QTest::newRow("about:blank") << "https://shop.com"
                                     << ""
                                     << "about:blank"
                                     << "not a web page";
        QTest::newRow("data:") << "https://shop.com"
                               << ""
                               << "data:text/html,x"
                               << "not a web page";
        QTest::newRow("file:") << "file:///tmp/login.html"
                               << ""
                               << "file:///tmp/login.html"
                               << "not a web page";
        QTest::newRow("no addresses") << ""
                                      << ""
                                      << "https://shop.com/"
                                      << "no login URL";
        QTest::newRow("blank addresses") << "  "
                                         << " "
                                         << "https://shop.com/"
                                         << "no login URL";
    }

    void refusal()
    {
        QFETCH(QString, loginUrl);
        QFETCH(QString, websiteUrl);
        QFETCH(QString, page);
        QFETCH(QString, refused);
        const Records::LoginSite site(loginUrl, websiteUrl);
        const QString reason = site.refusal(QUrl(page));
        if (refused.isEmpty())
            QVERIFY2(reason.isEmpty(), qPrintable(reason));
        else
            QVERIFY2(reason.contains(refused), qPrintable(reason));
        QVERIFY(!reason.contains(u'\n'));
    }

    // A frame is filled only when both it and the top page belong to the site.
    void frames_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("top");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("both on the site") << "https://auth.shop.com/f"
                                          << "https://www.shop.com/" << true;
        QTest::newRow("frame of another site") << "https://evil.net/f"
                                               << "https://www.shop.com/" << false;
        QTest::newRow("site's frame in another page") << "https://shop.com/f"
                                                      << "https://evil.net/" << false;
        QTest::newRow("blank frame") << "about:blank"
                                     << "https://shop.com/" << false;
    }

    void frames()
    {
        QFETCH(QString, frame);
        QFETCH(QString, top);
        QFETCH(bool, allowed);
        const Records::LoginSite site(QStringLiteral("https://shop.com/login"), QString());
        QCOMPARE(site.refusal(QUrl(frame), QUrl(top)).isEmpty(), allowed);
    }

    // The refusal names the page's host and the item's, so that the user sees what went where.
    void reasonNamesHosts()
    {
        const Records::LoginSite site(QStringLiteral("http://127.0.0.1:4000/login"), QStringLiteral("shop.com"));
        QCOMPARE(site.describe(), QStringLiteral("127.0.0.1:4000 or shop.com"));
        const QString reason = site.refusal(QUrl(QStringLiteral("http://127.0.0.2:4000/login")));
        QVERIFY2(reason.contains(QLatin1String("127.0.0.2:4000")) && reason.contains(QLatin1String("127.0.0.1:4000")),
                 qPrintable(reason));
        QVERIFY(Records::LoginSite(QString(), QString()).isEmpty());
        QVERIFY(Records::LoginSite(QStringLiteral("javascript:alert(1)"), QString()).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestLoginSite)
#include "tst_loginsite.moc"
