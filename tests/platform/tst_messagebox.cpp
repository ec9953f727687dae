#include "platform/MessageBox.h"
#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QScreen>
#include <QtTest>

Q_DECLARE_METATYPE(TMessageBox::Buttons)
Q_DECLARE_METATYPE(TMessageBox::Answer)

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void init() { TMessageBox::clearTestState(); }

    void realBoxAnswers_data();
    void realBoxAnswers();
    void realBoxLooks_data();
    void realBoxLooks();
    void queuedAnswersShowNoBox();
};

enum Action
{
    PressEnter,
    PressEscape,
    CloseWindow,
    ClickYes,
    ClickNo
};
Q_DECLARE_METATYPE(Action)

void TestMessageBox::realBoxAnswers_data()
{
    QTest::addColumn<TMessageBox::Buttons>("buttons");
    QTest::addColumn<Action>("action");
    QTest::addColumn<TMessageBox::Answer>("answer");

    using B = TMessageBox::Buttons;
    using A = TMessageBox::Answer;
    QTest::newRow("ok enter") << B::Ok << PressEnter << A::Ok;
    QTest::newRow("ok escape") << B::Ok << PressEscape << A::Ok;
    QTest::newRow("ok close") << B::Ok << CloseWindow << A::Cancel;
    QTest::newRow("okcancel enter") << B::OkCancel << PressEnter << A::Ok;
    QTest::newRow("okcancel escape") << B::OkCancel << PressEscape << A::Cancel;
    QTest::newRow("okcancel close") << B::OkCancel << CloseWindow << A::Cancel;
    QTest::newRow("yesnocancel enter") << B::YesNoCancel << PressEnter << A::Yes;
    QTest::newRow("yesnocancel escape") << B::YesNoCancel << PressEscape << A::Cancel;
    QTest::newRow("yesnocancel close") << B::YesNoCancel << CloseWindow << A::Cancel;
    QTest::newRow("yesnocancel click yes") << B::YesNoCancel << ClickYes << A::Yes;
    QTest::newRow("yesnocancel click no") << B::YesNoCancel << ClickNo << A::No;
}

void TestMessageBox::realBoxAnswers()
{
    QFETCH(TMessageBox::Buttons, buttons);
    QFETCH(Action, action);
    QFETCH(TMessageBox::Answer, answer);

    ModalDriver driver([action](QWidget* box) {
        // A key goes where the user's key would go: to the box's focused button.
        QWidget* target = box->focusWidget() ? box->focusWidget() : box;
        switch (action) {
        case PressEnter:
            QTest::keyClick(target, Qt::Key_Return);
            break;
        case PressEscape:
            QTest::keyClick(target, Qt::Key_Escape);
            break;
        case CloseWindow:
            box->close();
            break;
        case ClickYes:
            box->findChild<QAbstractButton*>("btnYes")->click();
            break;
        case ClickNo:
            box->findChild<QAbstractButton*>("btnNo")->click();
            break;
        }
    });
    const TMessageBox::Answer got = TMessageBox::warning(QStringLiteral("Question?"), buttons);
    QVERIFY(driver.seen);
    QCOMPARE(got, answer);
    QCOMPARE(TMessageBox::shownMessages().size(), 1);
}

void TestMessageBox::realBoxLooks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<TMessageBox::Buttons>("buttons");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("buttonTexts");

    using B = TMessageBox::Buttons;
    QTest::newRow("warning ok") << int(TMessageBox::Kind::Warning) << B::Ok << "Warning" << QStringList{"OK"};
    QTest::newRow("information okcancel")
        << int(TMessageBox::Kind::Information) << B::OkCancel << "Information" << QStringList{"Cancel", "OK"};
    QTest::newRow("warning yesnocancel") << int(TMessageBox::Kind::Warning) << B::YesNoCancel << "Warning"
                                         << QStringList{"&No", "&Yes", "Cancel"};
}

void TestMessageBox::realBoxLooks()
{
    QFETCH(int, kind);
    QFETCH(TMessageBox::Buttons, buttons);
    QFETCH(QString, caption);
    QFETCH(QStringList, buttonTexts);

    QString seenCaption, seenText;
    QStringList seenButtons;
    bool modal = false;
    QPoint centreOffset;
    ModalDriver driver([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        seenCaption = box->windowTitle();
        seenText = box->text();
        for (QAbstractButton* b : box->buttons())
            seenButtons << b->text();
        modal = box->isModal();
        centreOffset = box->frameGeometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
        box->close();
    });
    TMessageBox::show(TMessageBox::Kind(kind), QStringLiteral("Some text"), buttons);
    QVERIFY(driver.seen);
    QCOMPARE(seenCaption, caption);
    QCOMPARE(seenText, QStringLiteral("Some text"));
    seenButtons.sort();
    QCOMPARE(seenButtons, buttonTexts);
    QVERIFY(modal);
    QVERIFY2(qAbs(centreOffset.x()) <= 2 && qAbs(centreOffset.y()) <= 2, "box is centred on the screen");
}

void TestMessageBox::queuedAnswersShowNoBox()
{
    TMessageBox::setNextAnswer(TMessageBox::Answer::No);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Cancel);
    QCOMPARE(TMessageBox::warning("first", TMessageBox::Buttons::YesNoCancel), TMessageBox::Answer::No);
    QCOMPARE(TMessageBox::information("second", TMessageBox::Buttons::OkCancel), TMessageBox::Answer::Cancel);
    QCOMPARE(TMessageBox::queuedAnswers(), 0);
    QCOMPARE(TMessageBox::shownMessages().size(), 2);
    QCOMPARE(TMessageBox::shownMessages().at(1).text, QStringLiteral("second"));
    QCOMPARE(TMessageBox::shownMessages().at(1).kind, TMessageBox::Kind::Information);
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
