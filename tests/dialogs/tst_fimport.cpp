// The import's preview: what it lists, and its answer as the real modal dialog gives it.
#include "dialogs/FImport.h"
#include "records/RecordImport.h"
#include "support/Controls.h"
#include "support/ModalDriver.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace Records;

namespace {

ImportPlan plan(const QByteArray& csv, const StringList& categories = {}, const StringList& items = {})
{
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    return planImport(buffer, categories, items);
}

QStringList rows(const QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

const QByteArray kKeePass = "Group,Title,Username,Password,URL,Notes\n"
                            "Root/Shops,Amazon,u,p,https://a/,\n"
                            "Root/Shops,Amazon,u2,p,https://a/,\n"
                            "Root/New <b>bold</b>,X,u,p,https://x/,\n"
                            "Root/Shops,\xE6\x97\xA5,u,p,https://a/,\n"
                            "Root/Shops,Same,u,p,,\n";

} // namespace

class TestFImport : public QObject
{
    Q_OBJECT

private slots:
    void lists()
    {
        const ImportPlan p = plan(kKeePass, {"Shops"}, {"Shops\xA5Same\xA5\xA5\xA5\xA5u\xA5p\xA5\xA5\xA5\xA5\xA5\xA5"});
        TfrmImport dialog(p, QStringLiteral("/some/where/export.csv"));
        QCOMPARE(named<QLabel>(dialog, "lblSummary")->text(),
                 QStringLiteral("export.csv (KeePassXC export): 3 items to add in 2 categories (1 new), 1 row skipped, "
                                "1 item already there. 1 item whose title is taken in its category get a number, such "
                                "as \" (2)\"."));
        QCOMPARE(named<QLabel>(dialog, "lblSummary")->textFormat(), Qt::PlainText);
        QCOMPARE(rows(named<QTreeWidget>(dialog, "lvwCategories")), (QStringList{"Shops|2|", "New <b>bold</b>|1|new"}));
        QCOMPARE(rows(named<QTreeWidget>(dialog, "lvwSkipped")),
                 QStringList{"5|\u65E5|Title|holds \"\u65E5\" (U+65E5), which Windows-1252 has no character for"});
        QVERIFY(!named<QTreeWidget>(dialog, "lvwSkipped")->isHidden());
        QVERIFY(named<QPushButton>(dialog, "btnImport")->isEnabled());
    }

    void nothingToAdd()
    {
        // Only rows already there: nothing to import, no list of skipped rows.
        const ImportPlan p = plan("Group,Title,Username,Password,URL\nRoot/Shops,Same,u,p,\n", {"Shops"},
                                  {"Shops\xA5Same\xA5\xA5\xA5\xA5u\xA5p\xA5\xA5\xA5\xA5\xA5\xA5"});
        TfrmImport dialog(p, QStringLiteral("x.csv"));
        QVERIFY(!named<QPushButton>(dialog, "btnImport")->isEnabled());
        QVERIFY(named<QTreeWidget>(dialog, "lvwSkipped")->isHidden());
        QVERIFY(named<QTreeWidget>(dialog, "lvwCategories")->topLevelItemCount() == 0);
    }

    void manySkipped()
    {
        QByteArray csv = "name,url,username,password\n";
        for (int i = 0; i < 1500; ++i)
            csv += "x,https://x/,\xD0\x91,p\n";
        TfrmImport dialog(plan(csv), QStringLiteral("x.csv"));
        QCOMPARE(named<QTreeWidget>(dialog, "lvwSkipped")->topLevelItemCount(), 1000);
        QCOMPARE(named<QLabel>(dialog, "lblSkipped")->text(),
                 QStringLiteral("Skipped, and not imported (the first 1000 of 1500):"));
    }

    void answers_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("result");
        QTest::newRow("Import") << "btnImport" << true;
        QTest::newRow("Cancel") << "btnCancel" << false;
        QTest::newRow("Escape") << "Escape" << false;
        QTest::newRow("Enter") << "Enter" << true;
    }

    void answers()
    {
        QFETCH(QString, action);
        QFETCH(bool, result);
        const ImportPlan p = plan(kKeePass);
        ModalDriver driver([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("frmImport"));
            if (action.startsWith(QLatin1String("btn"))) {
                named<QPushButton>(modal, action.toLatin1().constData())->click();
                return;
            }
            QKeyEvent press(QEvent::KeyPress, action == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape,
                            Qt::NoModifier);
            QCoreApplication::sendEvent(modal, &press);
        });
        // Unarmed answers: the seam has none queued, so the real dialog shows.
        QCOMPARE(TfrmImport::execute(p, QStringLiteral("x.csv"), nullptr), result);
        QVERIFY(driver.seen);
    }
};

QTEST_MAIN(TestFImport)
#include "tst_fimport.moc"
