#include "app/AnchorPanel.h"
#include "app/FMain.h"
#include "app/TreeSelectionModel.h"
#include "branding/Branding.h"
#include "dialogs/FAddElement.h"
#include "platform/MessageBox.h"
#include "records/RecordFiles.h"
#include "support/Controls.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/StringList.h"
#include "util/TextCodec.h"

#include "support/FileSizeLimit.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// '~' stands for the separator 0xA5.
static QByteArray b(const char* text)
{
    return QByteArray(text).replace('~', char(0xA5));
}

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    void writeFile(const QString& name, const QByteArray& data)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(data), data.size());
    }
    QByteArray readFile(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // "Root[child,child];Root[]" for the whole tree.
    static QByteArray describeTree(const QTreeWidget* tree)
    {
        QByteArrayList roots;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* root = tree->topLevelItem(i);
            QByteArrayList children;
            for (int c = 0; c < root->childCount(); ++c)
                children.append(UUtils::stringToAnsi(root->child(c)->text(0)));
            roots.append(UUtils::stringToAnsi(root->text(0)) + '[' + children.join(',') + ']');
        }
        return roots.join(';');
    }

    template <typename F> static QString errorOf(F&& call)
    {
        try {
            call();
        } catch (const AppError& e) {
            return e.message();
        }
        return {};
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        UUtils::setAppDir(m_dir->path());
        branding() = Branding{};
        TMessageBox::clearTestState();
        TfrmAddElement::clearTestQueue();
    }
    void cleanup()
    {
        QCOMPARE(TMessageBox::queuedAnswers(), 0);
        UUtils::setAppDir({});
        branding() = Branding{};
        TMessageBox::clearTestState();
    }

    // ---- The control tree ----

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("caption"); // text, title, or hint of an image button
        const char* rows[][3] = {
            {"pgcPrinc", "QStackedWidget", ""},
            {"stsMain", "QWidget", ""},
            {"bsSkinPanel1", "TAnchorPanel", ""},
            {"btnAddCategory", "QPushButton", "Add Category"},
            {"btnAddItem", "QPushButton", "Add Item"},
            {"btnMakeMoney", "QPushButton", "Make Money"},
            {"btnAbout", "QPushButton", "About"},
            {"btnNews", "QToolButton", "Check News"},
            {"btnUpdate", "QToolButton", "Check Updates"},
            {"btnHelp", "QToolButton", "Help"},
            {"panBanner", "QFrame", ""},
            {"imgBanner", "QLabel", ""},
            {"gifBanner", "QLabel", ""},
            {"panLinks", "TAnchorPanel", ""},
            {"lblLink1URL", "QLabel", ""},
            {"lblLink2URL", "QLabel", ""},
            {"bsSkinSplitter1", "QSplitter", ""},
            {"bsSkinGroupBox1", "QGroupBox", "Categories"},
            {"tvwMain", "QTreeWidget", ""},
            {"bsSkinPanel2", "QWidget", ""},
            {"bsSkinPanel4", "TAnchorPanel", ""},
            {"edtTitle", "QLineEdit", ""},
            {"edtProg", "QLineEdit", ""},
            {"edtWebsiteURL", "QLineEdit", ""},
            {"edtLoginURL", "QLineEdit", ""},
            {"edtLogin", "QLineEdit", ""},
            {"edtPassword", "QLineEdit", ""},
            {"edtAffiliateURL", "QLineEdit", ""},
            {"edtCloaked", "QLineEdit", ""},
            {"edtPayout", "QLineEdit", ""},
            {"edtPaymentDay", "QLineEdit", ""},
            {"memDesc", "QPlainTextEdit", ""},
            {"btnBrowseWebsite", "QPushButton", "Browse"},
            {"btnBrowseLogin", "QPushButton", "Browse"},
            {"btnUPaste", "QPushButton", "Paste"},
            {"btnPPaste", "QPushButton", "Paste"},
            {"btnBrowseAffiliate", "QPushButton", "Browse"},
            {"btnBrowseCloaked", "QPushButton", "Browse"},
            {"btnLogIn", "QPushButton", "Log In"},
            {"btnSave", "QPushButton", "Save Item"},
            {"bsSkinPanel5", "TAnchorPanel", ""},
            {"bsSkinSpeedButton1", "QToolButton", "Back"},
            {"bsSkinSpeedButton2", "QToolButton", "Foward"},
            {"bsSkinSpeedButton4", "QToolButton", "Refresh"},
            {"bsSkinSpeedButton3", "QToolButton", "Stop"},
            {"bsSkinStdLabel8", "QLabel", "URL:"},
            {"edtURL", "QLineEdit", ""},
            {"bsSkinButton2", "QPushButton", "Go!"},
            {"EmbeddedWB1", "QWidget", ""},
            {"stsWelcome", "QWidget", ""},
            {"prfWelcome", "QWidget", ""},
            {"bsSkinPanel14", "TAnchorPanel", ""},
            {"bsSkinButton1", "QPushButton", "Thanks, just show me the main application"},
            {"Timer1", "QTimer", ""},
            {"bsSkinPopupMenu1", "QMenu", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1])
                                  << QString::fromLatin1(row[2]);
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, caption);
        TfrmMain window; // before show: the welcome page still exists
        QObject* control = window.findChild<QObject*>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
        QString text;
        if (auto* tool = qobject_cast<QToolButton*>(control))
            text = tool->toolTip();
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(control))
            text = label->text();
        else if (auto* group = qobject_cast<QGroupBox*>(control))
            text = group->title();
        QCOMPARE(text, caption);
    }

    void windowAndComponents()
    {
        TfrmMain window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Quillet"));
        QCOMPARE(window.size(), QSize(929, 692));
        QVERIFY(named<QTimer>(window, "Timer1")->isSingleShot());
        QCOMPARE(named<QTimer>(window, "Timer1")->interval(), 2000);

        // Tree: no in-place edit, indent 19 (its two levels' images: below).
        QCOMPARE(named<QTreeWidget>(window, "tvwMain")->indentation(), 19);
        QCOMPARE(named<QTreeWidget>(window, "tvwMain")->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(named<QTreeWidget>(window, "tvwMain")->contextMenuPolicy(), Qt::CustomContextMenu);
        const QPalette palette = named<QTreeWidget>(window, "tvwMain")->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
                 palette.color(QPalette::Active, QPalette::Highlight));

        // The context menu, entries in order.
        QStringList entries;
        for (QAction* action : named<QMenu>(window, "bsSkinPopupMenu1")->actions())
            entries << action->objectName() + '=' + (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(entries, QStringList({"AddCategory1=Add Category", "EditCategory1=EditCategory",
                                       "DeleteCategory1=Delete Category", "N1=-", "AddItem1=Add Item",
                                       "DeleteItem1=Delete Item", "N2=-", "Import1=Import...", "Export1=Export..."}));

        // No button takes the keyboard focus; the password shows in clear.
        for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
            QVERIFY2(button->focusPolicy() == Qt::NoFocus, qPrintable(button->objectName()));
        QCOMPARE(named<QLineEdit>(window, "edtPassword")->echoMode(), QLineEdit::Normal);
        QCOMPARE(named<QPlainTextEdit>(window, "memDesc")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        // Keyboard order through the eleven fields.
        const QStringList order{"edtTitle",  "edtProg",       "edtWebsiteURL",   "edtLoginURL",
                                "edtLogin",  "edtPassword",   "edtAffiliateURL", "edtCloaked",
                                "edtPayout", "edtPaymentDay", "memDesc"};
        QStringList chain;
        QWidget* w = named<QLineEdit>(window, "edtTitle");
        for (int guard = 0; guard < 500 && chain.size() < order.size(); ++guard, w = w->nextInFocusChain()) {
            if (order.contains(w->objectName()) && !chain.contains(w->objectName()))
                chain << w->objectName();
        }
        QCOMPARE(chain, order);

        // A category and an item each show their own 16 x 16 image.
        writeFile("categories.dat", "A\r\n");
        writeFile("items.dat", b("A~x~\r\n"));
        TfrmMain withNodes;
        const QTreeWidgetItem* category = named<QTreeWidget>(withNodes, "tvwMain")->topLevelItem(0);
        QVERIFY(category && category->childCount() == 1);
        for (const QTreeWidgetItem* node : {category, static_cast<const QTreeWidgetItem*>(category->child(0))})
            QCOMPARE(node->icon(0).pixmap(16, 16).size(), QSize(16, 16));
        QVERIFY(category->icon(0).pixmap(16, 16).toImage() != category->child(0)->icon(0).pixmap(16, 16).toImage());
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect"); // in the parent's coordinates
        QTest::newRow("btnAddCategory") << "btnAddCategory" << QRect(8, 6, 125, 20);
        QTest::newRow("btnAbout") << "btnAbout" << QRect(396, 6, 125, 20);
        QTest::newRow("btnHelp") << "btnHelp" << QRect(876, 1, 41, 34);
        QTest::newRow("edtTitle") << "edtTitle" << QRect(48, 11, 298, 18);
        QTest::newRow("edtPassword") << "edtPassword" << QRect(101, 145, 247, 18);
        QTest::newRow("edtPaymentDay") << "edtPaymentDay" << QRect(507, 38, 118, 18);
        QTest::newRow("btnPPaste") << "btnPPaste" << QRect(356, 144, 68, 20);
        QTest::newRow("panDesc") << "panDesc" << QRect(432, 88, 261, 128);
        QTest::newRow("btnSave") << "btnSave" << QRect(568, 223, 125, 20);
        QTest::newRow("btnLogIn") << "btnLogIn" << QRect(356, 222, 68, 20);
        QTest::newRow("bsSkinSpeedButton3") << "bsSkinSpeedButton3" << QRect(92, 4, 25, 25);
        QTest::newRow("edtURL") << "edtURL" << QRect(160, 8, 483, 20);
        QTest::newRow("bsSkinButton2") << "bsSkinButton2" << QRect(650, 7, 47, 20);
        QTest::newRow("bsSkinPanel1") << "bsSkinPanel1" << QRect(0, 0, 929, 43);
        QTest::newRow("panBanner") << "panBanner" << QRect(0, 43, 929, 65);
        QTest::newRow("panLinks") << "panLinks" << QRect(0, 692 - 36, 929, 36);
        QTest::newRow("bsSkinGroupBox1") << "bsSkinGroupBox1" << QRect(0, 0, 209, 692 - 43 - 65 - 36);
        QTest::newRow("bsSkinPanel4") << "bsSkinPanel4" << QRect(0, 0, 710, 253);
        QTest::newRow("bsSkinPanel5") << "bsSkinPanel5" << QRect(0, 253, 710, 37);
    }
    void geometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget* control = window.findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), rect);
        QCOMPARE(window.findChild<QWidget*>("lblLink1URL")->pos(), QPoint(13, 9));
    }

    void anchorsFollowTheWindowWidth()
    {
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        named<QLabel>(window, "lblLink2URL")->setText(QStringLiteral("A sponsor"));
        named<QLabel>(window, "lblLink2URL")->adjustSize();
        window.resize(1029, 700);
        QTRY_COMPARE(named<TAnchorPanel>(window, "bsSkinPanel1")->width(), 1029);
        QCOMPARE(named<QToolButton>(window, "btnHelp")->geometry(), QRect(976, 1, 41, 34));
        QCOMPARE(named<QToolButton>(window, "btnNews")->x(), 890);
        QCOMPARE(named<QPushButton>(window, "btnAbout")->x(), 396);
        QCOMPARE(named<QGroupBox>(window, "bsSkinGroupBox1")->width(), 209);
        QCOMPARE(named<QFrame>(window, "panDesc")->geometry(), QRect(432, 88, 361, 128));
        QCOMPARE(named<QPushButton>(window, "btnSave")->geometry(), QRect(668, 223, 125, 20));
        QCOMPARE(named<QLineEdit>(window, "edtTitle")->geometry(), QRect(48, 11, 298, 18));
        QCOMPARE(named<QLineEdit>(window, "edtURL")->geometry(), QRect(160, 8, 583, 20));
        QCOMPARE(named<QPushButton>(window, "bsSkinButton2")->x(), 750);
        QCOMPARE(named<QLabel>(window, "lblLink2URL")->geometry().right(), 1029 - 13 - 1);
    }

    void directMode()
    {
        TfrmMain window;
        QVERIFY(named<QTimer>(window, "Timer1")->isActive()); // armed at creation
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.findChild<QWidget*>("stsWelcome"));
        QVERIFY(!window.findChild<QWidget*>("bsSkinButton1"));
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->count(), 2); // stsMain, stsLocked
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->currentIndex(), 0);
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->currentWidget(), named<QWidget>(window, "stsMain"));
        // Its one tick stops the timer.
        QTRY_VERIFY_WITH_TIMEOUT(!named<QTimer>(window, "Timer1")->isActive(), 5000);
    }

    void welcomeMode()
    {
        branding().WelcomePage = "<html><body>Welcome</body></html>";
        TfrmMain window;
        QVERIFY(!named<QTimer>(window, "Timer1")->isActive());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->count(), 3); // stsWelcome, stsMain, stsLocked
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->currentWidget(), named<QWidget>(window, "stsWelcome"));
        QVERIFY(!named<QTimer>(window, "Timer1")->isActive());

        // Enter clicks the welcome button while the welcome page shows.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(named<QStackedWidget>(window, "pgcPrinc")->currentWidget(), named<QWidget>(window, "stsMain"));
        QVERIFY(named<QTimer>(window, "Timer1")->isActive());
        QCOMPARE(named<QTimer>(window, "Timer1")->remainingTime() > 1000, true);
    }

    void bannerCentring_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<QSize>("banner");
        QTest::addColumn<QPoint>("expected");
        // Each half truncates before subtracting: 1001/2 - 101/2 = 500 - 50 and 65/2 - 31/2 = 32 - 15.
        QTest::newRow("odd sizes") << 1001 << QSize(101, 31) << QPoint(450, 17);
        QTest::newRow("even sizes") << 1000 << QSize(100, 30) << QPoint(450, 17);
        QTest::newRow("wider than the panel") << 929 << QSize(1201, 65) << QPoint(464 - 600, 0);
    }
    void bannerCentring()
    {
        QFETCH(int, windowWidth);
        QFETCH(QSize, banner);
        QFETCH(QPoint, expected);
        TfrmMain window;
        named<QLabel>(window, "imgBanner")->resize(banner);
        named<QLabel>(window, "gifBanner")->resize(banner);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(windowWidth, 692);
        QTRY_COMPARE(named<QFrame>(window, "panBanner")->width(), windowWidth);
        QCOMPARE(named<QLabel>(window, "imgBanner")->pos(), expected);
        QCOMPARE(named<QLabel>(window, "gifBanner")->pos(), expected);
    }

    void treeAsksBeforeTheSelectionMoves()
    {
        QTreeWidget tree;
        const QList<QTreeWidgetItem*> nodes{new QTreeWidgetItem(QStringList("one")),
                                            new QTreeWidgetItem(QStringList("two"))};
        tree.addTopLevelItems(nodes);
        bool allow = true;
        int asked = 0;
        auto* model = new TTreeSelectionModel(
            tree.model(),
            [&](const QModelIndex&) {
                ++asked;
                return allow;
            },
            &tree);
        tree.setSelectionModel(model);
        int moved = 0;
        connect(model, &QItemSelectionModel::currentChanged, &tree, [&] { ++moved; });
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        tree.setCurrentItem(nodes[0]);
        QCOMPARE(moved, 1);

        // Refused: neither a click nor an arrow key moves the selection.
        allow = false;
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(nodes[1]).center());
        tree.setFocus();
        QTest::keyClick(&tree, Qt::Key_Down);
        QCOMPARE(asked, 3);
        QCOMPARE(tree.currentItem(), nodes[0]);
        QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem*>{nodes[0]});
        QCOMPARE(moved, 1);

        allow = true;
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(nodes[1]).center());
        QCOMPARE(tree.currentItem(), nodes[1]);
        QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem*>{nodes[1]});
        QCOMPARE(moved, 2);
    }

    // ---- Record files through the window ----

    void recordFiles_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QByteArray>("tree"); // empty: not checked

        QTest::newRow("plain") << QByteArray("Hosting\r\nTools\r\n") << b("Hosting~A~~~~~~~~~~~~\r\nTools~B~\r\n")
                               << QByteArray("Hosting[A];Tools[B]");
        QTest::newRow("odd line ends") << QByteArray("A\nB\r\rC") << b("A~x~\n\rB~y~\rA~z")
                                       << QByteArray("A[x,z];B[y];[];C[]");
        QTest::newRow("high bytes") << QByteArray("\x80\x81\xff\r\n") << b("\x80\x81\xff~\xe9t\x9d~\xa7\xa7~\r\n")
                                    << QByteArray("\x80\x81\xff[\xe9t\x9d]");
        QTest::newRow("unknown categories and short lines")
            << QByteArray("A\r\n") << b("Z~q~\r\n\r\nA\r\nA~\r\n~\r\nA~r\r\n") << QByteArray("A[r]");
        QTest::newRow("duplicate category: first wins")
            << QByteArray("A\r\nA\r\n") << b("A~x~\r\n") << QByteArray("A[x];A[]");
        QTest::newRow("nul ends the text")
            << QByteArray("A\r\n\0B\r\n", 7) << QByteArray("A\xa5x\xa5\r\n\0junk", 11) << QByteArray("A[x]");

        // Bad input: no crash, every line written back.
        QByteArray garbage(256 * 1024, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char& c : garbage)
            c = char(1 + random.bounded(255)); // no NUL: all of it is read
        QTest::newRow("binary garbage") << garbage.left(64 * 1024) << garbage << QByteArray();
        QByteArray withNuls = garbage;
        for (int i = 1000; i < withNuls.size(); i += 997)
            withNuls[i] = '\0';
        QTest::newRow("nul bytes") << withNuls << withNuls << QByteArray();
        QByteArray huge = b("A~Huge~");
        huge.append(QByteArray(50 * 1024 * 1024, 'x'));
        huge.append(b("~\r\nA~small~\r\n"));
        QTest::newRow("50 MB line") << QByteArray("A\r\n") << huge << QByteArray("A[Huge,small]");
        QByteArray wide = b("A~Wide");
        for (int i = 0; i < 1000; ++i)
            wide.append(char(0xA5)).append(QByteArray::number(i));
        QTest::newRow("1000 fields") << QByteArray("A\r\n") << wide << QByteArray("A[Wide]");
    }
    void recordFiles()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(QByteArray, tree);
        writeFile("categories.dat", categories);
        writeFile("items.dat", items);
        {
            TfrmMain window;
            if (!tree.isEmpty())
                QCOMPARE(describeTree(named<QTreeWidget>(window, "tvwMain")), tree);
            QCOMPARE(window.categoryList(), UUtils::parseLines(categories));
            QCOMPARE(window.itemList(), UUtils::parseLines(items));
            for (int i = 0; i < named<QTreeWidget>(window, "tvwMain")->topLevelItemCount(); ++i)
                QVERIFY(!named<QTreeWidget>(window, "tvwMain")->topLevelItem(i)->isExpanded());
            window.SaveCategories();
            window.SaveItems();
        }
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        // Every line comes back byte for byte, each ended by CR LF; what follows a NUL is not
        // read but comes back unchanged after the lines, so no record behind it is lost.
        auto written = [](const QByteArray& text) {
            const qsizetype nul = text.indexOf('\0');
            return UUtils::joinLines(UUtils::parseLines(text)) + (nul < 0 ? QByteArray() : text.mid(nul));
        };
        QCOMPARE(readFile("categories.dat"), written(categories));
        QCOMPARE(readFile("items.dat"), written(items));
    }

    void missingAndEmptyFiles()
    {
        {
            TfrmMain window;
            QCOMPARE(named<QTreeWidget>(window, "tvwMain")->topLevelItemCount(), 0);
            QVERIFY(window.categoryList().isEmpty() && window.itemList().isEmpty());
            TfrmAddElement::queueEntry(QStringLiteral("First"));
            named<QPushButton>(window, "btnAddCategory")->click();
            window.SaveItems();
        }
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(readFile("categories.dat"), QByteArray("First\r\n"));
        QCOMPARE(readFile("items.dat"), QByteArray());
        // New record files are for their owner's eyes only.
        for (const char* name : {"categories.dat", "items.dat"})
            QCOMPARE(QFile::permissions(path(name)),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);

        writeFile("categories.dat", "");
        TfrmMain window;
        QCOMPARE(named<QTreeWidget>(window, "tvwMain")->topLevelItemCount(), 0);
        QVERIFY(window.categoryList().isEmpty());
    }

    void failedSaveKeepsOldFile()
    {
        writeFile("categories.dat", "A\r\n");
        writeFile("items.dat", b("A~old~\r\n"));
        TfrmMain window;
        QTreeWidget* tree = named<QTreeWidget>(window, "tvwMain");
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        named<QLineEdit>(window, "edtProg")->setText(QString(4096, u'n'));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        {
            FileSizeLimit limit(64); // the disk fills up while the new file is written
            named<QPushButton>(window, "btnSave")->click();
        }
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QString error = TMessageBox::shownMessages().first().text;
        QVERIFY2(error.startsWith("Stream write error") && error.contains("items.dat"), qPrintable(error));
        // The system gives no reason for a short write: the message gives one a user understands.
        QVERIFY2(!error.contains("Unknown error") && error.contains("disk may be full"), qPrintable(error));
        QCOMPARE(readFile("items.dat"), b("A~old~\r\n"));
        QCOMPARE(window.itemList(), StringList{b("A~old~") + QByteArray(4096, 'n') + b("~~~~~~~~~~")}); // kept
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // no temporary file left over

        // A folder that cannot hold the file.
        UUtils::setAppDir(m_dir->filePath("gone"));
        error = errorOf([&] { window.SaveCategories(); });
        QVERIFY2(error.startsWith("Cannot create file \"") && error.contains("categories.dat"), qPrintable(error));

        // Once the disk has room again, the save goes through.
        UUtils::setAppDir(m_dir->path());
        window.SaveItems();
        QCOMPARE(UUtils::parseLines(readFile("items.dat")), window.itemList());
    }

    void unreadableFileIsNeverOverwritten_data()
    {
        QTest::addColumn<QString>("unreadable");
        QTest::addColumn<QString>("readable");
        QTest::newRow("items") << "items.dat"
                               << "categories.dat";
        QTest::newRow("categories") << "categories.dat"
                                    << "items.dat";
    }
    void unreadableFileIsNeverOverwritten()
    {
        QFETCH(QString, unreadable);
        QFETCH(QString, readable);
        // A directory in the file's place: it exists but cannot be read, also for root.
        QVERIFY(QDir(m_dir->path()).mkdir(unreadable));
        writeFile(readable, b("A~x~\r\n"));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window)); // the window opens all the same

        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        const QString shown = TMessageBox::shownMessages().first().text;
        QVERIFY2(shown.startsWith(
                     QStringLiteral("Cannot open file \"%1\". ").arg(QDir::toNativeSeparators(path(unreadable)))),
                 qPrintable(shown));
        // The readable file was read all the same.
        QCOMPARE(readable == "items.dat" ? window.itemList() : window.categoryList(), StringList{b("A~x~")});

        // A new category and a new item in it: the save of the unreadable file is refused.
        TMessageBox::clearTestState();
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        TfrmAddElement::queueEntry(QStringLiteral("New"));
        named<QPushButton>(window, "btnAddCategory")->click();
        QTreeWidget* tree = named<QTreeWidget>(window, "tvwMain");
        const QList<QTreeWidgetItem*> added = tree->findItems(QStringLiteral("New"), Qt::MatchExactly);
        QCOMPARE(added.size(), 1);
        tree->setCurrentItem(added.first());
        TfrmAddElement::queueEntry(QStringLiteral("y"));
        named<QPushButton>(window, "btnAddItem")->click();
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        const QString refused = TMessageBox::shownMessages().first().text;
        QVERIFY2(refused.contains(unreadable) && refused.contains("not saved"), qPrintable(refused));
        QVERIFY(QFileInfo(path(unreadable)).isDir());
        QVERIFY(window.isSaveRefused(unreadable));

        // The other file saved normally.
        QCOMPARE(readFile(readable), readable == "items.dat" ? b("A~x~\r\n") + Records::newItemLine("New", "y") + "\r\n"
                                                             : b("A~x~\r\nNew\r\n"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
