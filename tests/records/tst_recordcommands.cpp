#include "records/RecordCommands.h"

#include <QtTest>

using namespace Records;

// '~' stands for the separator 0xA5; "\xC9" etc. are Windows-1252 bytes.
static QByteArray b(const char* text)
{
    QByteArray out(text);
    out.replace('~', char(0xA5));
    return out;
}

static StringList list(std::initializer_list<const char*> lines)
{
    StringList out;
    for (const char* line : lines)
        out.append(b(line));
    return out;
}

class TestRecordCommands : public QObject
{
    Q_OBJECT
private slots:
    void findCategoryFoldedTrimmed_data()
    {
        QTest::addColumn<StringList>("names");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qsizetype>("skip");
        QTest::addColumn<qsizetype>("found");
        const StringList names = list({"Shops", " Travel\t", "caf\xE9", "x"});
        QTest::newRow("exact") << names << b("Shops") << qsizetype(-1) << qsizetype(0);
        QTest::newRow("ascii case folded") << names << b("sHOPS") << qsizetype(-1) << qsizetype(0);
        QTest::newRow("entry trimmed") << names << b("\x01 shops \r") << qsizetype(-1) << qsizetype(0);
        QTest::newRow("stored name trimmed") << names << b("travel") << qsizetype(-1) << qsizetype(1);
        QTest::newRow("accented letter not folded") << names << b("CAF\xC9") << qsizetype(-1) << qsizetype(-1);
        QTest::newRow("accented letter same case") << names << b("CAF\xE9") << qsizetype(-1) << qsizetype(2);
        QTest::newRow("inner blank significant") << names << b("Sho ps") << qsizetype(-1) << qsizetype(-1);
        QTest::newRow("skipped own node") << names << b("SHOPS ") << qsizetype(0) << qsizetype(-1);
        QTest::newRow("other node found despite skip") << names << b("X") << qsizetype(0) << qsizetype(3);
        QTest::newRow("empty list") << StringList() << b("a") << qsizetype(-1) << qsizetype(-1);
    }
    void findCategoryFoldedTrimmed()
    {
        QFETCH(StringList, names);
        QFETCH(QByteArray, entry);
        QFETCH(qsizetype, skip);
        QFETCH(qsizetype, found);
        QCOMPARE(Records::findCategoryFoldedTrimmed(names, entry, skip), found);
    }

    void itemExistsFolded_data()
    {
        QTest::addColumn<QByteArray>("category");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<bool>("exists");
        QTest::newRow("same") << b("Shops") << b("Amazon") << true;
        QTest::newRow("both folded") << b("SHOPS") << b("aMAZON") << true;
        QTest::newRow("trailing blank significant") << b("Shops") << b("Amazon ") << false;
        QTest::newRow("category blank significant") << b("Shops ") << b("Amazon") << false;
        QTest::newRow("accent not folded") << b("Shops")
                                           << b("\xC9"
                                                "BAY")
                                           << false;
        QTest::newRow("accent same") << b("Shops")
                                     << b("\xE9"
                                          "bay")
                                     << true;
        QTest::newRow("other category") << b("Travel") << b("Amazon") << false;
        QTest::newRow("title is last field, no separator after") << b("Bare") << b("Only") << true;
        QTest::newRow("title of a line without fields") << b("Lonely") << b("x") << false;
        QTest::newRow("category of a later field") << b("Amazon") << b("x") << false;
    }
    void itemExistsFolded()
    {
        QFETCH(QByteArray, category);
        QFETCH(QByteArray, title);
        QFETCH(bool, exists);
        const StringList items = list({"Shops~Amazon~~~~~~~~~~~~~",
                                       "Shops~\xE9"
                                       "bay~p~~~~~~~~~d~",
                                       "Bare~Only", "Lonely", "", "Shops~x~Amazon~"});
        QCOMPARE(Records::itemExistsFolded(items, category, title), exists);
    }

    void renameCategory()
    {
        StringList items =
            list({"shops~a~~", "Shops~b~Shops~", "Shops", "Shops~", "ShopsX~c~", "Travel~Shops~", "Shops~~d~\xE9~"});
        QCOMPARE(renameCategoryItems(items, b("Shops"), b(" Stores")), qsizetype(3));
        QCOMPARE(items, list({"shops~a~~", " Stores~b~Shops~", "Shops", " Stores~", "ShopsX~c~", "Travel~Shops~",
                              " Stores~~d~\xE9~"}));
    }

    void categoryEntryOfNode()
    {
        // The node's own entry, also when another entry differs from it only in letter case.
        const StringList categories = list({"Shops", "Travel", "SHOPS", "shops "});
        QCOMPARE(Records::categoryEntryOfNode(categories, 0, b("Shops")), qsizetype(0));
        QCOMPARE(Records::categoryEntryOfNode(categories, 2, b("SHOPS")), qsizetype(2));
        // Out of step with the tree: the first entry equal folded, never one merely alike.
        QCOMPARE(Records::categoryEntryOfNode(categories, 7, b("shops")), qsizetype(0));
        QCOMPARE(Records::categoryEntryOfNode(categories, 1, b("sh\xD6ps")), qsizetype(-1));
    }

    void removeCategory()
    {

        StringList items = list({"Shops~a~", "SHOPS~b~", "Travel~Shops~", "Shops~c~~~", "Shops", "Shops~"});
        QCOMPARE(removeCategoryItems(items, b("Shops")), qsizetype(3));
        QCOMPARE(items, list({"SHOPS~b~", "Travel~Shops~", "Shops"}));
    }

    void siblingTitle_data()
    {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<bool>("found");
        QTest::newRow("own title") << b("Amazon") << false;
        QTest::newRow("sibling's title") << b("eBay") << true;
        QTest::newRow("other case") << b("EBAY") << false;
        QTest::newRow("surrounding blank") << b("eBay ") << false;
        QTest::newRow("empty title, sibling empty") << b("") << true;
    }
    void siblingTitle()
    {
        QFETCH(QByteArray, title);
        QFETCH(bool, found);
        QCOMPARE(hasSiblingTitle(list({"Amazon", "eBay", ""}), 0, title), found);
    }

    void checkStorableText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("multiLine");
        QTest::addColumn<QString>("problem"); // a word of the message, or empty when storable
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << QStringLiteral(" a b ") << false << QString() << b(" a b ");
        QTest::newRow("western letters and signs") << QStringLiteral("\u00E9\u20AC\u00A7\u00A0\u0081") << false
                                                   << QString() << QByteArray("\xE9\x80\xA7\xA0\x81");
        QTest::newRow("control bytes") << QStringLiteral("\x01\t\x1F") << false << QString()
                                       << QByteArray("\x01\t\x1F");
        QTest::newRow("separator") << QStringLiteral("a\u00A5b") << false << QStringLiteral("separate") << QByteArray();
        QTest::newRow("separator in description")
            << QStringLiteral("a\u00A5") << true << QStringLiteral("separate") << QByteArray();
        QTest::newRow("cyrillic") << QStringLiteral("\u0416") << false << QStringLiteral("\u0416") << QByteArray();
        QTest::newRow("emoji") << QStringLiteral("x\U0001F600") << true << QStringLiteral("\U0001F600") << QByteArray();
        QTest::newRow("line break in one-line field")
            << QStringLiteral("a\nb") << false << QStringLiteral("line break") << QByteArray();
        QTest::newRow("carriage return in one-line field")
            << QStringLiteral("a\rb") << false << QStringLiteral("line break") << QByteArray();
        QTest::newRow("line breaks in description")
            << QStringLiteral("a\r\nb\n") << true << QString() << QByteArray("a\r\nb\n");
        QTest::newRow("NUL") << QString(QChar(0)) << true << QStringLiteral("NUL") << QByteArray();
    }
    void checkStorableText()
    {
        QFETCH(QString, text);
        QFETCH(bool, multiLine);
        QFETCH(QString, problem);
        QFETCH(QByteArray, bytes);
        QByteArray got = "untouched";
        const QString message = Records::checkStorableText(
            text, QStringLiteral("Password"), multiLine ? TextKind::MultiLine : TextKind::SingleLine, &got);
        if (problem.isEmpty()) {
            QCOMPARE(message, QString());
            QCOMPARE(got, bytes);
        } else {
            QVERIFY2(message.contains(problem), qPrintable(message));
            QVERIFY(message.contains(QStringLiteral("\"Password\"")));
            QCOMPARE(got, QByteArray("untouched"));
        }
    }
};

QTEST_MAIN(TestRecordCommands)
#include "tst_recordcommands.moc"
