// The news replies, the update descriptor and the version rule, without a network.

#include "branding/Branding.h"
#include "news/NewsProtocol.h"
#include "news/UpdateLogic.h"
#include "util/Fields.h"
#include "util/IniFile.h"

#include <QBuffer>
#include <QtTest>

using namespace News;

// '~' stands for the list separator 0xAF in these literals.
static QByteArray b(const char* text)
{
    return QByteArray(text).replace('~', char(0xAF));
}

class TestNewsProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodeDollarHex_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("plain") << QByteArray("Hi there") << QByteArray("Hi there");
        QTest::newRow("letter") << QByteArray("A$41B") << QByteArray("AAB");
        QTest::newRow("line break") << QByteArray("$0D$0A") << QByteArray("\r\n");
        QTest::newRow("lower case") << QByteArray("$3cb$3e") << QByteArray("<b>");
        QTest::newRow("high byte") << QByteArray("$AF$ff") << QByteArray("\xAF\xFF");
        QTest::newRow("NUL byte") << QByteArray("a$00b") << QByteArray("a\0b", 3);
        QTest::newRow("dollar itself") << QByteArray("$24") << QByteArray("$");
        QTest::newRow("one digit at the end") << QByteArray("x$4") << QByteArray("x\x04");
        QTest::newRow("dollar at the end") << QByteArray("50$") << QByteArray();
        QTest::newRow("no digit") << QByteArray("a$G1b") << QByteArray();
        QTest::newRow("one digit inside") << QByteArray("a$4Gb") << QByteArray();
        QTest::newRow("space after dollar") << QByteArray("a$ 41") << QByteArray();
        QTest::newRow("sign after dollar") << QByteArray("a$-1") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void decodeDollarHex()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, decoded);
        QCOMPARE(UUtils::DecodeDollarHex(text), decoded);
    }

    void requestUrlHasExactlyOneSlash()
    {
        QCOMPARE(newsRequestUrl("http://h/news", kListScript), QByteArray("http://h/news/getlastnews.php"));
        QCOMPARE(newsRequestUrl("http://h/news/", kListScript), QByteArray("http://h/news/getlastnews.php"));
        QCOMPARE(newsRequestUrl("http://h/news/", kDetailsScript), QByteArray("http://h/news/getnewsdetails.php"));
        QCOMPARE(newsRequestUrl("", kListScript), QByteArray("/getlastnews.php"));
    }

    void levelRows()
    {
        Branding brand;
        brand.MasterPublID = "M";
        brand.PlatinumPublID = "P";
        brand.GoldPublID = "G";
        brand.MasterNewsBaseURL = "m/";
        brand.PlatinumNewsBaseURL = "p/";
        brand.GoldNewsBaseURL = "g/";
        const QList<std::tuple<QByteArray, QByteArray, QByteArray>> rows = {
            {"Master", "M", "BM"}, {"Platinum", "P", "BP"}, {"Gold", "G", "BG"}};
        for (const auto& [type, id, product] : rows) {
            brand.BranderType = type;
            const auto level = newsLevel(brand);
            QVERIFY(level);
            QCOMPARE(level->publisherId, id);
            QCOMPARE(level->productType, product);
        }
        QCOMPARE(newsBaseUrl(brand, "BP"), QByteArray("p/"));
        for (const char* other : {"Free", "master", "", "Gold "}) {
            brand.BranderType = other;
            QVERIFY2(!newsLevel(brand), other);
        }
        brand.BranderType = "Gold";
        brand.GoldPublID.clear();
        QVERIFY(!newsLevel(brand));
    }

    void formFieldsInOrder()
    {
        const FormFields list = newsListFields("pub", "code", "BG", "UA");
        const FormFields expected = {{"memusername", "pub"}, {"prodcode", "code"}, {"prodtype", "BG"},
                                     {"conttype", "all"},    {"newstarget", "UA"}, {"something", ""}};
        QCOMPARE(list, expected);
        QCOMPARE(latestNewsFields("pub", "code", "BG", "UA").at(3),
                 std::make_pair(QByteArray("conttype"), QByteArray("lastcode")));
        const FormFields details = newsDetailsFields("pub", "code", "BG", "UA", "17");
        QCOMPARE(details.at(3), std::make_pair(QByteArray("newsid"), QByteArray("17")));
        QCOMPARE(details.size(), 6);
    }

    void replyTrimmingAndSuccessRule()
    {
        QCOMPARE(replyText(true, " \t\r\nOK\r\n\x01"), QByteArray("OK"));
        QCOMPARE(replyText(false, "OK"), QByteArray());
        QVERIFY(isSuccessReply("OK"));
        QVERIFY(isSuccessReply("This is not OK at all")); // "OK" anywhere counts
        QVERIFY(!isSuccessReply("ok"));
        QVERIFY(!isSuccessReply(""));
    }

    // The success rule against a plain search, with "OK" at every position of short texts made
    // of bytes that differ from 'O' or 'K' by one bit, and of near misses.
    void successRuleAtEveryPosition()
    {
        const QList<QByteArray> fills{"x", "\xCF", "\xCB", "N", "J", "o", "k", "KO", "O", "K", QByteArray(1, '\0')};
        for (const QByteArray& fill : fills) {
            for (int length = 0; length <= 20; ++length) {
                const QByteArray base = fill.repeated(length).left(length);
                QCOMPARE(isSuccessReply(base), base.contains("OK"));
                for (int at = 0; at + 2 <= length; ++at) {
                    QByteArray text = base;
                    text[at] = 'O';
                    text[at + 1] = 'K';
                    QVERIFY2(isSuccessReply(text), text.toHex().constData());
                    text[at + 1] = 'k';
                    QCOMPARE(isSuccessReply(text), text.contains("OK"));
                }
            }
        }
    }

    void newsList_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<QByteArray>>("entries");
        QTest::newRow("no news") << b("OK") << QList<QByteArray>{};
        QTest::newRow("two with an empty piece") << replyText(true, b("7^First title^May 1~~6^Second^May 0~OK\r\n"))
                                                 << QList<QByteArray>{"7^First title^May 1", "6^Second^May 0"};
        QTest::newRow("short entries kept whole") << b("9~x~OK") << QList<QByteArray>{"9", "x"};
        QTest::newRow("OK pieces dropped, OK inside kept") << b("OK~1^OK^d~OK") << QList<QByteArray>{"1^OK^d"};
        QTest::newRow("last piece without separator") << b("1^a~OKx") << QList<QByteArray>{"1^a", "OKx"};
    }
    void newsList()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QList<QByteArray>, entries);
        QCOMPARE(parseNewsList(reply), entries);
    }

    // A reply of millions of entries keeps the first ones, in reply order; one of bare separators
    // keeps nothing.
    void newsListKeepsTheFirstEntries()
    {
        QByteArray many;
        for (int i = 1; i <= kMaxNewsEntries + 5; ++i)
            many += QByteArray::number(i) + "^t^d\xAF";
        many += "OK";
        const StringList entries = parseNewsList(many);
        QCOMPARE(entries.size(), kMaxNewsEntries);
        QCOMPARE(entries.first(), QByteArray("1^t^d"));
        QCOMPARE(entries.last(), QByteArray::number(kMaxNewsEntries) + "^t^d");
        QCOMPARE(parseNewsList(b("1~2~3~OK"), 2), (StringList{"1", "2"}));
        QVERIFY(parseNewsList(QByteArray(30 << 20, char(0xAF)) + "OK").isEmpty());
    }

    void entryFields()
    {
        for (const QByteArray& entry : {QByteArray("7^Title^June"), QByteArray("7^^"), QByteArray("^"), QByteArray("7"),
                                        QByteArray(), QByteArray("1^2^3^4^5")}) {
            const StringList fields = UUtils::SplitFields('^', entry);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(entryField(entry, i), fields.value(i));
        }
    }

    void latestNews_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QByteArray>("title");
        QTest::newRow("no news") << b("OK") << QByteArray() << QByteArray();
        QTest::newRow("newest") << b("15^A title^June 3~OK") << QByteArray("15") << QByteArray("A title");
        QTest::newRow("no caret") << b("15~OK") << QByteArray("15") << QByteArray();
        QTest::newRow("nothing left") << b("~OK~OK") << QByteArray() << QByteArray();
        QTest::newRow("OK inside") << b("NOT OK AT ALL") << QByteArray("NOT OK AT ALL") << QByteArray();
        QTest::newRow("every end removed") << b("3^T~OK^x~OK") << QByteArray("3") << QByteArray("T");
    }
    void latestNews()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, id);
        QFETCH(QByteArray, title);
        QByteArray gotId = "stale", gotTitle = "stale";
        parseLatestNews(reply, gotId, gotTitle);
        QCOMPARE(gotId, id);
        QCOMPARE(gotTitle, title);
    }

    void newsDetails()
    {
        QCOMPARE(parseNewsDetails(b("$3Cb$3EHi$3C/b$3E~OK")), QByteArray("<b>Hi</b>"));
        QCOMPARE(parseNewsDetails(b("100$~OK")), QByteArray());
        QCOMPARE(parseNewsDetails(b("$AF~OK")), QByteArray("\xAF"));
    }

    void errorTable_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("listMessage");
        QTest::addColumn<QString>("detailsMessage");
        const QString access = "There is a trouble accessing the news site. Contact your provider.";
        const QString settings = "There is a trouble in the settings file on the news site.";
        const QString user = "There is a trouble with the Publisher Id. Contact your provider.";
        const QString product = "There is a trouble with the product validation. Contact your provider.";
        const QString news = "There is a trouble with this news. Contact your provider.";
        QTest::newRow("empty") << QByteArray() << access << access;
        QTest::newRow("CONNECTIONFAIL") << QByteArray("CONNECTIONFAIL") << settings << settings;
        QTest::newRow("INVALIDUSER") << QByteArray("INVALIDUSER") << user << user;
        QTest::newRow("INVALIDPRODUCT") << QByteArray("INVALIDPRODUCT") << product << product;
        QTest::newRow("INVALIDNEWS") << QByteArray("INVALIDNEWS") << QString() << news;
        QTest::newRow("lower case") << QByteArray("invaliduser") << QString() << QString();
        QTest::newRow("code with more") << QByteArray("INVALIDUSER!") << QString() << QString();
        QTest::newRow("other") << QByteArray("Server busy") << QString() << QString();
    }
    void errorTable()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, listMessage);
        QFETCH(QString, detailsMessage);
        QCOMPARE(newsErrorMessage(reply, NewsRequest::List), listMessage);
        QCOMPARE(newsErrorMessage(reply, NewsRequest::Details), detailsMessage);
        QCOMPARE(newsErrorMessage(reply, NewsRequest::Latest), QString());
    }

    void idNumbers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << QByteArray("13") << 13 << true;
        QTest::newRow("negative") << QByteArray("-4") << -4 << true;
        QTest::newRow("empty") << QByteArray() << 0 << false;
        QTest::newRow("letters") << QByteArray("abc") << 0 << false;
        QTest::newRow("digits then letters") << QByteArray("12a") << 0 << false;
        QTest::newRow("fraction") << QByteArray("1.5") << 0 << false;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647 << true;
        QTest::newRow("overflow") << QByteArray("2147483648") << 0 << false;
        QTest::newRow("smallest") << QByteArray("-2147483648") << int(-2147483648LL) << true;
        QTest::newRow("below the smallest") << QByteArray("-2147483649") << 0 << false;
        QTest::newRow("many digits") << QByteArray(40, '9') << 0 << false;
        QTest::newRow("leading zeros") << QByteArray("00000000000000000000000007") << 7 << true;
        QTest::newRow("leading blank") << QByteArray(" 13") << 0 << false;
        QTest::newRow("trailing line break") << QByteArray("13\r\n") << 0 << false;
        QTest::newRow("plus sign") << QByteArray("+13") << 0 << false;
        QTest::newRow("minus alone") << QByteArray("-") << 0 << false;
        QTest::newRow("NUL inside") << QByteArray("1\0"
                                                  "3",
                                                  3)
                                    << 0 << false;
    }
    void idNumbers()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, number);
        QFETCH(bool, valid);
        QCOMPARE(newsIdNumber(text), number);
        QCOMPARE(isValidNewsId(text), valid);
    }

    void versions_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("offered");
        QTest::newRow("2.1") << QByteArray("2.1") << true;
        QTest::newRow("2.10 is 2.1") << QByteArray("2.10") << true;
        QTest::newRow("10") << QByteArray("10") << true;
        QTest::newRow("2.0") << QByteArray("2.0") << false;
        QTest::newRow("2") << QByteArray("2") << false;
        QTest::newRow("2.00001 in float") << QByteArray("2.0000001") << false;
        QTest::newRow("1.9") << QByteArray("1.9") << false;
        QTest::newRow("2.0.1") << QByteArray("2.0.1") << false;
        QTest::newRow("letters") << QByteArray("abc") << false;
        QTest::newRow("comma") << QByteArray("2,5") << false;
        QTest::newRow("exponent") << QByteArray("3e1") << false;
        QTest::newRow("infinity") << QByteArray("inf") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void versions()
    {
        QFETCH(QByteArray, version);
        QFETCH(bool, offered);
        QCOMPARE(Update::isNewerVersion(version, AppVersion), offered);
    }

    void versionNumbersIgnoreTheLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German));
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        QCOMPARE(Update::versionNumber("2.5"), 2.5f);
        QCOMPARE(Update::versionNumber("2,5"), 0.0f);
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(saved);
        QCOMPARE(Update::versionNumber(".5"), 0.5f);
        QCOMPARE(Update::versionNumber("-1"), -1.0f);
    }

    void iniValue_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("plain") << QByteArray("[APPLICATION]\r\nVersion=2.1\r\n") << QByteArray("2.1");
        QTest::newRow("any case, spaces") << QByteArray("[ application ]\nVERSION = 2.10 \n") << QByteArray("2.10");
        QTest::newRow("other sections") << QByteArray("[Other]\nVersion=9\n[APPLICATION]\nName=x\nVersion=3\n")
                                        << QByteArray("3");
        QTest::newRow("first wins") << QByteArray("[APPLICATION]\nVersion=3\nVersion=4\n") << QByteArray("3");
        QTest::newRow("quoted") << QByteArray("[APPLICATION]\nVersion=\"2.5\"\n") << QByteArray("2.5");
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[APPLICATION]\nVersion=2.2") << QByteArray("2.2");
        QTest::newRow("key outside the section") << QByteArray("Version=5\n[APPLICATION]\n") << QByteArray();
        QTest::newRow("no such key") << QByteArray("[APPLICATION]\nVersions=5\n") << QByteArray();
        QTest::newRow("html") << QByteArray("<html><body>Version=5</body></html>") << QByteArray();
        QTest::newRow("binary") << QByteArray("\0\xFF[\0]=\n", 7) << QByteArray();
        QTest::newRow("long line skipped")
            << (QByteArray("[APPLICATION]\nVersion") + QByteArray(200000, ' ') + "=7\nVersion=8\n") << QByteArray("8");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void iniValue()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, value);
        QBuffer buffer(&ini);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(UUtils::readIniValue(buffer, "APPLICATION", "Version"), value);
    }

    void updateAddresses()
    {
        QVERIFY(Update::updateBaseUrl().endsWith("/liveupdate/quillet/"));
        Update::setUpdateBaseUrl("http://127.0.0.1:1/liveupdate/quillet/");
        QCOMPARE(Update::descriptorUrl(), QByteArray("http://127.0.0.1:1/liveupdate/quillet/mainappupdate.inf"));
        QCOMPARE(Update::updaterArguments(), (QStringList{"http://127.0.0.1:1/liveupdate/quillet/", "2.0", "A"}));
        Update::setUpdateBaseUrl({});
        QCOMPARE(Update::updateBaseUrl(), QByteArray(QUILLET_UPDATE_BASE_URL));
        QCOMPARE(Update::updateOfferText("2.10"),
                 QString("There is a new update: (version 2.10) available for your application!. Do you want "
                         "download this update now?"));
        QVERIFY(Update::updateCloseText().contains("close to\n\rreplace some files."));
    }
};

QTEST_GUILESS_MAIN(TestNewsProtocol)
#include "tst_newsprotocol.moc"
