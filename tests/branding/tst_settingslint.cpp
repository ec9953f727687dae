// The publishers' document checks: each kind of silent fault gives its warning, a sound document
// none.
#include "branding/BrandingLoader.h"
#include "branding/SettingsLint.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray tag(const QByteArray& name, const QByteArray& value)
{
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

// A complete document in reading order that the program reads without surprise.
QByteArray soundDocument()
{
    return tag("ApplicationName", "Quillet Pro") + tag("BranderCode", "B1") + tag("BranderType", "Gold") +
           tag("AffiliateURL", "http://x.example/?a=%%AFFILIATEID%%") + tag("AffiliateTYPE", "1") +
           tag("AffiliateID", "77") + tag("MasterNewsBaseURL", "") + tag("PlatinumNewsBaseURL", "") +
           tag("GoldNewsBaseURL", "http://news.example/") + tag("MasterPublID", "") + tag("PlatinumPublID", "") +
           tag("GoldPublID", "P9") + tag("MakeMoneyButton", "Earn") + tag("AppHelpURL", "http://help.example/") +
           tag("CopyrightYears", "2008") + tag("CopyrightCompany", "Example") +
           tag("AboutText", "line one\r\nline two") + tag("Welcome1", "<html>1</html>") +
           tag("Welcome2", "<html>2</html>") + tag("Banner1", "c:\\img\\b.gif^http://b.example/") +
           tag("Link1", "Sponsor^http://s.example/") + tag("LastNewsId", "12");
}

} // namespace

class TestSettingsLint : public QObject
{
    Q_OBJECT

private slots:
    void warnings_data();
    void warnings();
    void lintAndLoaderAgreeOnTheReadingOrder();
    void deliveredFiles_data();
    void deliveredFiles();
};

void TestSettingsLint::warnings_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QList<QByteArray>>("expected");
    const QByteArray sound = soundDocument();
    auto replaced = [&](const QByteArray& from, const QByteArray& to) { return QByteArray(sound).replace(from, to); };

    QTest::newRow("sound") << sound << QList<QByteArray>{};
    QTest::newRow("sound, LF line ends and markers in any case")
        << replaced("\r\n", "\n").replace("<%%ApplicationName%%>", "<%%APPLICATIONNAME%%>") << QList<QByteArray>{};
    QTest::newRow("out of reading order")
        << tag("BranderType", "Gold") + tag("ApplicationName", "Q") + tag("GoldNewsBaseURL", "u") +
               tag("GoldPublID", "p")
        << QList<QByteArray>{"tag BranderType is never read: it stands before tag ApplicationName, which is read "
                             "first (keep the tags in the reading order)",
                             "BranderType is empty: no level, so the News button stays hidden"};
    QTest::newRow("gap in the numbering")
        << replaced(tag("Welcome2", "<html>2</html>"), tag("Welcome3", "3") + tag("Welcome5", "5"))
        << QList<QByteArray>{"tags Welcome3, Welcome5 are never read: the numbering stops at Welcome2, which is "
                             "missing, empty or out of order"};
    QTest::newRow("empty first entry")
        << replaced(tag("Welcome1", "<html>1</html>"), tag("Welcome1", ""))
        << QList<QByteArray>{"tag Welcome2 is never read: the numbering stops at Welcome1, which is missing, empty "
                             "or out of order"};
    QByteArray seventeen = sound;
    QByteArray links;
    for (int n = 2; n <= 18; ++n)
        links += tag("Link" + QByteArray::number(n), "t^u");
    seventeen.replace(tag("LastNewsId", "12"), links + tag("LastNewsId", "12"));
    QTest::newRow("more than 16") << seventeen
                                  << QList<QByteArray>{
                                         "tags Link17, Link18 are never read: only Link1 to Link16 are read"};
    QTest::newRow("banner without address")
        << replaced("c:\\img\\b.gif^http://b.example/", "b.gif")
        << QList<QByteArray>{
               "tag Banner1 has no address: its value must be the image file name, \"^\" and the address"};
    QTest::newRow("link with nothing after ^")
        << replaced("Sponsor^http://s.example/", "Sponsor^")
        << QList<QByteArray>{"tag Link1 has no address: its value must be the link text, \"^\" and the address"};
    QTest::newRow("unclosed tag")
        << replaced("<%%/CopyrightYears%%>", "")
        << QList<QByteArray>{"tag CopyrightYears is not closed (no \"<%%/CopyrightYears%%>\" after it): its value "
                             "reads as empty"};
    QTest::newRow("unclosed tag cuts what stands before it")
        << tag("ApplicationName", "Q") + tag("Welcome1", "w") + "<%%AboutText%%>open"
        << QList<QByteArray>{"tag AboutText is not closed (no \"<%%/AboutText%%>\" after it): its value reads as empty",
                             "tag Welcome1 is never read: it stands before tag AboutText, which is read first "
                             "(keep the tags in the reading order)",
                             "BranderType is empty: no level, so the News button stays hidden"};
    QTest::newRow("unknown tag") << sound + tag("Colour", "red")
                                 << QList<QByteArray>{"unknown tag Colour is never read"};
    QTest::newRow("misspelt tag") << replaced("AffiliateTYPE", "AffilateTYPE")
                                  << QList<QByteArray>{"unknown tag AffilateTYPE is never read"};
    QTest::newRow("level in other case") << replaced(tag("BranderType", "Gold"), tag("BranderType", "GOLD"))
                                         << QList<QByteArray>{"BranderType \"GOLD\" is none of \"Master\", "
                                                              "\"Platinum\", \"Gold\", \"Free\" (exact case): the "
                                                              "News button stays hidden"};
    QTest::newRow("hidden News button") << replaced(tag("GoldPublID", "P9"), tag("GoldPublID", ""))
                                        << QList<QByteArray>{"the News button stays hidden: level Gold needs "
                                                             "GoldPublID and GoldNewsBaseURL, and GoldPublID is empty"};
    QTest::newRow("Free needs Master's") << replaced(tag("BranderType", "Gold"), tag("BranderType", "Free"))
                                         << QList<QByteArray>{"the News button stays hidden: level Free needs "
                                                              "MasterPublID and MasterNewsBaseURL, and MasterPublID "
                                                              "and MasterNewsBaseURL are empty"};
    QTest::newRow("LastNewsId in capitals")
        << replaced(tag("LastNewsId", "12"), tag("LASTNEWSID", "12"))
        << QList<QByteArray>{"the LastNewsId marker is not written exactly \"<%%LastNewsId%%>\": WriteLastNewsId will "
                             "not recognise it and adds a second line, and the old value keeps being read"};
    QTest::newRow("LastNewsId in capitals before the exact one")
        << tag("lastnewsid", "3") + sound
        << QList<QByteArray>{"line 1: the first LastNewsId marker is not written exactly \"<%%LastNewsId%%>\": "
                             "WriteLastNewsId replaces line 24 instead, and the old value keeps being read"};
    QTest::newRow("LastNewsId sharing its line")
        << replaced(tag("LastNewsId", "12"), "<%%LastNewsId%%>12<%%/LastNewsId%%> keep me\r\n")
        << QList<QByteArray>{"line 23: text beside the LastNewsId tag is dropped when WriteLastNewsId rewrites the "
                             "line"};
    QTest::newRow("unfinished marker before a tag") << sound + "<%%" + QByteArray(200, 'x') + "<%%<%%Colour%%>"
                                                    << QList<QByteArray>{"unknown tag Colour is never read"};

    // Addresses the program will not hand to another program.
    const QByteArray option = " begins with \"-\": a program would take it for an option, so ";
    QTest::newRow("AffiliateURL an option once the id is in")
        << replaced(tag("AffiliateURL", "http://x.example/?a=%%AFFILIATEID%%"), tag("AffiliateURL", "%%AFFILIATEID%%"))
               .replace(tag("AffiliateID", "77"), tag("AffiliateID", " --gpu-launcher=x"))
        << QList<QByteArray>{"AffiliateURL" + option + "\"Make Money\" starts no browser"};
    QTest::newRow("AppHelpURL an option") << replaced("http://help.example/", "\t-P x")
                                          << QList<QByteArray>{"AppHelpURL" + option + "Help starts no browser"};
    QTest::newRow("banner address an option")
        << replaced("b.gif^http://b.example/", "b.gif^-")
        << QList<QByteArray>{"the address of tag Banner1" + option + "a click on the banner starts no browser"};
    QTest::newRow("link address an option")
        << replaced("Sponsor^http://s.example/", "Sponsor^--x")
        << QList<QByteArray>{"the address of tag Link1" + option + "a click on the link opens nothing"};
    for (const QByteArray& address : {QByteArray("javascript:alert(1)"), QByteArray("/etc/passwd"),
                                      QByteArray("file:///etc/passwd"), QByteArray("smb://host/share")}) {
        QTest::newRow(("link to " + address).constData())
            << replaced("Sponsor^http://s.example/", "Sponsor^" + address)
            << QList<QByteArray>{"the address of tag Link1, \"" + address +
                                 "\", is not a web address (http:, https:, or one such as www.example.com): a click "
                                 "on the link opens nothing"};
    }
    QTest::newRow("link without scheme") << replaced("Sponsor^http://s.example/", "Sponsor^www.s.example")
                                         << QList<QByteArray>{};
    // 4096 placeholders of a 16-byte id give exactly the longest address; one byte more is too long.
    auto affiliate = [&](const QByteArray& extra) {
        return replaced(tag("AffiliateURL", "http://x.example/?a=%%AFFILIATEID%%"),
                        tag("AffiliateURL", extra + QByteArray("%%AFFILIATEID%%").repeated(4096)))
            .replace(tag("AffiliateID", "77"), tag("AffiliateID", QByteArray(16, 'i')));
    };
    QTest::newRow("AffiliateURL at the longest") << affiliate("") << QList<QByteArray>{};
    QTest::newRow("AffiliateURL one byte too long")
        << affiliate("h")
        << QList<QByteArray>{"AffiliateURL is longer than the 65536 bytes an address may have once AffiliateID is "
                             "put in: it is used empty, and \"Make Money\" opens the browser with no address"};
    QTest::newRow("AffiliateURL only a placeholder, no id")
        << replaced(tag("AffiliateURL", "http://x.example/?a=%%AFFILIATEID%%"), tag("AffiliateURL", "%%AFFILIATEID%%"))
               .replace(tag("AffiliateID", "77"), tag("AffiliateID", ""))
        << QList<QByteArray>{};
    QTest::newRow("NUL byte") << sound.left(40) + '\0' + sound.mid(40)
                              << QList<QByteArray>{
                                     "a NUL byte at offset 40 ends the text: nothing after it is read",
                                     "tag ApplicationName is not closed (no \"<%%/ApplicationName%%>\" after it): its "
                                     "value reads as empty",
                                     "BranderType is empty: no level, so the News button stays hidden"};
}

void TestSettingsLint::warnings()
{
    QFETCH(QByteArray, document);
    QFETCH(QList<QByteArray>, expected);
    QCOMPARE(LintSettingsDocument(document), expected);
}

void TestSettingsLint::lintAndLoaderAgreeOnTheReadingOrder()
{
    // Every tag the lint knows, in its order, with a value that raises no other warning.
    const StringList& order = settingsTagsInReadingOrder();
    auto valueOf = [](const QByteArray& name) {
        if (name == "BranderType")
            return QByteArray("Gold");
        return name.startsWith("Banner") || name.startsWith("Link") ? name + "^http://x/" : name;
    };
    // What the loader kept: every non-empty value it read.
    auto keptValues = [](const QByteArray& document) {
        const BrandingDocument doc = ReadBrandingDocument(document);
        const Branding& v = doc.values;
        int kept = int(doc.WelcomeEntries.size() + doc.BannerEntries.size() + doc.LinkEntries.size());
        for (const QByteArray* field :
             {&v.ApplicationName, &v.BranderCode, &v.BranderType, &v.AffiliateURL, &v.AffiliateID, &v.MasterNewsBaseURL,
              &v.PlatinumNewsBaseURL, &v.GoldNewsBaseURL, &v.MasterPublID, &v.PlatinumPublID, &v.GoldPublID,
              &doc.MakeMoneyButton, &v.AppHelpURL, &v.CopyrightYears, &v.CopyrightCompany, &v.AboutText})
            kept += field->isEmpty() ? 0 : 1;
        return kept;
    };
    auto documentOf = [&](const StringList& names) {
        QByteArray document;
        for (const QByteArray& name : names)
            document += tag(name, valueOf(name));
        return document;
    };

    QCOMPARE(LintSettingsDocument(documentOf(order)), QList<QByteArray>{});
    const int all = keptValues(documentOf(order));
    QCOMPARE(all, 16 + 3 * 16); // every tag but AffiliateTYPE, whose value is dropped

    // Two neighbours swapped: the loader loses the one that now stands first, and the lint names it.
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        StringList swapped = order;
        swapped.swapItemsAt(i, i + 1);
        const QByteArray document = documentOf(swapped);
        const QByteArray lost = order[i + 1];
        const StringList warnings = LintSettingsDocument(document);
        QVERIFY2(!warnings.isEmpty() && warnings.first().startsWith("tag " + lost + " is never read"),
                 lost.constData());
        if (lost != "AffiliateTYPE")
            QVERIFY2(keptValues(document) < all, lost.constData());
    }
}

void TestSettingsLint::deliveredFiles_data()
{
    // Files beside the settings file; a picture file here holds "width height frames" for the probe.
    QTest::addColumn<QByteArray>("banner");     // the Banner1 value
    QTest::addColumn<QByteArray>("bannerFile"); // banner1.dat; none when empty
    QTest::addColumn<QByteArray>("skin");       // mainskin.dat; none when empty
    QTest::addColumn<QByteArray>("icon");       // main.ico; none when empty
    QTest::addColumn<QList<QByteArray>>("expected");
    const QByteArray shown = "; when it is drawn, the banner panel is hidden";
    QTest::newRow("all within the limits")
        << QByteArray("b.png^http://b/") << QByteArray("468 60 1") << QByteArray("QWidget { color: red; }")
        << QByteArray("32 32 1") << QList<QByteArray>{};
    QTest::newRow("banner missing") << QByteArray("b.png^http://b/") << QByteArray() << QByteArray() << QByteArray()
                                    << QList<QByteArray>{"banner1.dat is missing: when Banner1 is drawn, the banner "
                                                         "panel is hidden"};
    QTest::newRow("banner no picture") << QByteArray("b.png^http://b/") << QByteArray("text") << QByteArray()
                                       << QByteArray()
                                       << QList<QByteArray>{"banner1.dat (Banner1) is not shown: it is no picture the "
                                                            "program can show" +
                                                            shown};
    QTest::newRow("banner side over the limit")
        << QByteArray("b.png^http://b/") << QByteArray("4097 10 1") << QByteArray() << QByteArray()
        << QList<QByteArray>{"banner1.dat (Banner1) is not shown: at 4097 x 10 pixels it is over the 4096 pixels a "
                             "side may have" +
                             shown};
    QTest::newRow("animation at the limit") << QByteArray("B.GIF^http://b/") << QByteArray("1024 1024 64")
                                            << QByteArray() << QByteArray() << QList<QByteArray>{};
    QTest::newRow("animation one frame over")
        << QByteArray("B.GIF^http://b/") << QByteArray("1024 1024 65") << QByteArray() << QByteArray()
        << QList<QByteArray>{"banner1.dat (Banner1) is not shown: its 65 frames of 1024 x 1024 pixels take more than "
                             "the 256 MiB an animated banner may take" +
                             shown};
    QTest::newRow("still picture: frames do not count") << QByteArray("b.png^http://b/") << QByteArray("1024 1024 65")
                                                        << QByteArray() << QByteArray() << QList<QByteArray>{};
    QTest::newRow("skin no style sheet")
        << QByteArray("b.png^http://b/") << QByteArray("1 1 1") << QByteArray("\x01\x02\x03") << QByteArray()
        << QList<QByteArray>{"mainskin.dat is not used: it is no style sheet, plain or compressed, of at most 4194304 "
                             "bytes; the built-in look stays"};
    QTest::newRow("icon side over the limit")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray("1025 16 1")
        << QList<QByteArray>{"main.ico is not used: at 1025 x 16 pixels it is over the 1024 pixels a side may have; "
                             "the built-in icon stays"};
}

void TestSettingsLint::deliveredFiles()
{
    QFETCH(QByteArray, banner);
    QFETCH(QByteArray, bannerFile);
    QFETCH(QByteArray, skin);
    QFETCH(QByteArray, icon);
    QFETCH(QList<QByteArray>, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto write = [&](const char* name, const QByteArray& content) {
        if (content.isEmpty())
            return;
        QFile f(dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    write("banner1.dat", bannerFile);
    write("mainskin.dat", skin);
    write("main.ico", icon);
    const PictureProbe probe = [](const QString& path) -> std::optional<PictureInfo> {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QList<QByteArray> numbers = f.readAll().split(' ');
        if (numbers.size() != 3)
            return std::nullopt;
        return PictureInfo{numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt()};
    };
    const QByteArray document = banner.isEmpty() ? soundDocument() : tag("Banner1", banner);
    QCOMPARE(LintDeliveredFiles(dir.path(), banner.isEmpty() ? QByteArray() : document, probe), expected);
}

QTEST_GUILESS_MAIN(TestSettingsLint)
#include "tst_settingslint.moc"
