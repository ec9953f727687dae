// The test seams as the program sees them (this test program does not arm them at start), then
// armed, then emptied by the one reset.
#include "dialogs/FAddElement.h"
#include "news/UpdateLogic.h"
#include "platform/MessageBox.h"
#include "platform/ShellLauncher.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

class TestTestSeams : public QObject
{
    Q_OBJECT

    // Asks every seam to queue, record or override something.
    void useEverySeam(const QString& dir)
    {
        TMessageBox::setNextAnswer(TMessageBox::Answer::Cancel);
        TfrmAddElement::queueEntry(QStringLiteral("typed entry"));
        ShellLauncher::setRecording(true);
        UUtils::setAppDir(dir);
        Update::setUpdateBaseUrl("http://127.0.0.1:1/liveupdate/quillet/");
    }

private slots:
    // Order matters: the seams are armed once and stay armed for the rest of the process.
    void inertUntilArmed()
    {
        QVERIFY(!TestSeams::armed());
        QTemporaryDir dir;
        useEverySeam(dir.path());
        QCOMPARE(TMessageBox::queuedAnswers(), 0);
        QCOMPARE(TfrmAddElement::queuedSteps(), 0);
        QCOMPARE(UUtils::appDir(), QCoreApplication::applicationDirPath() + u'/');
        QCOMPARE(Update::updateBaseUrl(), QByteArray(QUILLET_UPDATE_BASE_URL));

        // A message is shown for real and its text is kept nowhere.
        ModalDriver driver([](QWidget* box) {
            if (auto* message = qobject_cast<QMessageBox*>(box))
                message->buttons().first()->click();
        });
        QCOMPARE(TMessageBox::warning(QStringLiteral("password: hunter2")), TMessageBox::Answer::Ok);
        QVERIFY(driver.seen);
        QVERIFY(TMessageBox::shownMessages().isEmpty());

        // Not recording: the program is started, and nothing is kept.
        QVERIFY(ShellLauncher::startDetached(QStringLiteral("true"), {}));
        QVERIFY(ShellLauncher::started().isEmpty());
    }

    void armedThenResetByOneCall()
    {
        TestSeams::arm();
        QTemporaryDir dir;
        useEverySeam(dir.path());
        QCOMPARE(TMessageBox::queuedAnswers(), 1);
        QCOMPARE(TfrmAddElement::queuedSteps(), 1);
        QCOMPARE(UUtils::appDir(), QDir(dir.path()).absolutePath() + u'/');
        QCOMPARE(Update::updateBaseUrl(), QByteArray("http://127.0.0.1:1/liveupdate/quillet/"));
        QCOMPARE(TMessageBox::information(QStringLiteral("queued")), TMessageBox::Answer::Cancel);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QVERIFY(ShellLauncher::startDetached(QStringLiteral("no-such-program-is-started"), {QStringLiteral("x")}));
        QCOMPARE(ShellLauncher::started().size(), 1);
        TfrmAddElement::queueEntry(QStringLiteral("left over"));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);

        TestSeams::reset();
        QCOMPARE(TMessageBox::queuedAnswers(), 0);
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(TfrmAddElement::queuedSteps(), 0);
        QVERIFY(ShellLauncher::started().isEmpty());
        QCOMPARE(UUtils::appDir(), QCoreApplication::applicationDirPath() + u'/');
        QCOMPARE(Update::updateBaseUrl(), QByteArray(QUILLET_UPDATE_BASE_URL));
        // Recording is off again: a request would start the program (not tried here).
        ShellLauncher::clearTestState();
        ShellLauncher::openUrl(QString());
        QVERIFY(ShellLauncher::started().isEmpty());
    }
};

QTEST_MAIN(TestTestSeams)
#include "tst_testseams.moc"
