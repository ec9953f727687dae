#include "records/RecordFiles.h"

#include <QtTest>

using namespace Records;

// '~' stands for the separator 0xA5 and '#' for 0xA7.
static QByteArray b(const char* text)
{
    QByteArray out(text);
    out.replace('~', char(0xA5)).replace('#', char(0xA7));
    return out;
}

static ItemFields fields(std::initializer_list<const char*> values)
{
    ItemFields f;
    int i = 0;
    for (const char* v : values)
        f[i++] = b(v);
    return f;
}

Q_DECLARE_METATYPE(ItemFields)

class TestRecordFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readItemLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<ItemFields>("expected");
        QTest::newRow("full line") << b("C~T~p~w~l~u~pw~a~c~9~10~desc~")
                                   << fields({"C", "T", "p", "w", "l", "u", "pw", "a", "c", "9", "10", "desc"});
        QTest::newRow("new item line reads empty") << b("C~T~~~~~~~~~~~~~") << fields({"C", "T"});
        QTest::newRow("description with crlf")
            << b("C~T~~~~~~~~~~a~~##b~") << fields({"C", "T", "", "", "", "", "", "", "", "", "", "a\r\nb"});
        QTest::newRow("description ending in cr lf")
            << b("C~T~~~~~~~~~~a~~##~") << fields({"C", "T", "", "", "", "", "", "", "", "", "", "a\r\n"});
        QTest::newRow("two line breaks in a row")
            << b("C~T~~~~~~~~~~~~##~~##x~") << fields({"C", "T", "", "", "", "", "", "", "", "", "", "\r\n\r\nx"});
        QTest::newRow("typed section signs")
            << b("C~T~~~~~~~~~~x##y~") << fields({"C", "T", "", "", "", "", "", "", "", "", "", "x\ny"});
        QTest::newRow("no final separator")
            << b("C~T~~~~~~~~~~desc") << fields({"C", "T", "", "", "", "", "", "", "", "", "", "desc"});
        QTest::newRow("short line: missing positions empty") << b("C~T~prog") << fields({"C", "T", "prog"});
        QTest::newRow("short line ending in separator") << b("C~T~") << fields({"C", "T"});
        QTest::newRow("one field") << QByteArray("C") << fields({"C"});
        QTest::newRow("empty line") << QByteArray() << fields({});
        QTest::newRow("high bytes kept") << b("\x80\xff~\xe9~~~~~~~~~~\x9d~")
                                         << fields({"\x80\xff", "\xe9", "", "", "", "", "", "", "", "", "", "\x9d"});
    }
    void readItemLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(ItemFields, expected);
        const ItemFields got = Records::readItemLine(line);
        for (int i = 0; i < kItemFieldCount; ++i)
            QVERIFY2(got[i] == expected[i],
                     qPrintable(QStringLiteral("field %1: %2").arg(i).arg(QString::fromLatin1(got[i].toHex()))));
        QCOMPARE(itemCategory(line), expected[fldCategory]);
        QCOMPARE(itemTitle(line), expected[fldTitle]);
    }

    void buildItemLineRoundTrips_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("empty") << QByteArray() << b("C~T~p~w~l~u~pw~a~c~9~10~~");
        QTest::newRow("a CR LF b") << QByteArray("a\r\nb") << b("C~T~p~w~l~u~pw~a~c~9~10~a~~##b~");
        QTest::newRow("trailing crlf") << QByteArray("x\r\n") << b("C~T~p~w~l~u~pw~a~c~9~10~x~~##~");
        QTest::newRow("separator typed") << b("x~y") << b("C~T~p~w~l~u~pw~a~c~9~10~x~y~");
        QTest::newRow("many lines") << QByteArray("1\r\n2\r\n\r\n3") << b("C~T~p~w~l~u~pw~a~c~9~10~1~~##2~~##~~##3~");
    }
    void buildItemLineRoundTrips()
    {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, stored);
        ItemFields f = fields({"C", "T", "p", "w", "l", "u", "pw", "a", "c", "9", "10"});
        f[fldDescription] = description;
        QCOMPARE(buildItemLine(f), stored);
        const ItemFields back = Records::readItemLine(stored);
        for (int i = 0; i < kItemFieldCount; ++i)
            QCOMPARE(back[i], f[i]);
    }

    void newItemLineIsAFullLineWithALoneCr()
    {
        const QByteArray line = newItemLine("C", "T");
        QCOMPARE(line, b("C~T~~~~~~~~~~~~~"));
        ItemFields f = fields({"C", "T"});
        f[fldDescription] = "\r";
        QCOMPARE(buildItemLine(f), line);
        QVERIFY(Records::readItemLine(line)[fldDescription].isEmpty());
    }

    void editorLineBreaks_data()
    {
        QTest::addColumn<QByteArray>("editor");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("lf becomes crlf") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n");
        QTest::newRow("crlf stays") << QByteArray("a\r\nb") << QByteArray("a\r\nb") << QByteArray("a\nb");
        QTest::newRow("lone cr") << QByteArray("a\rb") << QByteArray("a\r\nb") << QByteArray("a\nb");
        QTest::newRow("no breaks") << QByteArray("plain") << QByteArray("plain") << QByteArray("plain");
    }
    void editorLineBreaks()
    {
        QFETCH(QByteArray, editor);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, shown);
        QCOMPARE(descriptionFromEditor(editor), stored);
        QCOMPARE(descriptionToEditor(stored), shown);
    }

    void placeItems()
    {
        const StringList categories{"Hosting", "Tools", "Hosting", "", "T"};
        const StringList items{
            b("Hosting~A~~"), // 0: first "Hosting" wins over the duplicate
            b("Nowhere~B~"),  // 1: unknown category
            b(""),            // 2: no field
            b("Tools"),       // 3: one field
            b("Tools~"),      // 4: one field (a trailing separator adds none)
            b("~Empty~"),     // 5: the category with an empty name
            b("Tools~C"),     // 6
            b("hosting~D~"),  // 7: case matters
            b("Tools~T~"),    // 8: an item titled like the category "T" stays under Tools
            b("T~E~"),        // 9
            b("Tools~~"),     // 10: two fields, empty title
        };
        const QList<ItemPlacement> placed = Records::placeItems(categories, items);
        QList<std::tuple<qsizetype, qsizetype, QByteArray>> got;
        for (const ItemPlacement& p : placed)
            got.append({p.line, p.category, p.title});
        const QList<std::tuple<qsizetype, qsizetype, QByteArray>> expected{{0, 0, "A"}, {5, 3, "Empty"}, {6, 1, "C"},
                                                                           {8, 1, "T"}, {9, 4, "E"},     {10, 1, ""}};
        QCOMPARE(got, expected);
    }

    void findItemLine()
    {
        const StringList items{b("Ca~Tb~"), b("C~aTb~"), b("C~T~x~"), b("C~T~y~"), b("C")};
        QCOMPARE(Records::findItemLine(items, "C", "T"), 2);
        QCOMPARE(Records::findItemLine(items, "Ca", "Tb"), 0);
        QCOMPARE(Records::findItemLine(items, "C", "aTb"), 1);
        QCOMPARE(Records::findItemLine(items, "C", "t"), -1);
        QCOMPARE(Records::findItemLine(items, "C", ""), -1);
    }
};

QTEST_APPLESS_MAIN(TestRecordFiles)
#include "tst_recordfiles.moc"
