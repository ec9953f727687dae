#include "branding/BrandingLoader.h"
#include "branding/Limits.h"

#include <QtTest>

#include <deque>

namespace {

QByteArray tag(const QByteArray& name, const QByteArray& value)
{
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

// A random source that answers the queued indices in turn (0 once they run out) and records the
// counts it was asked about.
struct ForcedRandom
{
    std::deque<int> answers;
    QList<int> counts;

    RandomIndex source()
    {
        return [this](int count) {
            counts.append(count);
            if (answers.empty())
                return 0;
            const int next = answers.front();
            answers.pop_front();
            return next;
        };
    }
};

BrandingDocument docWith(StringList welcome, StringList banners, StringList links)
{
    BrandingDocument doc;
    doc.WelcomeEntries = std::move(welcome);
    doc.BannerEntries = std::move(banners);
    doc.LinkEntries = std::move(links);
    return doc;
}

} // namespace

class TestBrandingLoader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsEveryTagInReadingOrder()
    {
        QByteArray text = tag("applicationname", "Acme Vault") + tag("BranderCode", "BC7") +
                          tag("BranderType", "Gold") + tag("AffiliateURL", "http://a.example/?id=%%AFFILIATEID%%") +
                          tag("AffiliateTYPE", "ignored") + tag("AffiliateID", "joe") +
                          tag("MasterNewsBaseURL", "http://m/") + tag("PlatinumNewsBaseURL", "http://p/") +
                          tag("GoldNewsBaseURL", "http://g/") + tag("MasterPublID", "M1") +
                          tag("PlatinumPublID", "P1") + tag("GoldPublID", "G1") + tag("MakeMoneyButton", "Earn!") +
                          tag("AppHelpURL", "http://help/") + tag("CopyrightYears", "2001-2009") +
                          tag("CopyrightCompany", "Acme Ltd") + tag("AboutText", "line one\r\nline two") +
                          tag("Welcome1", "<p>one</p>") + tag("Welcome2", "<p>two</p>") +
                          tag("Banner1", "C:\\art\\b.png^http://banner/") + tag("Link1", "Sponsor^http://s/");
        const BrandingDocument doc = ReadBrandingDocument(text);
        const Branding& v = doc.values;
        QCOMPARE(v.ApplicationName, QByteArray("Acme Vault"));
        QCOMPARE(v.BranderCode, QByteArray("BC7"));
        QCOMPARE(v.BranderType, QByteArray("Gold"));
        QCOMPARE(v.AffiliateURL, QByteArray("http://a.example/?id=joe"));
        QCOMPARE(v.AffiliateID, QByteArray("joe"));
        QCOMPARE(v.MasterNewsBaseURL, QByteArray("http://m/"));
        QCOMPARE(v.PlatinumNewsBaseURL, QByteArray("http://p/"));
        QCOMPARE(v.GoldNewsBaseURL, QByteArray("http://g/"));
        QCOMPARE(v.MasterPublID, QByteArray("M1"));
        QCOMPARE(v.PlatinumPublID, QByteArray("P1"));
        QCOMPARE(v.GoldPublID, QByteArray("G1"));
        QCOMPARE(doc.MakeMoneyButton, QByteArray("Earn!"));
        QCOMPARE(v.AppHelpURL, QByteArray("http://help/"));
        QCOMPARE(v.CopyrightYears, QByteArray("2001-2009"));
        QCOMPARE(v.CopyrightCompany, QByteArray("Acme Ltd"));
        QCOMPARE(v.AboutText, QByteArray("line one\r\nline two"));
        QCOMPARE(doc.WelcomeEntries, StringList({"<p>one</p>", "<p>two</p>"}));
        QCOMPARE(doc.BannerEntries, StringList({"C:\\art\\b.png^http://banner/"}));
        QCOMPARE(doc.LinkEntries, StringList({"Sponsor^http://s/"}));
        // Nothing is drawn yet.
        QVERIFY(v.WelcomePage.isEmpty() && v.BannerImage.isEmpty() && v.Link1Title.isEmpty());
    }

    void tagOutOfOrderIsNotFound()
    {
        // BranderType before ApplicationName lies before the cut and reads empty.
        const BrandingDocument doc =
            ReadBrandingDocument(tag("BranderType", "Gold") + tag("ApplicationName", "X") + tag("AboutText", "a"));
        QCOMPARE(doc.values.ApplicationName, QByteArray("X"));
        QVERIFY(doc.values.BranderType.isEmpty());
        QCOMPARE(doc.values.AboutText, QByteArray("a"));
    }

    void caption_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("caption");
        QTest::newRow("named") << QByteArray("Acme Vault") << QByteArray("Acme Vault v2.0");
        QTest::newRow("empty") << QByteArray() << QByteArray(" v2.0");
        QTest::newRow("high bytes") << QByteArray("Caf\xE9") << QByteArray("Caf\xE9 v2.0");
    }
    void caption()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, caption);
        const BrandingDocument doc = ReadBrandingDocument(name.isEmpty() ? QByteArray() : tag("ApplicationName", name));
        QCOMPARE(MainCaption(doc.values), caption);
    }

    void makeMoneyCaption()
    {
        QCOMPARE(MakeMoneyCaption(ReadBrandingDocument(tag("MakeMoneyButton", "Get Paid"))), QByteArray("Get Paid"));
        QCOMPARE(MakeMoneyCaption(ReadBrandingDocument(tag("MakeMoneyButton", ""))), QByteArray("Make Money"));
        QCOMPARE(MakeMoneyCaption(ReadBrandingDocument(QByteArray())), QByteArray("Make Money"));
    }

    void newsButtonRule_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("set"); // which of the six fields are set: m/M master id/url, p/P, g/G
        QTest::addColumn<bool>("visible");
        QTest::newRow("Master, both") << QByteArray("Master") << QByteArray("mM") << true;
        QTest::newRow("Master, no url") << QByteArray("Master") << QByteArray("m") << false;
        QTest::newRow("Master, no id") << QByteArray("Master") << QByteArray("M") << false;
        QTest::newRow("Master, only gold set") << QByteArray("Master") << QByteArray("gG") << false;
        QTest::newRow("Platinum, both") << QByteArray("Platinum") << QByteArray("pP") << true;
        QTest::newRow("Platinum, no url") << QByteArray("Platinum") << QByteArray("pmM") << false;
        QTest::newRow("Gold, both") << QByteArray("Gold") << QByteArray("gG") << true;
        QTest::newRow("Gold, no id") << QByteArray("Gold") << QByteArray("GmM") << false;
        QTest::newRow("Free, master both") << QByteArray("Free") << QByteArray("mM") << true;
        QTest::newRow("Free, own level fields do not exist") << QByteArray("Free") << QByteArray("pPgG") << false;
        QTest::newRow("lower-case master") << QByteArray("master") << QByteArray("mMpPgG") << false;
        QTest::newRow("padded Gold") << QByteArray("Gold ") << QByteArray("gG") << false;
        QTest::newRow("empty type") << QByteArray() << QByteArray("mMpPgG") << false;
        QTest::newRow("unknown type") << QByteArray("Silver") << QByteArray("mMpPgG") << false;
    }
    void newsButtonRule()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, set);
        QFETCH(bool, visible);
        Branding v;
        v.BranderType = type;
        auto value = [&](char c) { return set.contains(c) ? QByteArray("x") : QByteArray(); };
        v.MasterPublID = value('m');
        v.MasterNewsBaseURL = value('M');
        v.PlatinumPublID = value('p');
        v.PlatinumNewsBaseURL = value('P');
        v.GoldPublID = value('g');
        v.GoldNewsBaseURL = value('G');
        QCOMPARE(NewsButtonVisible(v), visible);
    }

    void affiliateIdPlaceholder_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("twice") << QByteArray("http://x/%%AFFILIATEID%%/?a=%%AFFILIATEID%%") << QByteArray("joe")
                               << QByteArray("http://x/joe/?a=joe");
        QTest::newRow("lower case stays")
            << QByteArray("http://x/%%affiliateid%%") << QByteArray("joe") << QByteArray("http://x/%%affiliateid%%");
        QTest::newRow("empty id removes it")
            << QByteArray("http://x/?a=%%AFFILIATEID%%&b") << QByteArray() << QByteArray("http://x/?a=&b");
        QTest::newRow("id holding the placeholder")
            << QByteArray("%%AFFILIATEID%%") << QByteArray("%%AFFILIATEID%%") << QByteArray("%%AFFILIATEID%%");
    }
    void affiliateIdPlaceholder()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, id);
        QFETCH(QByteArray, result);
        const BrandingDocument doc = ReadBrandingDocument(tag("AffiliateURL", url) + tag("AffiliateID", id));
        QCOMPARE(doc.values.AffiliateURL, result);
        QCOMPARE(doc.values.AffiliateID, id);
    }

    void numberedEntries_data()
    {
        QTest::addColumn<QList<int>>("numbers"); // Welcome numbers present in the document, in order
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << QList<int>{} << 0;
        QTest::newRow("1 and 2") << QList<int>{1, 2} << 2;
        QTest::newRow("gap after 2") << QList<int>{1, 2, 4} << 2;
        QTest::newRow("starts at 2") << QList<int>{2, 3} << 0;
        QList<int> twenty;
        for (int n = 1; n <= 20; ++n)
            twenty.append(n);
        QTest::newRow("20 entries, 16 read") << twenty << 16;
    }
    void numberedEntries()
    {
        QFETCH(QList<int>, numbers);
        QFETCH(int, expected);
        QByteArray text;
        for (int n : numbers) {
            const QByteArray num = QByteArray::number(n);
            text += tag("Welcome" + num, "page " + num);
        }
        for (int n : numbers) {
            const QByteArray num = QByteArray::number(n);
            text += tag("Banner" + num, "b" + num + ".png^u" + num);
        }
        for (int n : numbers) {
            const QByteArray num = QByteArray::number(n);
            text += tag("Link" + num, "l" + num + "^u" + num);
        }
        const BrandingDocument doc = ReadBrandingDocument(text);
        QCOMPARE(doc.WelcomeEntries.size(), expected);
        QCOMPARE(doc.BannerEntries.size(), expected);
        QCOMPARE(doc.LinkEntries.size(), expected);
        if (expected > 0)
            QCOMPARE(doc.LinkEntries.last(), "l" + QByteArray::number(expected) + "^u" + QByteArray::number(expected));
    }

    void emptyFirstWelcomeEndsTheList()
    {
        const BrandingDocument doc = ReadBrandingDocument(tag("Welcome1", "") + tag("Welcome2", "<p>two</p>"));
        QVERIFY(doc.WelcomeEntries.isEmpty());
    }

    void drawsTakeTheForcedEntries()
    {
        const BrandingDocument doc =
            docWith({"w0", "w1", "w2"}, {"a.png^ua", "b.gif^ub", "c.jpg^uc"}, {"L0^u0", "L1^u1", "L2^u2", "L3^u3"});
        ForcedRandom random;
        random.answers = {1, 2, 3, 0};
        const BrandingDraws draws = DrawBranding(doc, random.source());
        QCOMPARE(random.counts, QList<int>({3, 3, 4, 3})); // the second link draws over what is left
        QCOMPARE(draws.record.WelcomePage, QByteArray("w1"));
        QCOMPARE(draws.record.BannerImage, QByteArray("c.jpg"));
        QCOMPARE(draws.record.BannerURL, QByteArray("uc"));
        QCOMPARE(draws.BannerNumber, 3);
        QCOMPARE(draws.record.Link1Title, QByteArray("L3"));
        QCOMPARE(draws.record.Link1URL, QByteArray("u3"));
        QCOMPARE(draws.record.Link2Title, QByteArray("L0"));
        QCOMPARE(draws.record.Link2URL, QByteArray("u0"));
    }

    void everyEntryReachableAndLinksDiffer()
    {
        // Every forced index of every draw lands on its own entry; the second link is never the first.
        const StringList links{"L0^u0", "L1^u1", "L2^u2"};
        const BrandingDocument doc = docWith({"w0", "w1", "w2"}, {"0.png^", "1.png^", "2.png^"}, links);
        QSet<QByteArray> welcomes, banners, pairs;
        for (int first = 0; first < 3; ++first) {
            for (int second = 0; second < 2; ++second) {
                ForcedRandom random;
                random.answers = {first, first, first, second};
                const BrandingDraws d = DrawBranding(doc, random.source());
                welcomes.insert(d.record.WelcomePage);
                banners.insert(d.record.BannerImage);
                QVERIFY(d.record.Link1Title != d.record.Link2Title);
                pairs.insert(d.record.Link1Title + d.record.Link2Title);
            }
        }
        QCOMPARE(welcomes.size(), 3);
        QCOMPARE(banners.size(), 3);
        QCOMPARE(pairs.size(), 6); // every ordered pair of two different links

        // The program's own generator reaches all of them too.
        welcomes.clear();
        QSet<QByteArray> firstLinks;
        for (int run = 0; run < 300 && (welcomes.size() < 3 || firstLinks.size() < 3); ++run) {
            const BrandingDraws d = DrawBranding(doc, defaultRandomIndex());
            welcomes.insert(d.record.WelcomePage);
            firstLinks.insert(d.record.Link1Title);
            QVERIFY(d.record.Link1Title != d.record.Link2Title);
        }
        QCOMPARE(welcomes.size(), 3);
        QCOMPARE(firstLinks.size(), 3);
    }

    void oneLinkAndNoEntries()
    {
        BrandingDraws d = DrawBranding(docWith({}, {}, {"Only^http://only/"}), defaultRandomIndex());
        QCOMPARE(d.record.Link1Title, QByteArray("Only"));
        QVERIFY(d.record.Link2Title.isEmpty() && d.record.Link2URL.isEmpty());
        QVERIFY(d.record.WelcomePage.isEmpty());
        QCOMPARE(d.BannerNumber, 0);

        d = DrawBranding(docWith({}, {}, {}), defaultRandomIndex());
        QVERIFY(d.record.Link1Title.isEmpty() && d.record.BannerImage.isEmpty());
    }

    void entryWithoutAddressIsUsedWithAnEmptyOne_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("no caret") << QByteArray("b.png") << QByteArray("b.png") << QByteArray();
        QTest::newRow("nothing after caret") << QByteArray("b.png^") << QByteArray("b.png") << QByteArray();
        QTest::newRow("only caret") << QByteArray("^") << QByteArray() << QByteArray();
        QTest::newRow("empty name") << QByteArray("^http://x/") << QByteArray() << QByteArray("http://x/");
        QTest::newRow("third field dropped")
            << QByteArray("b.png^http://x/^more") << QByteArray("b.png") << QByteArray("http://x/");
    }
    void entryWithoutAddressIsUsedWithAnEmptyOne()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        const BrandingDraws d = DrawBranding(docWith({}, {entry}, {entry}), defaultRandomIndex());
        QCOMPARE(d.record.BannerImage, first);
        QCOMPARE(d.record.BannerURL, second);
        QCOMPARE(d.BannerNumber, 1);
        QCOMPARE(d.record.Link1Title, first);
        QCOMPARE(d.record.Link1URL, second);
    }

    void outOfRangeSourceIsHarmless()
    {
        const BrandingDraws d = DrawBranding(docWith({"w0", "w1"}, {}, {}), [](int) { return 99; });
        QCOMPARE(d.record.WelcomePage, QByteArray("w0"));
    }

    void bannerNames_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<bool>("animated");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("windows path") << QByteArray("C:\\Banners\\top.PNG") << QByteArray("top.PNG") << false
                                      << QByteArray("png");
        QTest::newRow("drive only") << QByteArray("D:ad.jpg") << QByteArray("ad.jpg") << false << QByteArray("jpg");
        QTest::newRow("unix path") << QByteArray("art/ad.bmp") << QByteArray("ad.bmp") << false << QByteArray("bmp");
        QTest::newRow("GIF in capitals") << QByteArray("AD.GIF") << QByteArray("AD.GIF") << true << QByteArray("gif");
        QTest::newRow("gif inside the name")
            << QByteArray("x.gif.png") << QByteArray("x.gif.png") << true << QByteArray("png");
        QTest::newRow("no extension") << QByteArray("banner") << QByteArray("banner") << false << QByteArray();
    }
    void bannerNames()
    {
        QFETCH(QByteArray, image);
        QFETCH(QByteArray, shown);
        QFETCH(bool, animated);
        QFETCH(QByteArray, format);
        QCOMPARE(BannerShownName(image), shown);
        QCOMPARE(IsAnimatedBanner(shown), animated);
        QCOMPARE(BannerImageFormat(shown), format);
        QCOMPARE(BannerFileName(12), QStringLiteral("banner12.dat"));
    }

    void skinFile()
    {
        const QByteArray sheet = "QPushButton { color: #123456; } /* caf\xC3\xA9 */";
        QCOMPARE(DecodeSkin(sheet), std::optional<QString>(QString::fromUtf8(sheet)));
        QCOMPARE(DecodeSkin(qCompress(sheet)), std::optional<QString>(QString::fromUtf8(sheet)));
        QCOMPARE(DecodeSkin("QWidget{}\r\n\f\t"), std::optional<QString>(QStringLiteral("QWidget{}\r\n\f\t")));
        // A plain sheet whose fifth byte is the zlib stream's first byte 0x78 ('x') is still plain.
        QCOMPARE(DecodeSkin(".flex { color: red; }"), std::optional<QString>(QStringLiteral(".flex { color: red; }")));

        QVERIFY(!DecodeSkin(QByteArray()).has_value());
        QVERIFY(!DecodeSkin(" \r\n").has_value());
        QVERIFY(!DecodeSkin(QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11)).has_value()); // binary
        QByteArray broken = qCompress(sheet);
        broken.truncate(broken.size() - 6);
        QVERIFY(!DecodeSkin(broken).has_value());
        // A compressed header that claims 2 GB is refused before anything is allocated.
        QByteArray huge = qCompress(sheet);
        huge[0] = char(0x7F);
        QVERIFY(!DecodeSkin(huge).has_value());
    }

    void skinSizeCeiling_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<bool>("loads");
        const qsizetype limit = Limits::kSkinMaxBytes;
        QTest::newRow("plain, at the limit") << limit << false << true;
        QTest::newRow("plain, one byte more") << limit + 1 << false << false;
        QTest::newRow("compressed, at the limit") << limit << true << true;
        QTest::newRow("compressed, one byte more") << limit + 1 << true << false;
        QTest::newRow("compressed, 4 times the limit") << 4 * limit << true << false;
    }
    void skinSizeCeiling()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, compressed);
        QFETCH(bool, loads);
        // A sheet that is one long comment.
        QByteArray sheet = "QWidget { color: red; } /*" + QByteArray(size - 28, 'a') + "*/";
        QCOMPARE(sheet.size(), size);
        const auto decoded = DecodeSkin(compressed ? qCompress(sheet, 9) : sheet);
        QCOMPARE(decoded.has_value(), loads);
        if (loads)
            QCOMPARE(decoded->size(), size);
    }

    void skinDeclaredLengthIsNotBelieved()
    {
        const QByteArray sheet = "QPushButton { color: #123456; }";
        // A header that claims less, or more, than the stream holds: the stream decides.
        for (const quint32 declared : {quint32(1), quint32(100), quint32(Limits::kSkinMaxBytes)}) {
            QByteArray file = qCompress(sheet);
            qToBigEndian(declared, file.data());
            QCOMPARE(DecodeSkin(file), std::optional<QString>(QString::fromLatin1(sheet)));
        }
        // A bomb that declares 100 bytes is stopped at the ceiling.
        QByteArray bomb = qCompress(QByteArray(Limits::kSkinMaxBytes * 8, ' '), 9);
        QVERIFY(bomb.size() < 64 * 1024);
        qToBigEndian(quint32(100), bomb.data());
        QVERIFY(!DecodeSkin(bomb).has_value());
        // Data after the end of the stream is left alone; a stream cut short is no skin.
        QVERIFY(DecodeSkin(qCompress(sheet) + "trailing").has_value());
        QVERIFY(!InflateUpTo(qCompress(sheet).mid(4).chopped(1), 1024).has_value());
        QCOMPARE(InflateUpTo(qCompress(sheet).mid(4), sheet.size()), std::optional<QByteArray>(sheet));
        QVERIFY(!InflateUpTo(qCompress(sheet).mid(4), sheet.size() - 1).has_value());
    }

    void affiliateUrlCeiling_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<qsizetype>("length"); // of the result; 0: used empty
        const qsizetype limit = Limits::kMaxAddressLength;
        const QByteArray p = kAffiliateIdPlaceholder;
        const QByteArray half(limit / 2 - 10, 'i');
        QTest::newRow("two ids up to the limit") << "http://x/" + p + "/" + p + QByteArray(10, 'q') << half << limit;
        QTest::newRow("one byte over") << "http://x/" + p + "/" + p + QByteArray(11, 'q') << half << qsizetype(0);
        QTest::newRow("long address without placeholder")
            << QByteArray(limit + 1, 'a') << QByteArray("id") << qsizetype(0);
        QTest::newRow("placeholders shrinking a long address")
            << QByteArray(limit - 10, 'a') + p + p << QByteArray("1") << limit - 8;
        QByteArray many;
        while (many.size() < 512 * 1024)
            many += p;
        QTest::newRow("512 KB of placeholders, 64 KB id") << many << QByteArray(64 * 1024, 'i') << qsizetype(0);
        QTest::newRow("overlapping placeholders")
            << QByteArray("%%AFFILIATEID%%AFFILIATEID%%") << QByteArray("7") << qsizetype(14);
    }
    void affiliateUrlCeiling()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, id);
        QFETCH(qsizetype, length);
        const QByteArray result = SubstituteAffiliateId(url, id);
        QCOMPARE(result.size(), length);
        if (length > 0)
            QCOMPARE(result, QByteArray(url).replace(kAffiliateIdPlaceholder, id));
        // The loader uses it.
        QCOMPARE(ReadBrandingDocument(tag("AffiliateURL", url) + tag("AffiliateID", id)).values.AffiliateURL, result);
    }
};

QTEST_GUILESS_MAIN(TestBrandingLoader)
#include "tst_brandingloader.moc"
