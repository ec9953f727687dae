#include "records/ItemFind.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

// The find field's byte search, against std::search as the oracle.
class TestItemFind : public QObject
{
    Q_OBJECT
private slots:
    void containsBytes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("needle");
        QTest::newRow("empty needle") << QByteArray("abc") << QByteArray();
        QTest::newRow("empty text") << QByteArray() << QByteArray("ab");
        QTest::newRow("needle longer than text") << QByteArray("ab") << QByteArray("abc");
        QTest::newRow("one byte") << QByteArray("xyz") << QByteArray("z");
        QTest::newRow("whole text") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("first two bytes only") << QByteArray(40, 'a') + "ab" << QByteArray("abc");
        QTest::newRow("across fields: NUL between") << QByteArray("ab\0cd", 5) << QByteArray("bc");
        QTest::newRow("high bytes") << QByteArray("\xE9t\xE9", 3) << QByteArray("t\xE9");
        // A match at each place around the 32-position blocks, and in the tail after them.
        for (int at : {0, 30, 31, 32, 33, 63, 64, 95, 97}) {
            QByteArray text(100, 'x');
            text.replace(at, 3, "abc");
            QTest::addRow("match at %d", at) << text << QByteArray("abc");
            QTest::addRow("match at %d, text cut after it", at) << text.left(at + 3) << QByteArray("abc");
            QTest::addRow("match at %d, text cut inside it", at) << text.left(at + 2) << QByteArray("abc");
        }
        QRandomGenerator random(7);
        for (int i = 0; i < 200; ++i) {
            QByteArray text(int(random.bounded(300)), Qt::Uninitialized);
            for (char& c : text)
                c = "abc\0"[random.bounded(4)];
            QByteArray needle(1 + int(random.bounded(5)), Qt::Uninitialized);
            for (char& c : needle)
                c = "abc"[random.bounded(3)];
            QTest::addRow("random %d", i) << text << needle;
        }
    }
    void containsBytes()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, needle);
        const bool expected =
            std::search(text.begin(), text.end(), needle.begin(), needle.end()) != text.end() || needle.isEmpty();
        QCOMPARE(Records::containsBytes(text, needle), expected);
    }
};

QTEST_GUILESS_MAIN(TestItemFind)
#include "tst_itemfind.moc"
