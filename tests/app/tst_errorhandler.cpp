#include "app/Application.h"
#include "app/ErrorGuard.h"
#include "app/FMain.h"
#include "platform/MessageBox.h"
#include "support/Controls.h"
#include "util/AppError.h"
#include "util/Files.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

// Throws from its event handler, as a faulty window handler would.
class Thrower : public QObject
{
public:
    int kind = 0;
    int handled = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++handled;
        if (kind == 0)
            throw AppError(QStringLiteral("Cannot open file \"x\". No such file"));
        if (kind == 1)
            throw std::runtime_error("runtime failure");
        throw 42;
    }
};

class TestErrorHandler : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { TMessageBox::clearTestState(); }

    void errorInAHandlerIsShownAndTheProgramGoesOn_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("AppError") << 0 << "Cannot open file \"x\". No such file";
        QTest::newRow("std::exception") << 1 << "runtime failure";
        QTest::newRow("anything else") << 2 << "Unknown error.";
    }
    void errorInAHandlerIsShownAndTheProgramGoesOn()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        Thrower thrower;
        thrower.kind = kind;
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        // The event loop survives the first error and delivers the second event.
        QTRY_COMPARE(thrower.handled, 2);
        QCOMPARE(TMessageBox::shownMessages().size(), 2);
        QCOMPARE(TMessageBox::shownMessages()[0].kind, TMessageBox::Kind::Warning);
        QCOMPARE(TMessageBox::shownMessages()[0].text, message);
    }

    void errorInAClickHandler()
    {
        QPushButton button;
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&] {
            ++clicks;
            throw AppError(QStringLiteral("Stream write error"));
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages()[0].text, QStringLiteral("Stream write error"));
    }

    // A handler connected through the guard reports its error itself: the emit returns normally,
    // so no exception unwinds through Qt's signal code, and the arguments reach the handler.
    void guardedHandlerReportsAndTheEmitReturns()
    {
        QPushButton button;
        QList<bool> seen;
        QObject::connect(&button, &QPushButton::clicked, &button, guarded([&](bool checked) {
            seen << checked;
            throw AppError(QStringLiteral("handler failed"));
        }));
        int after = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, guarded([&] { ++after; }));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        bool returned = false;
        try {
            button.click();
            returned = true;
        } catch (...) {
        }
        QVERIFY(returned);
        QCOMPARE(seen, QList<bool>{false});
        QCOMPARE(after, 1); // the next slot of the same signal still ran
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages()[0].text, QStringLiteral("handler failed"));
    }

    void errorInACreationStepIsReportedAndCreationGoesOn()
    {
        int after = 0;
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        runGuarded([] { throw AppError(QStringLiteral("step failed")); });
        runGuarded([&] { ++after; });
        QCOMPARE(after, 1);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages()[0].text, QStringLiteral("step failed"));

        // A window whose loading fails still opens, with the rest of its creation done.
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("categories.dat"));
        UUtils::setAppDir(dir.path());
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        {
            TfrmMain window;
            QVERIFY(named<QTimer>(window, "Timer1")->isActive()); // the step after the failing one ran
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(TMessageBox::shownMessages().size(), 2);
            QVERIFY(TMessageBox::shownMessages()[1].text.startsWith("Cannot open file"));
        }
        UUtils::setAppDir({});
        QCOMPARE(TMessageBox::queuedAnswers(), 0);
    }
};

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestErrorHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorhandler.moc"
