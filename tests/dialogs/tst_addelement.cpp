#include "dialogs/FAddElement.h"
#include "platform/MessageBox.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestAddElement : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TMessageBox::clearTestState();
        TfrmAddElement::clearTestQueue();
    }

    // The real dialog: caption and label set by the caller, an empty entry, Enter and Escape
    // ignored, a blank entry refused with the entry kept, the entry returned as typed.
    void realDialog()
    {
        QString caption, label, startText, afterBlank;
        bool openAfterKeys = false, openAfterBlank = false;
        ModalDriver driver([&](QWidget* w) {
            auto* dialog = qobject_cast<TfrmAddElement*>(w);
            QVERIFY(dialog);
            caption = dialog->windowTitle();
            label = dialog->lblLabel->text();
            startText = dialog->edtElement->text();
            QLineEdit* edit = dialog->edtElement;
            QTest::keyClicks(edit, QStringLiteral("  "));
            edit->insert(QStringLiteral("\x01"));
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClick(edit, Qt::Key_Enter);
            QTest::keyClick(edit, Qt::Key_Escape);
            QTest::keyClick(dialog, Qt::Key_Escape);
            openAfterKeys = dialog->isVisible();
            TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
            dialog->btnOk->click();
            openAfterBlank = dialog->isVisible();
            afterBlank = edit->text();
            edit->setText(QStringLiteral("  Shops "));
            dialog->btnOk->click();
        });
        QString entry;
        QVERIFY(TfrmAddElement::execute(QStringLiteral("Add Category"), QStringLiteral("Category:"), &entry));
        QVERIFY(driver.seen);
        QCOMPARE(caption, QStringLiteral("Add Category"));
        QCOMPARE(label, QStringLiteral("Category:"));
        QCOMPARE(startText, QString());
        QVERIFY(openAfterKeys);
        QVERIFY(openAfterBlank);
        QCOMPARE(afterBlank, QStringLiteral("  \x01"));
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages().at(0).text, QStringLiteral("Please enter a value for this field."));
        QCOMPARE(TMessageBox::shownMessages().at(0).buttons, TMessageBox::Buttons::Ok);
        QCOMPARE(entry, QStringLiteral("  Shops "));
    }

    void realDialogCancelAndClose_data()
    {
        QTest::addColumn<bool>("viaButton");
        QTest::newRow("Cancel button") << true;
        QTest::newRow("window closed") << false;
    }

    void realDialogCancelAndClose()
    {
        QFETCH(bool, viaButton);
        ModalDriver driver([viaButton](QWidget* w) {
            auto* dialog = qobject_cast<TfrmAddElement*>(w);
            dialog->edtElement->setText(QStringLiteral("typed"));
            if (viaButton)
                dialog->btnCancel->click();
            else
                dialog->close();
        });
        QString entry = QStringLiteral("unchanged");
        QVERIFY(!TfrmAddElement::execute(QStringLiteral("Add Item"), QStringLiteral("Item:"), &entry));
        QVERIFY(driver.seen);
        QCOMPARE(entry, QStringLiteral("unchanged"));
    }

    void queuedSteps()
    {
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        TfrmAddElement::queueEntry(QString());
        TfrmAddElement::queueEntry(QStringLiteral("\x01 "));
        TfrmAddElement::queueEntry(QStringLiteral(" x"));
        TfrmAddElement::queueCancel();
        QString entry;
        QVERIFY(TfrmAddElement::execute(QStringLiteral("Add Item"), QStringLiteral("Item:"), &entry));
        QCOMPARE(entry, QStringLiteral(" x"));
        QCOMPARE(TMessageBox::shownMessages().size(), 2);
        QVERIFY(!TfrmAddElement::execute(QStringLiteral("Add Item"), QStringLiteral("Item:"), &entry));
        QCOMPARE(TfrmAddElement::queuedSteps(), 0);
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }
};

QTEST_MAIN(TestAddElement)
#include "tst_addelement.moc"
