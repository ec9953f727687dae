// Records protected by a pass phrase, through the real window: protect, lock, unlock, change and
// remove the pass phrase, a wrong pass phrase, the inactivity lock, and damaged protected files.
#include "app/FMain.h"
#include "branding/Branding.h"
#include "crypto/AgeFile.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "records/RecordStore.h"
#include "support/AgeTool.h"
#include "support/AppFolder.h"
#include "support/Controls.h"
#include "support/FileSizeLimit.h"
#include "support/ModalDriver.h"
#include "support/TestHttpServer.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWebEngineHistory>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {

constexpr int kFastFactor = 10;
const QByteArray kCategories = "Shops\r\nTravel\r\n";
const QByteArray kItems = "Shops\xA5"
                          "Amazon\xA5prog\xA5\xA5\xA5user\xA5s3cret\xA5\xA5\xA5\xA5\xA5\xA5\r\n";

QByteArray opened(const QByteArray& file, const QByteArray& passPhrase)
{
    QByteArray plain;
    return Age::decrypt(file, passPhrase, &plain) == Age::Status::Ok ? plain : QByteArray("<not opened>");
}

} // namespace

class TestLock : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TfrmMain> m_window;

    TfrmMain* open()
    {
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        named<QTimer>(m_window, "Timer1")->stop(); // no news poll in these tests
        QCoreApplication::processEvents();
        return m_window.get();
    }

    QWidget* page() const { return named<QStackedWidget>(m_window, "pgcPrinc")->currentWidget(); }

    QString selectedPath() const
    {
        const QTreeWidgetItem* node = named<QTreeWidget>(m_window, "tvwMain")->currentItem();
        if (!node)
            return {};
        return node->parent() ? node->parent()->text(0) + '/' + node->text(0) : node->text(0);
    }

    void select(const QString& category, const QString& item = {})
    {
        QTreeWidget* tree = named<QTreeWidget>(m_window, "tvwMain");
        const QList<QTreeWidgetItem*> found = tree->findItems(category, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        QTreeWidgetItem* node = found.first();
        if (!item.isEmpty()) {
            for (int i = 0; i < node->childCount(); ++i) {
                if (node->child(i)->text(0) == item)
                    node = node->child(i);
            }
        }
        tree->setCurrentItem(node);
    }

    // Answers the pass phrase dialog that the next action opens.
    std::unique_ptr<ModalDriver> answerDialog(const QString& passPhrase, const QString& repeat)
    {
        return std::make_unique<ModalDriver>([passPhrase, repeat](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("frmPassPhrase"));
            QCOMPARE(named<QLineEdit>(dialog, "edtPassPhrase")->echoMode(), QLineEdit::Password);
            QCOMPARE(named<QLineEdit>(dialog, "edtRepeat")->echoMode(), QLineEdit::Password);
            named<QLineEdit>(dialog, "edtPassPhrase")->setText(passPhrase);
            named<QLineEdit>(dialog, "edtRepeat")->setText(repeat);
            named<QPushButton>(dialog, "btnOk")->click();
            // A refused entry leaves the dialog open: cancel it then.
            if (dialog->isVisible() && !named<QLabel>(dialog, "lblWorking")->isVisible())
                named<QPushButton>(dialog, "btnCancel")->click();
        });
    }

    // Sets the pass phrase "pass" through the dialog, as the user does with btnLock.
    void protect(TfrmMain* w)
    {
        auto driver = answerDialog(QStringLiteral("pass"), QStringLiteral("pass"));
        named<QToolButton>(w, "btnLock")->click();
    }

    // The plain records kCategories and kItems, opened, then protected with "pass".
    TfrmMain* openProtected()
    {
        writeFile("categories.dat", kCategories);
        writeFile("items.dat", kItems);
        TfrmMain* w = open();
        protect(w);
        return w;
    }

    void unlockWith(const QString& passPhrase)
    {
        named<QLineEdit>(m_window, "edtUnlock")->setText(passPhrase);
        QTest::keyClick(named<QLineEdit>(m_window, "edtUnlock"), Qt::Key_Return); // Enter presses btnUnlock
        QVERIFY(m_window->isKeyWorkRunning());
        QVERIFY(named<QLabel>(m_window, "lblUnlockWorking")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isKeyWorkRunning(), 20000);
    }

    QStringList shown() const
    {
        QStringList texts;
        for (const TMessageBox::Shown& box : TMessageBox::shownMessages())
            texts << box.text;
        return texts;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        TestSeams::reset();
        UUtils::setAppDir(m_dir->path());
        branding() = Branding{};
        Records::setProtectWorkFactor(kFastFactor);
    }

    void cleanup() { m_window.reset(); }

    void protectLockUnlockChangeRemove();
    void wrongPassPhraseAndEmptyEntries();
    void startsLockedOnProtectedFiles();
    void halfProtectedRecords();
    void inactivityLock();
    void lockAsksAboutUnsavedEdit();
    void failedSaveIsNotLostToLock();
    void welcomePageComesFirst();
    void lockEmptiesPaneAndClipboard();
    void badProtectedFile_data();
    void badProtectedFile();
};

void TestLock::protectLockUnlockChangeRemove()
{
    writeFile("categories.dat", kCategories);
    writeFile("items.dat", kItems);
    TfrmMain* w = open();
    QCOMPARE(named<QToolButton>(w, "btnLock")->toolTip(), QStringLiteral("Lock"));
    select("Shops", "Amazon");

    // Protect: both files become age files of exactly their plain bytes, under one header.
    const QString passPhrase = QStringLiteral("Grüße €");
    {
        auto driver = answerDialog(passPhrase, passPhrase);
        named<QToolButton>(w, "btnLock")->click();
        QVERIFY(driver->seen);
    }
    QVERIFY(w->isProtected() && !w->isLocked());
    const QByteArray categoriesFile = readFile("categories.dat");
    const QByteArray itemsFile = readFile("items.dat");
    QCOMPARE(opened(categoriesFile, passPhrase.toUtf8()), kCategories);
    QCOMPARE(opened(itemsFile, passPhrase.toUtf8()), kItems);
    QCOMPARE(Age::readHeader(categoriesFile).header, Age::readHeader(itemsFile).header);
    // The real age tool opens what the window wrote.
    const AgeRun run = runAgeWithPassPhrase({"-d", "-o", m_dir->filePath("items.txt"), UUtils::appFile("items.dat")},
                                            passPhrase.toUtf8());
    QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
    QCOMPARE(readFile("items.txt"), kItems);

    // A save while unlocked stays protected.
    named<QLineEdit>(w, "edtProg")->setText(QStringLiteral("program"));
    named<QPushButton>(w, "btnSave")->click();
    QVERIFY(opened(readFile("items.dat"), passPhrase.toUtf8()).contains("program"));
    const QByteArray itemsSaved = readFile("items.dat");

    // Lock: everything in memory goes; nothing is written.
    named<QLineEdit>(w, "edtFind")->setText(QStringLiteral("ama"));
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    named<QTreeWidget>(w, "tvwMain")->setFocus();
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QVERIFY(w->isLocked());
    QCOMPARE(page(), named<QWidget>(w, "stsLocked"));
    QCOMPARE(named<QTreeWidget>(w, "tvwMain")->topLevelItemCount(), 0);
    QVERIFY(w->categoryList().isEmpty() && w->itemList().isEmpty());
    QVERIFY(named<QLineEdit>(w, "edtTitle")->text().isEmpty());
    QVERIFY(named<QLineEdit>(w, "edtPassword")->text().isEmpty());
    QVERIFY(named<QLineEdit>(w, "edtFind")->text().isEmpty());
    QVERIFY(named<QLabel>(w, "lblLocked")->text().contains("items.dat"));
    QCOMPARE(readFile("categories.dat"), categoriesFile);
    QCOMPARE(readFile("items.dat"), itemsSaved);

    // Unlock: the tree as it was, the same node selected.
    unlockWith(passPhrase);
    QVERIFY(!w->isLocked());
    QCOMPARE(page(), named<QWidget>(w, "stsMain"));
    QCOMPARE(w->categoryList(), StringList({"Shops", "Travel"}));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
    QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("program"));

    // Change: the files open with the new pass phrase only.
    {
        auto driver = answerDialog(QStringLiteral("another"), QStringLiteral("another"));
        named<QAction>(w, "actChangePassPhrase")->trigger();
        QVERIFY(driver->seen);
    }
    QCOMPARE(opened(readFile("categories.dat"), "another"), kCategories);
    QCOMPARE(opened(readFile("categories.dat"), passPhrase.toUtf8()), QByteArray("<not opened>"));

    // Remove, after its question: the files are plain again, byte for byte as a plain copy writes them.
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "actRemovePassPhrase")->trigger();
    QVERIFY(!w->isProtected());
    QCOMPARE(readFile("categories.dat"), kCategories);
    QCOMPARE(readFile("items.dat"), QByteArray(kItems).replace("prog", "program"));
}

void TestLock::wrongPassPhraseAndEmptyEntries()
{
    writeFile("categories.dat", kCategories);
    TfrmMain* w = open();

    // The dialog refuses differing entries and an empty pass phrase; nothing is written.
    for (const auto& [first, second] :
         {std::pair{QStringLiteral("one"), QStringLiteral("two")}, std::pair{QString(), QString()}}) {
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        auto driver = answerDialog(first, second);
        named<QToolButton>(w, "btnLock")->click();
        QVERIFY(driver->seen);
        QVERIFY(!w->isProtected());
        QCOMPARE(readFile("categories.dat"), kCategories);
    }
    QCOMPARE(TMessageBox::shownMessages().size(), 2);

    auto driver = answerDialog(QStringLiteral("right"), QStringLiteral("right"));
    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(w->isProtected());
    named<QToolButton>(w, "btnLock")->click(); // locks
    QVERIFY(w->isLocked());
    const QByteArray locked = readFile("categories.dat");

    // A wrong pass phrase: a message, the window stays locked, nothing changes.
    TMessageBox::clearTestState();
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    unlockWith(QStringLiteral("wrong"));
    QVERIFY(w->isLocked());
    QCOMPARE(page(), named<QWidget>(w, "stsLocked"));
    QCOMPARE(shown(), QStringList{"The pass phrase is wrong. The records stay locked."});
    QCOMPARE(readFile("categories.dat"), locked);
    QVERIFY(w->categoryList().isEmpty());

    // The commands' keys do nothing on the locked page.
    QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(readFile("categories.dat"), locked);

    unlockWith(QStringLiteral("right"));
    QVERIFY(!w->isLocked());
    QCOMPARE(w->categoryList(), StringList({"Shops", "Travel"}));
}

// At start with protected files (here as `age -p` would write each: its own header) the window
// opens on the locked page, and nothing is read or written until the unlock.
void TestLock::startsLockedOnProtectedFiles()
{
    writeFile("categories.dat", Age::encrypt(kCategories, Age::newKey("pass", kFastFactor)));
    writeFile("items.dat", Age::encrypt(kItems, Age::newKey("pass", kFastFactor)));
    const QByteArray categories = readFile("categories.dat");
    TfrmMain* w = open();
    QVERIFY(w->isLocked());
    QCOMPARE(page(), named<QWidget>(w, "stsLocked"));
    QVERIFY(w->categoryList().isEmpty());
    QVERIFY(TMessageBox::shownMessages().isEmpty());

    unlockWith(QStringLiteral("pass"));
    QCOMPARE(w->categoryList(), StringList({"Shops", "Travel"}));
    QCOMPARE(w->itemList().size(), 1);
    QCOMPARE(readFile("categories.dat"), categories);
    select("Shops", "Amazon");
    QCOMPARE(named<QLineEdit>(w, "edtPassword")->text(), QStringLiteral("s3cret"));
}

// One file protected, the other plain (a change that did not finish): the window says so, opens
// both after the unlock, and the next save protects the plain one too.
void TestLock::halfProtectedRecords()
{
    writeFile("categories.dat", Age::encrypt(kCategories, Age::newKey("pass", kFastFactor)));
    writeFile("items.dat", kItems);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    TfrmMain* w = open();
    QVERIFY(w->isLocked());
    QCOMPARE(shown().size(), 1);
    QVERIFY(shown().first().contains("categories.dat is protected by a pass phrase but items.dat is not"));
    QCOMPARE(readFile("items.dat"), kItems);

    unlockWith(QStringLiteral("pass"));
    QCOMPARE(w->itemList().size(), 1);
    select("Shops", "Amazon");
    named<QLineEdit>(w, "edtProg")->setText(QStringLiteral("program"));
    named<QPushButton>(w, "btnSave")->click();
    QVERIFY(opened(readFile("items.dat"), "pass").contains("program"));
}

void TestLock::inactivityLock()
{
    TfrmMain::setInactivityLockMs(300);
    writeFile("categories.dat", kCategories);
    writeFile("items.dat", kItems);
    TfrmMain* w = open();
    QVERIFY(!named<QTimer>(w, "InactivityTimer")->isActive()); // plain records never lock
    protect(w);
    QVERIFY(w->isProtected());

    // An unsaved edit holds the lock off, however long the user is away.
    select("Shops", "Amazon");
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), "x");
    QVERIFY(w->isItemChanged());
    QTest::qWait(1000);
    QVERIFY(!w->isLocked());

    // Saved, the records lock once the time runs out without input.
    named<QPushButton>(w, "btnSave")->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isLocked(), 5000);
    QCOMPARE(page(), named<QWidget>(w, "stsLocked"));
    QCOMPARE(named<QTreeWidget>(w, "tvwMain")->topLevelItemCount(), 0);
    QVERIFY(opened(readFile("items.dat"), "pass").contains("xprog"));
}

// A lock by the user asks the editor's save question first; Cancel keeps the records open.
void TestLock::lockAsksAboutUnsavedEdit()
{
    TfrmMain* w = openProtected();
    select("Shops", "Amazon");
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), "x");

    TMessageBox::setNextAnswer(TMessageBox::Answer::Cancel);
    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(!w->isLocked());
    QVERIFY(w->isItemChanged());
    QCOMPARE(shown(), QStringList{"Do you want save the changes you made in this item?"});

    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(w->isLocked());
    QVERIFY(opened(readFile("items.dat"), "pass").contains("xprog"));
}

// A change whose save failed lives only in the lists, which a lock empties: inactivity waits for it,
// the user is asked, and a lock once the disk takes it again saves it first.
void TestLock::failedSaveIsNotLostToLock()
{
    TfrmMain::setInactivityLockMs(300);
    TfrmMain* w = openProtected();
    QVERIFY(w->isProtected());
    const QByteArray before = readFile("items.dat");

    select("Shops", "Amazon");
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), "x");
    {
        FileSizeLimit full(16);                              // every save fails as on a full disk
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // the save's error
        named<QPushButton>(w, "btnSave")->click();
        QVERIFY(shown().last().contains("items.dat"));
        QCOMPARE(readFile("items.dat"), before);
        QVERIFY(!w->isItemChanged());

        QTest::qWait(1000); // inactivity: the lock waits
        QVERIFY(!w->isLocked());

        TMessageBox::setNextAnswer(TMessageBox::Answer::Cancel);
        named<QToolButton>(w, "btnLock")->click();
        QVERIFY(!w->isLocked());
        QVERIFY(shown().last().startsWith("Your latest changes could not be saved to items.dat."));
    }
    // The disk takes it again: the lock saves the change before it empties the lists.
    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(w->isLocked());
    QVERIFY(opened(readFile("items.dat"), "pass").contains("xprog"));
}

// A copy with welcome pages opens on one even when the records are locked; leaving it leads to
// the locked page.
void TestLock::welcomePageComesFirst()
{
    writeFile("categories.dat", Age::encrypt(kCategories, Age::newKey("pass", kFastFactor)));
    branding().WelcomePage = "<html><body>Welcome</body></html>";
    TfrmMain* w = open();
    QCOMPARE(page(), named<QWidget>(w, "stsWelcome"));
    named<QPushButton>(w, "bsSkinButton1")->click();
    QCOMPARE(page(), named<QWidget>(w, "stsLocked"));
    unlockWith(QStringLiteral("pass"));
    QCOMPARE(page(), named<QWidget>(w, "stsMain"));
}

// The pane shows an empty page without history, and the clipboard loses what "Paste" put there.
void TestLock::lockEmptiesPaneAndClipboard()
{
    TestHttpServer server;
    server.setPage("/a", "<html><body>a</body></html>");
    server.setPage("/b", "<html><body>b</body></html>");
    TfrmMain* w = openProtected();
    select("Shops", "Amazon");
    for (const char* path : {"/a", "/b"}) {
        named<QLineEdit>(w, "edtURL")->setText(server.url(QLatin1String(path)).toString());
        named<QPushButton>(w, "bsSkinButton2")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->webBrowser()->url(), server.url(QLatin1String(path)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->webBrowser()->busy(), 20000);
    }
    auto* view = qobject_cast<QWebEngineView*>(w->webBrowser()->view());
    QVERIFY(view);
    QTRY_VERIFY_WITH_TIMEOUT(view->history()->canGoBack(), 5000);
    named<QPushButton>(w, "btnPPaste")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("s3cret"));

    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(w->isLocked());
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
    QVERIFY(named<QLineEdit>(w, "edtURL")->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(view->url() != server.url("/b"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!w->webBrowser()->busy(), 20000);
    QVERIFY(!view->history()->canGoBack());
    QCOMPARE(view->history()->count(), 1);
}

void TestLock::badProtectedFile_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QString>("reason");

    const Age::Key key = Age::newKey("pass", kFastFactor);
    const QByteArray good = Age::encrypt(kItems, key);
    const qsizetype payload = Age::readHeader(good).payloadOffset;
    QByteArray altered = good;
    altered[payload + 20] = char(altered[payload + 20] ^ 1);
    const QByteArray stanza = good.mid(22, good.indexOf("---") - 22);
    const QByteArray mac = "--- " + QByteArray(43, 'A') + "\n";

    QTest::newRow("truncated") << good.left(good.size() - 20) << Age::describe(Age::Status::Altered);
    QTest::newRow("cut in the header") << good.left(payload - 5) << Age::describe(Age::Status::Truncated);
    QTest::newRow("altered") << altered << Age::describe(Age::Status::Altered);
    QTest::newRow("work factor 23") << QByteArray("age-encryption.org/v1\n-> scrypt rF0/NwblUHHTpgQgRpe5CQ 23\n"
                                                  "qW9eVsT0NVb/Vswtw8kPIxUnaYmm9Px1dYmq2+4+qZA\n" +
                                                  mac)
                                    << Age::describe(Age::Status::WorkFactorTooHigh);
    QTest::newRow("two recipients") << QByteArray(good).insert(22, stanza)
                                    << Age::describe(Age::Status::MoreThanOneRecipient);
    QTest::newRow("long header line") << QByteArray("age-encryption.org/v1\n-> " + QByteArray(3000, 'a') + "\n")
                                      << Age::describe(Age::Status::HeaderLineTooLong);
    QTest::newRow("not an age file") << QByteArray("age-encryption.org/v1\nhello\n")
                                     << Age::describe(Age::Status::NotAgeFile);
    QTest::newRow("other pass phrase") << Age::encrypt(kItems, Age::newKey("other", kFastFactor))
                                       << Age::describe(Age::Status::WrongPassPhrase);
}

// A damaged items.dat beside a good categories.dat: a message names the file and the reason, the
// good file opens, and the damaged one stays byte for byte as it was, never saved over.
void TestLock::badProtectedFile()
{
    QFETCH(QByteArray, items);
    QFETCH(QString, reason);
    writeFile("categories.dat", Age::encrypt(kCategories, Age::newKey("pass", kFastFactor)));
    writeFile("items.dat", items);
    for (int i = 0; i < 3; ++i)
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    TfrmMain* w = open();
    QVERIFY(w->isLocked());
    unlockWith(QStringLiteral("pass"));
    QVERIFY(!w->isLocked());
    QCOMPARE(w->categoryList(), StringList({"Shops", "Travel"}));
    const QString expected = Records::cannotOpenMessage(UUtils::appFile("items.dat"), reason);
    QVERIFY2(shown().contains(expected), qPrintable(shown().join('\n')));
    QVERIFY(w->isSaveRefused("items.dat"));

    // A save of items.dat is refused; categories.dat still saves, protected.
    bool refused = false;
    try {
        w->SaveItems();
    } catch (const AppError&) {
        refused = true;
    }
    QVERIFY(refused);
    w->SaveCategories();
    QCOMPARE(opened(readFile("categories.dat"), "pass"), kCategories);
    // Locked and unlocked again, it is still left alone.
    named<QToolButton>(w, "btnLock")->click();
    QVERIFY(w->isLocked());
    unlockWith(QStringLiteral("pass"));
    QCOMPARE(readFile("items.dat"), items);
}

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
