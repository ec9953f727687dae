// The category tree, the item editor and the category and item commands, driven through the
// real main window.
#include "app/EditorFields.h"
#include "app/FMain.h"
#include "branding/Branding.h"
#include "dialogs/FAddElement.h"
#include "platform/MessageBox.h"
#include "support/AppFolder.h"
#include "support/Controls.h"
#include "support/FileSizeLimit.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

// Test notation: '~' is the separator 0xA5, '|' ends a line.
QByteArray b(const QByteArray& text)
{
    QByteArray out = text;
    out.replace('~', char(0xA5));
    return out;
}

// A file as another program might have left it: lines ended by a lone LF. Saving rewrites it
// with CR LF, so a file that still reads with LF was not written.
QByteArray lf(const QByteArray& lines)
{
    return lines.isEmpty() ? QByteArray() : b(lines).replace('|', '\n') + '\n';
}

// A file as the program writes it.
QByteArray crlf(const QByteArray& lines)
{
    return lines.isEmpty() ? QByteArray() : b(lines).replace("|", "\r\n") + "\r\n";
}

QString s(const QByteArray& bytes)
{
    return UUtils::ansiToString(bytes);
}

enum Command
{
    AddCategory,
    AddItem,
    EditCategory,
    DeleteCategory,
    DeleteItem,
    SaveTitle
};
enum Mover
{
    ByKey,
    ByClick,
    ByCommand
};

} // namespace

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Mover)
Q_DECLARE_METATYPE(TMessageBox::Answer)

class TestEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TfrmMain> m_window;
    QTimer m_unexpectedBoxes; // closes a real box that no queued answer was meant for
    QStringList m_unexpected;

    TfrmMain* open(const QByteArray& categories, const QByteArray& items)
    {
        writeFile("categories.dat", categories);
        writeFile("items.dat", items);
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        named<QTimer>(m_window, "Timer1")->stop(); // no news poll in these tests
        QCoreApplication::processEvents();
        return m_window.get();
    }

    // "Shops" is a category node, "Shops/Amazon" an item node (the first of that text).
    QTreeWidgetItem* node(const QString& path) const
    {
        const QStringList parts = path.split(u'/');
        QTreeWidget* tree = named<QTreeWidget>(m_window, "tvwMain");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* root = tree->topLevelItem(i);
            if (root->text(0) != parts[0])
                continue;
            if (parts.size() == 1)
                return root;
            for (int c = 0; c < root->childCount(); ++c) {
                if (root->child(c)->text(0) == parts[1])
                    return root->child(c);
            }
        }
        return nullptr;
    }

    // QTreeWidgetItem::isSelected() and selectedItems() do not follow a replaced selection model:
    // ask the model.
    bool currentIsSelected() const
    {
        QItemSelectionModel* model = named<QTreeWidget>(m_window, "tvwMain")->selectionModel();
        return model->isSelected(model->currentIndex()) && model->selectedRows().size() == 1;
    }

    QString selectedPath() const
    {
        const QTreeWidgetItem* current = named<QTreeWidget>(m_window, "tvwMain")->currentItem();
        if (!current)
            return QStringLiteral("<none>");
        return current->parent() ? current->parent()->text(0) + u'/' + current->text(0) : current->text(0);
    }

    void select(const QString& path)
    {
        QTreeWidgetItem* target = node(path);
        QVERIFY2(target, qPrintable(path));
        named<QTreeWidget>(m_window, "tvwMain")->setCurrentItem(target);
    }

    // "Shops[Amazon,eBay];Travel[]"
    QString treeDump() const
    {
        QStringList roots;
        QTreeWidget* tree = named<QTreeWidget>(m_window, "tvwMain");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* root = tree->topLevelItem(i);
            QStringList children;
            for (int c = 0; c < root->childCount(); ++c)
                children << root->child(c)->text(0);
            roots << root->text(0) + u'[' + children.join(u',') + u']';
        }
        return roots.join(u';');
    }

    // treeDump of what the tree shows: hidden nodes left out.
    QString shownDump() const
    {
        QStringList roots;
        QTreeWidget* tree = named<QTreeWidget>(m_window, "tvwMain");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* root = tree->topLevelItem(i);
            if (root->isHidden())
                continue;
            QStringList children;
            for (int c = 0; c < root->childCount(); ++c) {
                if (!root->child(c)->isHidden())
                    children << root->child(c)->text(0);
            }
            roots << root->text(0) + u'[' + children.join(u',') + u']';
        }
        return roots.join(u';');
    }

    // Types into the find field as a user does, one key at a time.
    void typeFind(const QString& text)
    {
        named<QLineEdit>(m_window, "edtFind")->setFocus();
        named<QLineEdit>(m_window, "edtFind")->clear();
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(named<QLineEdit>(m_window, "edtFind"), &press);
        }
        QCOMPARE(named<QLineEdit>(m_window, "edtFind")->text(), text);
        awaitFindIndex();
    }

    // A large tree's find index is made a slice at a time; the filter follows.
    void awaitFindIndex()
    {
        QTRY_VERIFY(!m_window->isFindIndexPending());
        QCoreApplication::processEvents();
    }

    // Sends a shortcut to the active main window.
    void shortcut(const QKeySequence& keys, QWidget* focus)
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        focus->setFocus();
        QTest::keySequence(QApplication::focusWidget(), keys);
    }

    static QStringList messages()
    {
        QStringList texts;
        for (const TMessageBox::Shown& shown : TMessageBox::shownMessages())
            texts << shown.text;
        return texts;
    }

    void moveSelection(Mover mover, const QString& path)
    {
        QTreeWidget* tree = named<QTreeWidget>(m_window, "tvwMain");
        QTreeWidgetItem* target = node(path);
        QVERIFY(target);
        switch (mover) {
        case ByKey: // the target is the node just below the current one
            tree->setFocus();
            QTest::keyClick(tree, Qt::Key_Down);
            break;
        case ByClick:
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(target).center());
            break;
        case ByCommand:
            tree->setCurrentItem(target);
            break;
        }
    }

    // The eleven editor fields, in keyboard order.
    QList<QWidget*> itemFields() const
    {
        QList<QWidget*> fields;
        for (const TEditorField& entry : editorFields())
            fields << named<QWidget>(m_window, entry.control);
        return fields;
    }

    QList<QLineEdit*> lineFields() const
    {
        QList<QLineEdit*> fields;
        for (QWidget* w : itemFields()) {
            if (auto* line = qobject_cast<QLineEdit*>(w))
                fields << line;
        }
        return fields;
    }

private slots:
    void initTestCase()
    {
        m_unexpectedBoxes.setInterval(50);
        connect(&m_unexpectedBoxes, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_unexpected << modal->objectName();
                modal->close();
            }
        });
        m_unexpectedBoxes.start();
    }

    void init()
    {
        m_unexpected.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        UUtils::setAppDir(m_dir->path());
        branding() = Branding{};
        TMessageBox::clearTestState();
        TfrmAddElement::clearTestQueue();
    }

    void cleanup()
    {
        m_window.reset();
        QCOMPARE(m_unexpected, QStringList());
        QCOMPARE(TMessageBox::queuedAnswers(), 0);
        QCOMPARE(TfrmAddElement::queuedSteps(), 0);
        TMessageBox::clearTestState();
        TfrmAddElement::clearTestQueue();
        UUtils::setAppDir({});
    }

    // ---- The five commands and Save Item: every name comparison, and the exact lines written ----

    void commands_data();
    void commands();

    // ---- Selection and the leave-item check ----

    void leaveItemCheck_data();
    void leaveItemCheck();
    void leaveItemTitleConflict();
    void selectionShowsNode();
    void editsMarkedByKeyPressesOnly_data();
    void editsMarkedByKeyPressesOnly();
    void addItemSelectsThroughLeaveCheck_data();
    void addItemSelectsThroughLeaveCheck();
    void selectionAfterRemoval_data();
    void selectionAfterRemoval();
    void deletingEditedItemAsksNoSaveQuestion();
    void failedWriteKeepsSelection();

    void failedSaveLeavesItemUnmarked();

    // ---- Find, keyboard, first start ----

    void find_data();
    void find();
    void findLeavesCommandsTheWholeTree();
    void findOverManyItems();
    void findAfterChangesWhileIndexing_data();
    void findAfterChangesWhileIndexing();
    void shortcuts();
    void helpLineInEmptyTree();
    void unstorableTitleBeforeSiblingRule();
    void nodePicturesUntinted();

    // ---- Context menu ----

    void contextMenu_data();
    void contextMenu();
    void addItemWithNothingSelected();

    // ---- Refused texts and bad input ----

    void refusedTexts_data();
    void refusedTexts();
    void refusedFieldInLeaveCheck();
    void longFieldsAndDescriptionBytes();
    void unplacedItemLinesKept();
    void sameNamedCategories_data();
    void sameNamedCategories();
};

void TestEditor::commands_data()
{
    QTest::addColumn<QByteArray>("categories"); // categories.dat before
    QTest::addColumn<QByteArray>("items");      // items.dat before
    QTest::addColumn<QString>("selected");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("entry"); // dialog entry, or the title typed for Save Item
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QByteArray>("categoriesAfter");
    QTest::addColumn<QByteArray>("itemsAfter");
    QTest::addColumn<QString>("tree");

    const QString exists = QStringLiteral("This category already exists.");
    const QString itemExists = QStringLiteral("This item already exists in this category.");
    const QString conflict =
        QStringLiteral("Sorry there is an item with this title in this category. Use other name and try again");
    const QString deleteCategory = QStringLiteral("Are you sure do you want to delete selected category?");
    const QString deleteItem = QStringLiteral("Are you sure do you want to delete selected item?");

    // Add Category: every category entry, folded, trimmed on both sides.
    QTest::newRow("add category: same name in other case with blanks")
        << lf("Shops|Travel") << lf("") << "" << AddCategory << " sHOPS\t" << QStringList{exists} << lf("Shops|Travel")
        << lf("") << "Shops[];Travel[]";
    QTest::newRow("add category: only ASCII letters are folded")
        << lf("Caf\xE9") << lf("") << "" << AddCategory << s("CAF\xC9") << QStringList{} << crlf("Caf\xE9|CAF\xC9")
        << lf("") << s("Caf\xE9[];CAF\xC9[]");
    QTest::newRow("add category: stored as typed, blanks included")
        << lf("Shops") << lf("") << "Shops" << AddCategory << " New " << QStringList{} << crlf("Shops| New ") << lf("")
        << "Shops[]; New []";
    QTest::newRow("add category: blank and control bytes only")
        << lf("Shops") << lf("") << "" << AddCategory << "\x01 \x1F\t"
        << QStringList{QStringLiteral("Please enter a value for this field.")} << lf("Shops") << lf("") << "Shops[]";

    // Add Item: fields 0 and 1 of every line, folded, nothing trimmed.
    QTest::newRow("add item: same title in other case")
        << lf("Shops") << lf("Shops~Amazon~x~") << "Shops" << AddItem << "aMAZON" << QStringList{itemExists}
        << lf("Shops") << lf("Shops~Amazon~x~") << "Shops[Amazon]";
    QTest::newRow("add item: trailing blank is significant")
        << lf("Shops") << lf("Shops~Amazon~x~") << "Shops" << AddItem << "Amazon " << QStringList{} << lf("Shops")
        << crlf("Shops~Amazon~x~|Shops~Amazon ~~~~~~~~~~~~~") << "Shops[Amazon,Amazon ]";
    QTest::newRow("add item: category compared folded")
        << lf("Shops|SHOPS") << lf("Shops~Amazon~") << "SHOPS" << AddItem << "amazon" << QStringList{itemExists}
        << lf("Shops|SHOPS") << lf("Shops~Amazon~") << "Shops[Amazon];SHOPS[]";
    QTest::newRow("add item: into the selected item's category")
        << lf("Shops|Travel") << lf("Shops~Amazon~") << "Shops/Amazon" << AddItem << "eBay" << QStringList{}
        << lf("Shops|Travel") << crlf("Shops~Amazon~|Shops~eBay~~~~~~~~~~~~~") << "Shops[Amazon,eBay];Travel[]";
    QTest::newRow("add item: same title in another category")
        << lf("Shops|Travel") << lf("Shops~Amazon~") << "Travel" << AddItem << "Amazon" << QStringList{}
        << lf("Shops|Travel") << crlf("Shops~Amazon~|Travel~Amazon~~~~~~~~~~~~~") << "Shops[Amazon];Travel[Amazon]";

    // Edit Category: the other root nodes, folded and trimmed; the node's own category entry; the
    // item lines that begin with the old name and 0xA5, exactly.
    QTest::newRow("edit category: another category's name")
        << lf("Shops|Travel") << lf("Shops~a~") << "Shops" << EditCategory << " tRAVEL " << QStringList{exists}
        << lf("Shops|Travel") << lf("Shops~a~") << "Shops[a];Travel[]";
    QTest::newRow("edit category: own name in other case")
        << lf("Shops|Travel") << lf("Shops~a~p~|shops~b~|Travel~Shops~|ShopsX~c~|Shops|Shops~~~") << "Shops"
        << EditCategory << "SHOPS" << QStringList{} << crlf("SHOPS|Travel")
        << crlf("SHOPS~a~p~|shops~b~|Travel~Shops~|ShopsX~c~|Shops|SHOPS~~~") << "SHOPS[a,];Travel[Shops]";
    // Names differing only in case (a hand-edited file): the renamed node's own entry changes, so
    // the file and the tree stay in step and no category is cut from its items.
    QTest::newRow("edit category: names differing in case, the node's own entry renamed")
        << lf("Shops|SHOPS") << lf("Shops~a~|SHOPS~b~") << "SHOPS" << EditCategory << "Stores" << QStringList{}
        << crlf("Shops|Stores") << crlf("Shops~a~|Stores~b~") << "Shops[a];Stores[b]";

    // Delete Category: the node's own entry (never another category's that differs only in case);
    // the lines that begin with the name and 0xA5, exactly.
    QTest::newRow("delete category: own entry, lines exact")
        << lf("Shops|Travel|SHOPS") << lf("Shops~a~|SHOPS~b~|Travel~Shops~|Shops~c~~~|Shops") << "Shops"
        << DeleteCategory << "" << QStringList{deleteCategory} << crlf("Travel|SHOPS")
        << crlf("SHOPS~b~|Travel~Shops~|Shops") << "Travel[Shops];SHOPS[b]";

    // Delete Item: the first line whose fields 0 and 1 equal the parent's and the node's text.
    QTest::newRow("delete item: first exact line only")
        << lf("Shops") << lf("Shops~a~1~|shops~a~2~|Shops~a~3~|Shops~b~") << "Shops/a" << DeleteItem << ""
        << QStringList{deleteItem} << lf("Shops") << crlf("shops~a~2~|Shops~a~3~|Shops~b~") << "Shops[a,b]";

    // Save Item's sibling-title check: the other items of the category, exactly.
    const QByteArray saveItems = lf("Shops~Amazon~|Shops~eBay~p~|Travel~Amazon~");
    QTest::newRow("save item: sibling's title in other case")
        << lf("Shops|Travel") << saveItems << "Shops/eBay" << SaveTitle << "AMAZON" << QStringList{}
        << lf("Shops|Travel") << crlf("Shops~Amazon~|Shops~AMAZON~p~~~~~~~~~~|Travel~Amazon~")
        << "Shops[Amazon,AMAZON];Travel[Amazon]";
    QTest::newRow("save item: sibling's title")
        << lf("Shops|Travel") << saveItems << "Shops/eBay" << SaveTitle << "Amazon" << QStringList{conflict}
        << lf("Shops|Travel") << saveItems << "Shops[Amazon,eBay];Travel[Amazon]";
    QTest::newRow("save item: sibling's title with a blank")
        << lf("Shops|Travel") << saveItems << "Shops/eBay" << SaveTitle << "Amazon " << QStringList{}
        << lf("Shops|Travel") << crlf("Shops~Amazon~|Shops~Amazon ~p~~~~~~~~~~|Travel~Amazon~")
        << "Shops[Amazon,Amazon ];Travel[Amazon]";
    QTest::newRow("save item: another category's title")
        << lf("Shops|Travel") << saveItems << "Travel/Amazon" << SaveTitle << "eBay" << QStringList{}
        << lf("Shops|Travel") << crlf("Shops~Amazon~|Shops~eBay~p~|Travel~eBay~~~~~~~~~~~")
        << "Shops[Amazon,eBay];Travel[eBay]";
    QTest::newRow("save item: emptied title")
        << lf("Shops|Travel") << saveItems << "Shops/eBay" << SaveTitle << "" << QStringList{} << lf("Shops|Travel")
        << crlf("Shops~Amazon~|Shops~~p~~~~~~~~~~|Travel~Amazon~") << "Shops[Amazon,];Travel[Amazon]";
}

void TestEditor::commands()
{
    QFETCH(QByteArray, categories);
    QFETCH(QByteArray, items);
    QFETCH(QString, selected);
    QFETCH(Command, command);
    QFETCH(QString, entry);
    QFETCH(QStringList, shown);
    QFETCH(QByteArray, categoriesAfter);
    QFETCH(QByteArray, itemsAfter);
    QFETCH(QString, tree);

    TfrmMain* w = open(categories, items);
    if (!selected.isEmpty())
        select(selected);
    TMessageBox::clearTestState();
    for (qsizetype i = 0; i < shown.size(); ++i)
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // also the OK of a delete question

    switch (command) {
    case AddCategory:
        TfrmAddElement::queueEntry(entry);
        named<QPushButton>(w, "btnAddCategory")->click();
        break;
    case AddItem:
        TfrmAddElement::queueEntry(entry);
        named<QPushButton>(w, "btnAddItem")->click();
        break;
    case EditCategory:
        TfrmAddElement::queueEntry(entry);
        named<QAction>(w, "EditCategory1")->trigger();
        break;
    case DeleteCategory:
        named<QAction>(w, "DeleteCategory1")->trigger();
        break;
    case DeleteItem:
        named<QAction>(w, "DeleteItem1")->trigger();
        break;
    case SaveTitle:
        named<QLineEdit>(w, "edtTitle")->setText(entry);
        named<QPushButton>(w, "btnSave")->click();
        break;
    }

    QCOMPARE(messages(), shown);
    QCOMPARE(readFile("categories.dat"), categoriesAfter);
    QCOMPARE(readFile("items.dat"), itemsAfter);
    QCOMPARE(treeDump(), tree);
}

// ---- Selection and the leave-item check ----

void TestEditor::leaveItemCheck_data()
{
    QTest::addColumn<Mover>("mover");
    QTest::addColumn<TMessageBox::Answer>("answer");
    using A = TMessageBox::Answer;
    for (const auto& [moverName, mover] : {std::pair{"key", ByKey}, {"click", ByClick}, {"command", ByCommand}}) {
        QTest::addRow("%s, Yes", moverName) << mover << A::Yes;
        QTest::addRow("%s, No", moverName) << mover << A::No;
        QTest::addRow("%s, Cancel", moverName) << mover << A::Cancel;
    }
}

void TestEditor::leaveItemCheck()
{
    QFETCH(Mover, mover);
    QFETCH(TMessageBox::Answer, answer);

    const QByteArray items = lf("Shops~Amazon~prog~|Shops~eBay~other~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/Amazon");
    named<QTreeWidget>(w, "tvwMain")->expandAll();
    QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("prog"));
    named<QLineEdit>(w, "edtProg")->setFocus();
    QTest::keyClick(named<QLineEdit>(w, "edtProg"), Qt::Key_End);
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), QStringLiteral("X"));
    QVERIFY(w->isItemChanged());

    TMessageBox::setNextAnswer(answer);
    moveSelection(mover, QStringLiteral("Shops/eBay"));
    QCOMPARE(messages(), QStringList{QStringLiteral("Do you want save the changes you made in this item?")});
    QCOMPARE(TMessageBox::shownMessages().at(0).buttons, TMessageBox::Buttons::YesNoCancel);

    if (answer == TMessageBox::Answer::Cancel) {
        QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
        QVERIFY(currentIsSelected());
        QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("progX"));
        QVERIFY(w->isItemChanged());
        QCOMPARE(readFile("items.dat"), items);
        // The next move asks again.
        TMessageBox::setNextAnswer(TMessageBox::Answer::No);
        named<QTreeWidget>(w, "tvwMain")->setCurrentItem(node("Shops/eBay"));
        QCOMPARE(TMessageBox::shownMessages().size(), 2);
        QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
        return;
    }
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    QVERIFY(currentIsSelected());
    QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("other"));
    QVERIFY(!w->isItemChanged());
    QCOMPARE(readFile("items.dat"),
             answer == TMessageBox::Answer::Yes ? crlf("Shops~Amazon~progX~~~~~~~~~~|Shops~eBay~other~") : items);
}

void TestEditor::leaveItemTitleConflict()
{
    const QByteArray items = lf("Shops~Amazon~|Shops~eBay~|Travel~x~");
    TfrmMain* w = open(lf("Shops|Travel"), items);
    select("Shops/Amazon");
    named<QLineEdit>(w, "edtTitle")->selectAll();
    QTest::keyClicks(named<QLineEdit>(w, "edtTitle"), QStringLiteral("eBay"));
    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    select("Travel/x");
    QCOMPARE(messages(), (QStringList{QStringLiteral("Do you want save the changes you made in this item?"),
                                      QStringLiteral("Sorry there is an item with this title in this category. Use "
                                                     "other name and try again")}));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), QStringLiteral("eBay"));
    QVERIFY(w->isItemChanged());
    QCOMPARE(readFile("items.dat"), items);
}

void TestEditor::selectionShowsNode()
{
    TfrmMain* w = open(lf("Shops|Empty"), lf("Shops~Amazon~p~w~l~u~pw~a~c~9~10~line~~##two~"));
    // Nothing selected at start: the fields are enabled and empty.
    QCOMPARE(selectedPath(), QStringLiteral("<none>"));
    for (QWidget* field : itemFields())
        QVERIFY(field->isEnabled());

    select("Shops/Amazon");
    const QStringList expected{"Amazon", "p", "w", "l", "u", "pw", "a", "c", "9", "10"};
    QStringList texts;
    for (QLineEdit* field : lineFields())
        texts << field->text();
    QCOMPARE(texts, expected);
    QCOMPARE(named<QPlainTextEdit>(w, "memDesc")->toPlainText(), QStringLiteral("line\n##two"));

    select("Empty");
    for (QWidget* field : itemFields())
        QVERIFY(!field->isEnabled());
    for (QLineEdit* field : lineFields())
        QVERIFY(field->text().isEmpty());
    QVERIFY(named<QPlainTextEdit>(w, "memDesc")->toPlainText().isEmpty());
    for (QPushButton* button : {named<QPushButton>(w, "btnSave"), named<QPushButton>(w, "btnBrowseWebsite"),
                                named<QPushButton>(w, "btnUPaste"), named<QPushButton>(w, "btnPPaste")})
        QVERIFY(button->isEnabled());

    // "Save Item" with a category selected does nothing.
    named<QPushButton>(w, "btnSave")->click();
    QCOMPARE(readFile("items.dat"), lf("Shops~Amazon~p~w~l~u~pw~a~c~9~10~line~~##two~"));
    QVERIFY(TMessageBox::shownMessages().isEmpty());
}

void TestEditor::editsMarkedByKeyPressesOnly_data()
{
    QTest::addColumn<QString>("field");
    // 0: no key, the text is pasted as the field's context menu would; -1: a letter composed with
    // a dead key, which arrives as an input-method commit without a key event
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("marked");
    QTest::newRow("arrow key") << "edtTitle" << int(Qt::Key_Left) << 0 << true;
    QTest::newRow("Home") << "edtPassword" << int(Qt::Key_Home) << 0 << true;
    QTest::newRow("Ctrl+C") << "memDesc" << int(Qt::Key_C) << int(Qt::ControlModifier) << true;
    QTest::newRow("Shift alone") << "edtPaymentDay" << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << true;
    QTest::newRow("letter in the description") << "memDesc" << int(Qt::Key_A) << 0 << true;
    QTest::newRow("Tab") << "edtTitle" << int(Qt::Key_Tab) << 0 << false;
    QTest::newRow("Tab in the description") << "memDesc" << int(Qt::Key_Tab) << 0 << false;
    // Shift+Tab counts: the Shift key's own key-down reaches the field first.
    QTest::newRow("Shift+Tab") << "edtLoginURL" << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << true;
    QTest::newRow("mouse paste") << "edtLogin" << 0 << 0 << false;
    QTest::newRow("dead key composition") << "edtTitle" << -1 << 0 << true;
    QTest::newRow("dead key in the description") << "memDesc" << -1 << 0 << true;
}

void TestEditor::editsMarkedByKeyPressesOnly()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, marked);

    const QByteArray items = lf("Shops~Amazon~|Shops~eBay~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/Amazon");
    QWidget* target = w->findChild<QWidget*>(field);
    QVERIFY(target);
    target->setFocus();
    if (key > 0) {
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    } else if (key < 0) {
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("\u00e9"));
        QCoreApplication::sendEvent(target, &composed);
    } else {
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        static_cast<QLineEdit*>(target)->paste();
        QCOMPARE(static_cast<QLineEdit*>(target)->text(), QStringLiteral("pasted"));
    }
    QCOMPARE(w->isItemChanged(), marked);

    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    select("Shops/eBay");
    QCOMPARE(TMessageBox::queuedAnswers(), marked ? 0 : 1);
    TMessageBox::clearTestState();
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    if (!marked) // nothing asked, nothing stored: the pasted text is gone
        QCOMPARE(readFile("items.dat"), items);
}

void TestEditor::addItemSelectsThroughLeaveCheck_data()
{
    QTest::addColumn<TMessageBox::Answer>("answer");
    QTest::newRow("Yes") << TMessageBox::Answer::Yes;
    QTest::newRow("Cancel") << TMessageBox::Answer::Cancel;
}

void TestEditor::addItemSelectsThroughLeaveCheck()
{
    QFETCH(TMessageBox::Answer, answer);
    TfrmMain* w = open(lf("Shops|Travel"), lf("Shops~Amazon~prog~"));
    select("Shops/Amazon");
    named<QLineEdit>(w, "edtProg")->setFocus();
    QTest::keyClick(named<QLineEdit>(w, "edtProg"), Qt::Key_End);
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), QStringLiteral("2"));

    TfrmAddElement::queueEntry(QStringLiteral("Hotels"));
    TMessageBox::setNextAnswer(answer);
    named<QPushButton>(w, "btnAddItem")->click(); // into the selected item's category
    QCOMPARE(messages(), QStringList{QStringLiteral("Do you want save the changes you made in this item?")});
    QCOMPARE(treeDump(), QStringLiteral("Shops[Amazon,Hotels];Travel[]"));
    QVERIFY(node("Shops")->isExpanded());

    if (answer == TMessageBox::Answer::Yes) {
        QCOMPARE(selectedPath(), QStringLiteral("Shops/Hotels"));
        QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), QStringLiteral("Hotels"));
        for (QLineEdit* field : lineFields().mid(1))
            QVERIFY(field->text().isEmpty());
        QVERIFY(named<QPlainTextEdit>(w, "memDesc")->toPlainText().isEmpty());
        QVERIFY(!w->isItemChanged());
        QCOMPARE(readFile("items.dat"), crlf("Shops~Amazon~prog2~~~~~~~~~~|Shops~Hotels~~~~~~~~~~~~~"));
    } else {
        // The move to the new node was refused: the item is added and written all the same.
        QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
        QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("prog2"));
        QVERIFY(w->isItemChanged());
        QCOMPARE(readFile("items.dat"), crlf("Shops~Amazon~prog~|Shops~Hotels~~~~~~~~~~~~~"));
    }
}

void TestEditor::selectionAfterRemoval_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("fieldsEnabled");
    QTest::newRow("item: next sibling") << "A/a1" << DeleteItem << "A/a2" << true;
    QTest::newRow("item: last, so previous sibling") << "A/a2" << DeleteItem << "A/a1" << true;
    QTest::newRow("item: only child, so its category") << "B/b1" << DeleteItem << "B" << false;
    QTest::newRow("category: next") << "A" << DeleteCategory << "B" << false;
    QTest::newRow("category: last, so previous") << "C" << DeleteCategory << "B" << false;
}

void TestEditor::selectionAfterRemoval()
{
    QFETCH(QString, selected);
    QFETCH(Command, command);
    QFETCH(QString, after);
    QFETCH(bool, fieldsEnabled);
    TfrmMain* w = open(lf("A|B|C"), lf("A~a1~x~|A~a2~y~|B~b1~z~"));
    select(selected);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    if (command == DeleteItem)
        named<QAction>(w, "DeleteItem1")->trigger();
    else
        named<QAction>(w, "DeleteCategory1")->trigger();
    QCOMPARE(selectedPath(), after);
    QVERIFY(currentIsSelected());
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->isEnabled(), fieldsEnabled);
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), after.contains(u'/') ? after.section(u'/', 1) : QString());
    if (after == QStringLiteral("A/a1"))
        QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("x"));
}

void TestEditor::deletingEditedItemAsksNoSaveQuestion()
{
    TfrmMain* w = open(lf("A"), lf("A~a1~x~|A~a2~y~"));
    select("A/a1");
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), QStringLiteral("edited"));
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "DeleteItem1")->trigger();
    QCOMPARE(messages(), QStringList{QStringLiteral("Are you sure do you want to delete selected item?")});
    QCOMPARE(selectedPath(), QStringLiteral("A/a2"));
    QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("y"));
    QCOMPARE(readFile("items.dat"), crlf("A~a2~y~"));

    // The last node gone: nothing selected, the fields stay as they were.
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    select("A");
    named<QAction>(w, "DeleteCategory1")->trigger();
    QCOMPARE(selectedPath(), QStringLiteral("<none>"));
    QVERIFY(!named<QLineEdit>(w, "edtTitle")->isEnabled());
    QCOMPARE(readFile("categories.dat"), QByteArray());
    QCOMPARE(readFile("items.dat"), QByteArray());
}

void TestEditor::failedWriteKeepsSelection()
{
    const QByteArray items = lf("Shops~Amazon~prog~|Shops~eBay~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/Amazon");
    named<QLineEdit>(w, "edtProg")->setFocus();
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), QStringLiteral("Z"));
    {
        FileSizeLimit full(8); // as a full disk: items.dat cannot be written
        TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        select("Shops/eBay");
    }
    QCOMPARE(TMessageBox::shownMessages().size(), 2);
    QVERIFY2(TMessageBox::shownMessages().at(1).text.contains(QStringLiteral("items.dat")),
             qPrintable(TMessageBox::shownMessages().at(1).text));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
    QCOMPARE(named<QLineEdit>(w, "edtProg")->text(), QStringLiteral("Zprog"));
    QVERIFY(w->isItemChanged());
    QCOMPARE(readFile("items.dat"), items); // the old file is whole

    // Once the disk has room, leaving asks again and stores the item.
    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    select("Shops/eBay");
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    QCOMPARE(readFile("items.dat"), crlf("Shops~Amazon~Zprog~~~~~~~~~~|Shops~eBay~"));
}

// ---- Context menu ----

void TestEditor::contextMenu_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("clicked"); // the node right-clicked: it does not become selected
    QTest::addColumn<QStringList>("visible");
    const QStringList always{"AddCategory1", "N1", "AddItem1", "N2", "Import1", "Export1"};
    QTest::newRow("nothing selected") << ""
                                      << "Shops" << always;
    QTest::newRow("category selected") << "Shops"
                                       << "Shops/Amazon"
                                       << QStringList{"AddCategory1", "EditCategory1", "DeleteCategory1",
                                                      "N1",           "AddItem1",      "N2",
                                                      "Import1",      "Export1"};
    QTest::newRow("item selected") << "Shops/Amazon"
                                   << "Shops" << QStringList{"AddCategory1", "N1",      "AddItem1", "DeleteItem1",
                                                             "N2",           "Import1", "Export1"};
}

void TestEditor::contextMenu()
{
    QFETCH(QString, selected);
    QFETCH(QString, clicked);
    QFETCH(QStringList, visible);
    TfrmMain* w = open(lf("Shops"), lf("Shops~Amazon~"));
    named<QTreeWidget>(w, "tvwMain")->expandAll();
    if (!selected.isEmpty())
        select(selected);
    const QString before = selectedPath();

    QStringList seen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            poll.stop();
            for (QAction* action : menu->actions()) {
                if (action->isVisible())
                    seen << action->objectName();
            }
            menu->close();
        }
    });
    poll.start();
    QTreeWidget* tree = named<QTreeWidget>(w, "tvwMain");
    const QPoint at = tree->visualItemRect(node(clicked)).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, at);
    if (seen.isEmpty()) { // no context menu event from the platform: send it as the platform would
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree->viewport(), &event);
    }
    QCOMPARE(seen, visible);
    QCOMPARE(selectedPath(), before);
    for (QAction* action : named<QMenu>(w, "bsSkinPopupMenu1")->actions()) {
        if (action->isVisible()) // shown entries are never greyed out
            QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
    }
}

void TestEditor::addItemWithNothingSelected()
{
    TfrmMain* w = open(lf("Shops"), lf(""));
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "AddItem1")->trigger();
    QCOMPARE(messages(), QStringList{QStringLiteral("Select a category first.")});
    QCOMPARE(TfrmAddElement::queuedSteps(), 0);
    // The menu entries reach the same commands as the buttons.
    TfrmAddElement::queueEntry(QStringLiteral("Travel"));
    named<QAction>(w, "AddCategory1")->trigger();
    QCOMPARE(readFile("categories.dat"), crlf("Shops|Travel"));
    QCOMPARE(selectedPath(), QStringLiteral("<none>")); // the new category is not selected
}

// ---- Refused texts ----

void TestEditor::refusedTexts_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("field"); // for Save Item: the field typed into
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fieldName"); // the field the message names
    const QString yen = QStringLiteral("a\u00A5b");
    QTest::newRow("separator in the title") << SaveTitle << "edtTitle" << yen << "Title";
    QTest::newRow("separator in the program") << SaveTitle << "edtProg" << yen << "Affiliate Program";
    QTest::newRow("separator in the description") << SaveTitle << "memDesc" << yen << "Description";
    QTest::newRow("cyrillic password") << SaveTitle << "edtPassword"
                                       << QStringLiteral("\u041F\u0430\u0440\u043E\u043B\u044C") << "Password";
    QTest::newRow("chinese payout") << SaveTitle << "edtPayout" << QStringLiteral("\u4E2D") << "Min Payout";
    QTest::newRow("emoji in the description")
        << SaveTitle << "memDesc" << QStringLiteral("ok \U0001F600") << "Description";
    QTest::newRow("line break in the username") << SaveTitle << "edtLogin" << QStringLiteral("a\nb") << "Username";
    QTest::newRow("separator in a new category") << AddCategory << "" << yen << "Category";
    QTest::newRow("emoji in a new category") << AddCategory << "" << QStringLiteral("\U0001F600") << "Category";
    QTest::newRow("separator in a renamed category") << EditCategory << "" << yen << "Category";
    QTest::newRow("cyrillic in a renamed category") << EditCategory << "" << QStringLiteral("\u0416") << "Category";
    QTest::newRow("separator in a new item") << AddItem << "" << yen << "Item";
    QTest::newRow("cyrillic in a new item") << AddItem << "" << QStringLiteral("\u0416") << "Item";
}

void TestEditor::refusedTexts()
{
    QFETCH(Command, command);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, fieldName);
    const QByteArray categories = lf("Shops");
    const QByteArray items = lf("Shops~Amazon~p~");
    TfrmMain* w = open(categories, items);
    select(command == SaveTitle ? "Shops/Amazon" : "Shops");
    const QString tree = treeDump();
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);

    switch (command) {
    case SaveTitle: {
        QWidget* target = w->findChild<QWidget*>(field);
        QTest::keyClick(target, Qt::Key_End);
        if (auto* memo = qobject_cast<QPlainTextEdit*>(target))
            memo->setPlainText(text);
        else
            static_cast<QLineEdit*>(target)->setText(text);
        named<QPushButton>(w, "btnSave")->click();
        QVERIFY(w->isItemChanged()); // still edited: nothing was stored
        break;
    }
    case AddCategory:
        TfrmAddElement::queueEntry(text);
        named<QPushButton>(w, "btnAddCategory")->click();
        break;
    case EditCategory:
        TfrmAddElement::queueEntry(text);
        named<QAction>(w, "EditCategory1")->trigger();
        break;
    case AddItem:
        TfrmAddElement::queueEntry(text);
        named<QPushButton>(w, "btnAddItem")->click();
        break;
    default:
        break;
    }
    QCOMPARE(TMessageBox::shownMessages().size(), 1);
    const QString message = TMessageBox::shownMessages().at(0).text;
    QVERIFY2(message.contains(u'"' + fieldName + u'"'), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("nothing was saved")), qPrintable(message));
    QCOMPARE(readFile("categories.dat"), categories);
    QCOMPARE(readFile("items.dat"), items);
    QCOMPARE(treeDump(), tree);
}

void TestEditor::refusedFieldInLeaveCheck()
{
    const QByteArray items = lf("Shops~Amazon~|Shops~eBay~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/Amazon");
    QTest::keyClicks(named<QLineEdit>(w, "edtCloaked"), QStringLiteral("\u00A5"));
    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    select("Shops/eBay");
    QCOMPARE(TMessageBox::shownMessages().size(), 2);
    QVERIFY(TMessageBox::shownMessages().at(1).text.contains(QStringLiteral("\"Cloaked URL\"")));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/Amazon"));
    QVERIFY(w->isItemChanged());
    QCOMPARE(readFile("items.dat"), items);
}

// ---- Bad input ----

void TestEditor::longFieldsAndDescriptionBytes()
{
    TfrmMain* w = open(lf("Shops"), lf("Shops~Amazon~|Shops~eBay~"));
    select("Shops/Amazon");
    QTreeWidgetItem* item = named<QTreeWidget>(w, "tvwMain")->currentItem();

    // Every byte a one-line field can hold (all but NUL, LF, CR and the separator), repeated to
    // 10,000 bytes, a rotation of it per field.
    QByteArray alphabet;
    for (int c = 1; c < 256; ++c) {
        if (c != '\n' && c != '\r' && c != 0xA5)
            alphabet.append(char(c));
    }
    QList<QByteArray> values;
    const QList<QLineEdit*> fields = lineFields();
    for (qsizetype f = 0; f < fields.size(); ++f) {
        // One field far beyond the 32767 characters that a QLineEdit holds by default.
        const qsizetype size = fields[f] == named<QLineEdit>(w, "edtPayout") ? 40000 : 10000;
        QByteArray value;
        while (value.size() < size)
            value.append(alphabet.mid(f) + alphabet.left(f));
        value.truncate(size);
        values << value;
        fields[f]->setText(s(value));
    }
    // The description: line breaks of every kind, "§§" as typed, the high bytes.
    QByteArray high;
    for (int c = 0x80; c < 256; ++c) {
        if (c != 0xA5)
            high.append(char(c));
    }
    const QByteArray description = "a\r\nb\nc\rd\xA7\xA7"
                                   "e\xA7" +
                                   high + QByteArray(10000, 'x');
    named<QPlainTextEdit>(w, "memDesc")->setPlainText(s(description));
    named<QPushButton>(w, "btnSave")->click();
    QVERIFY(TMessageBox::shownMessages().isEmpty());

    // The line holds the fields as typed; each line break of the editor is stored as CR LF.
    QByteArray line = "Shops\xA5";
    for (const QByteArray& value : values)
        line += value + '\xA5';
    line += "a\xA5\xA5\xA7\xA7"
            "b\xA5\xA5\xA7\xA7"
            "c\xA5\xA5\xA7\xA7"
            "d\xA7\xA7"
            "e\xA7" +
            high + QByteArray(10000, 'x') + '\xA5';
    QCOMPARE(readFile("items.dat"), line + "\r\n" + crlf("Shops~eBay~"));

    // Shown again: the fields come back whole; "§§" typed into the description reads as a line break.
    select("Shops/eBay");
    named<QTreeWidget>(w, "tvwMain")->setCurrentItem(item);
    QCOMPARE(item->text(0), s(values[0]));
    for (qsizetype f = 0; f < fields.size(); ++f)
        QCOMPARE(fields[f]->text(), s(values[f]));
    // (The raw text keeps the no-break space 0xA0 that toPlainText() would turn into a blank.)
    const QString shown =
        s("a\nb\nc\nd\ne\xA7" + high + QByteArray(10000, 'x')).replace(u'\n', QChar::ParagraphSeparator);
    QCOMPARE(named<QPlainTextEdit>(w, "memDesc")->document()->toRawText(), shown);
}

void TestEditor::unplacedItemLinesKept()
{
    // Lines whose category is missing, lines with fewer than two fields, an empty line.
    const QByteArray odd = "Gone~a~p~|Lonely||Shops";
    TfrmMain* w = open(lf("Shops|Travel"), lf(QByteArray("Shops~Amazon~|") + odd));
    QCOMPARE(treeDump(), QStringLiteral("Shops[Amazon];Travel[]"));
    select("Shops/Amazon");
    named<QPushButton>(w, "btnSave")->click();
    TfrmAddElement::queueEntry(QStringLiteral("Trains"));
    select("Travel");
    named<QPushButton>(w, "btnAddItem")->click();
    TfrmAddElement::queueEntry(QStringLiteral("Trips"));
    select("Travel");
    named<QAction>(w, "EditCategory1")->trigger();
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    select("Shops/Amazon");
    named<QAction>(w, "DeleteItem1")->trigger();
    QCOMPARE(readFile("items.dat"), crlf(odd + "|Trips~Trains~~~~~~~~~~~~~"));
    QCOMPARE(readFile("categories.dat"), crlf("Shops|Trips"));
}

// A categories.dat that lists one name twice (exactly): every item line of that name shows under
// the first node. Renaming or deleting the second node touches its own items only, never the
// items that the first one shows.
void TestEditor::sameNamedCategories_data()
{
    QTest::addColumn<bool>("rename"); // else delete
    QTest::addColumn<QByteArray>("itemsAfter");
    QTest::addColumn<QByteArray>("categoriesAfter");
    QTest::addColumn<QString>("tree");
    QTest::newRow("delete") << false << crlf("Shops~a~|Shops~b~") << crlf("Shops") << "Shops[a,b]";
    QTest::newRow("rename") << true << crlf("Shops~a~|Shops~b~|Stores~c~~~~~~~~~~~~~") << crlf("Shops|Stores")
                            << "Shops[a,b];Stores[c]";
}

void TestEditor::sameNamedCategories()
{
    QFETCH(bool, rename);
    QFETCH(QByteArray, itemsAfter);
    QFETCH(QByteArray, categoriesAfter);
    QFETCH(QString, tree);

    TfrmMain* w = open(lf("Shops|Shops"), lf("Shops~a~|Shops~b~"));
    QCOMPARE(treeDump(), QStringLiteral("Shops[a,b];Shops[]"));
    named<QTreeWidget>(w, "tvwMain")->setCurrentItem(named<QTreeWidget>(w, "tvwMain")->topLevelItem(1));
    TfrmAddElement::queueEntry(QStringLiteral("c")); // an item of the second node's own
    named<QPushButton>(w, "btnAddItem")->click();
    named<QTreeWidget>(w, "tvwMain")->setCurrentItem(named<QTreeWidget>(w, "tvwMain")->topLevelItem(1));
    TMessageBox::clearTestState();
    if (rename) {
        TfrmAddElement::queueEntry(QStringLiteral("Stores"));
        named<QAction>(w, "EditCategory1")->trigger();
    } else {
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        named<QAction>(w, "DeleteCategory1")->trigger();
    }
    QCOMPARE(TMessageBox::queuedAnswers(), 0);
    QCOMPARE(readFile("items.dat"), itemsAfter);
    QCOMPARE(readFile("categories.dat"), categoriesAfter);
    QCOMPARE(treeDump(), tree);
    // The first node's items still show their lines.
    select("Shops/b");
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), QStringLiteral("b"));
}

// After a failed "Save Item" the item is no longer marked as edited: the error was shown, and
// leaving the item asks nothing.
void TestEditor::failedSaveLeavesItemUnmarked()
{
    const QByteArray items = lf("Shops~Amazon~prog~|Shops~eBay~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/Amazon");
    named<QLineEdit>(w, "edtProg")->setFocus();
    QTest::keyClicks(named<QLineEdit>(w, "edtProg"), QStringLiteral("Z"));
    QVERIFY(w->isItemChanged());
    {
        FileSizeLimit full(8);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        named<QPushButton>(w, "btnSave")->click();
    }
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().at(0).contains(QStringLiteral("items.dat")), qPrintable(messages().at(0)));
    QVERIFY(!w->isItemChanged());
    QCOMPARE(readFile("items.dat"), items);
    select("Shops/eBay"); // no question: a real box would be caught as unexpected
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    QCOMPARE(messages().size(), 1);
}

// ---- Find, keyboard, first start ----

void TestEditor::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString all = s("Shops[Amazon,eBay];Travel[Flights,Hotels];Caf\xE9s[Latte]");
    QTest::newRow("empty: everything") << "" << all;
    QTest::newRow("title, other case") << "AMAZ"
                                       << "Shops[Amazon]";
    QTest::newRow("any field: password") << "s3Cr"
                                         << "Shops[eBay]";
    QTest::newRow("any field: description's second line") << "second"
                                                          << "Travel[Hotels]";
    QTest::newRow("no match across two fields") << "amazonprog"
                                                << "";
    QTest::newRow("category name keeps all its items") << "trav"
                                                       << "Travel[Flights,Hotels]";
    QTest::newRow("accented letter in other case") << s("CAF\xC9") << s("Caf\xE9s[Latte]");
    QTest::newRow("accented letter in a field") << s("cr\xC8me") << s("Caf\xE9s[Latte]");
    QTest::newRow("nothing matches") << "zzz"
                                     << "";
}

void TestEditor::find()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const QByteArray categories = lf("Shops|Travel|Caf\xE9s");
    const QByteArray items = lf("Shops~Amazon~prog~|Shops~eBay~~~~~s3cret~|Travel~Flights~|"
                                "Travel~Hotels~~~~~~~~~~first\xA5\xA5\xA7\xA7second~|Caf\xE9s~Latte~Cr\xE8me~");
    TfrmMain* w = open(categories, items);
    typeFind(text);
    QCOMPARE(shownDump(), shown);
    // Escape shows everything again; nothing was written.
    QTest::keyClick(named<QLineEdit>(w, "edtFind"), Qt::Key_Escape);
    QCOMPARE(named<QLineEdit>(w, "edtFind")->text(), QString());
    QCOMPARE(shownDump(), treeDump());
    QCOMPARE(readFile("categories.dat"), categories);
    QCOMPARE(readFile("items.dat"), items);
}

// Filtering changes only what the tree shows: the selection, the leave-item check, the
// sibling-title rule and the commands see every node.
void TestEditor::findLeavesCommandsTheWholeTree()
{
    const QByteArray items = lf("Shops~Amazon~|Shops~eBay~|Shops~Etsy~|Travel~Flights~");
    TfrmMain* w = open(lf("Shops|Travel"), items);
    select("Shops/eBay");
    typeFind(QStringLiteral("e"));
    QCOMPARE(shownDump(), QStringLiteral("Shops[eBay,Etsy];Travel[Flights]")); // "Travel" has an e
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    QVERIFY(currentIsSelected());

    // A filter that does not match the selected item keeps it shown and selected, with its category.
    typeFind(QStringLiteral("flig"));
    QCOMPARE(shownDump(), QStringLiteral("Shops[eBay];Travel[Flights]"));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), QStringLiteral("eBay"));

    // The sibling-title rule sees the hidden "Amazon".
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QLineEdit>(w, "edtTitle")->setText(QStringLiteral("Amazon"));
    named<QPushButton>(w, "btnSave")->click();
    QCOMPARE(messages(), QStringList{QStringLiteral(
                             "Sorry there is an item with this title in this category. Use other name and try again")});
    QCOMPARE(readFile("items.dat"), items);

    // The leave-item check asks before moving to a shown node.
    named<QLineEdit>(w, "edtTitle")->setFocus();
    QTest::keyClick(named<QLineEdit>(w, "edtTitle"), Qt::Key_End);
    TMessageBox::clearTestState();
    TMessageBox::setNextAnswer(TMessageBox::Answer::Cancel);
    select("Travel/Flights");
    QCOMPARE(messages(), QStringList{QStringLiteral("Do you want save the changes you made in this item?")});
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));
    TMessageBox::setNextAnswer(TMessageBox::Answer::No);
    select("Travel/Flights");
    QCOMPARE(selectedPath(), QStringLiteral("Travel/Flights"));

    // Delete Category on a filtered category removes its hidden items too.
    typeFind(QStringLiteral("etsy"));
    select("Shops");
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "DeleteCategory1")->trigger();
    QCOMPARE(readFile("items.dat"), crlf("Travel~Flights~"));
    QCOMPARE(treeDump(), QStringLiteral("Travel[Flights]"));

    // An item added under a filter is shown, selected, whatever the filter.
    select("Travel");
    TfrmAddElement::queueEntry(QStringLiteral("Trains"));
    named<QPushButton>(w, "btnAddItem")->click();
    QCoreApplication::processEvents();
    QCOMPARE(selectedPath(), QStringLiteral("Travel/Trains"));
    QVERIFY(shownDump().contains(QStringLiteral("Trains")));
    typeFind(QString());
    QCOMPARE(shownDump(), QStringLiteral("Travel[Flights,Trains]"));
}

// With tens of thousands of items to hide or show, a closed category's items are brought up to
// date when it opens: whenever it opens, it shows what the filter decided, also after the field was
// emptied or the tree changed in between.
void TestEditor::findOverManyItems()
{
    const QList<QByteArray> names{"W", "X", "Y", "Z"};
    QByteArray items;
    for (const QByteArray& name : names) {
        for (int i = 0; i < 5000; ++i)
            items += name +
                     (i % 10 == 0 ? "\xA5"
                                    "keep "
                                  : "\xA5"
                                    "drop ") +
                     QByteArray::number(i) + '\n';
    }
    TfrmMain* w = open(names.join('\n') + '\n', items);
    QTreeWidget* tree = named<QTreeWidget>(w, "tvwMain");
    auto category = [&](const QByteArray& name) { return tree->topLevelItem(int(names.indexOf(name))); };
    // What an opened category shows: "keep" items and "drop" items.
    auto opened = [&](const QByteArray& name) {
        QTreeWidgetItem* root = category(name);
        root->setExpanded(true);
        int keep = 0;
        int drop = 0;
        for (int c = 0; c < root->childCount(); ++c) {
            if (!root->child(c)->isHidden())
                ++(root->child(c)->text(0).startsWith(u'k') ? keep : drop);
        }
        return QStringLiteral("%1 keep, %2 drop").arg(keep).arg(drop);
    };

    typeFind(QStringLiteral("keep")); // 2,000 matches: no category opens by itself
    for (const QByteArray& name : names)
        QVERIFY(!category(name)->isHidden() && !category(name)->isExpanded());
    QCOMPARE(opened("W"), QStringLiteral("500 keep, 0 drop"));
    QCOMPARE(opened("X"), QStringLiteral("500 keep, 0 drop"));
    QCOMPARE(opened("Y"), QStringLiteral("500 keep, 0 drop"));
    for (const char* name : {"W", "X", "Y"})
        category(name)->setExpanded(false);

    QTest::keyClick(named<QLineEdit>(w, "edtFind"), Qt::Key_Escape);
    QCOMPARE(opened("Z"), QStringLiteral("500 keep, 4500 drop"));
    TfrmAddElement::queueEntry(QStringLiteral("New"));
    named<QPushButton>(w, "btnAddCategory")->click();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    tree->setFocus();
    named<QLineEdit>(w, "edtFind")->setFocus(); // remakes the find index
    awaitFindIndex();
    QCOMPARE(opened("W"), QStringLiteral("500 keep, 4500 drop"));
    QCOMPARE(opened("X"), QStringLiteral("500 keep, 4500 drop"));
    QCOMPARE(opened("Y"), QStringLiteral("500 keep, 4500 drop"));
}

// Changes made while the find index is being made (a large tree's, a slice at a time) are in what
// the filter shows: a saved field, a deleted item (whose node the index may have taken).
void TestEditor::findAfterChangesWhileIndexing_data()
{
    QTest::addColumn<int>("items");
    QTest::newRow("small tree: index made at once") << 10;
    QTest::newRow("large tree: index made a slice at a time") << 20000;
}

void TestEditor::findAfterChangesWhileIndexing()
{
    QFETCH(int, items);
    QByteArray lines;
    for (int i = 0; i < items; ++i)
        lines += "Shops~Shop " + QByteArray::number(i) + "~program~|";
    lines += "Shops~Passport~|Travel~Flights~~~~~secret~";
    TfrmMain* w = open(lf("Shops|Travel"), lf(lines));
    auto* find = named<QLineEdit>(w, "edtFind");
    find->setFocus();
    QCOMPARE(w->isFindIndexPending(), items > 5000);
    QCoreApplication::processEvents(); // a first slice of it

    select("Shops/Passport");
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "DeleteItem1")->trigger();
    select("Shops/Shop 1");
    typeFind(QStringLiteral("pass"));
    QCOMPARE(shownDump(), QStringLiteral("Shops[Shop 1]"));

    // A saved field that leaves the node's text as it was.
    select("Travel/Flights");
    named<QLineEdit>(w, "edtPassword")->setText(QStringLiteral("passphrase"));
    named<QPushButton>(w, "btnSave")->click();
    select("Shops/Shop 1");
    typeFind(QStringLiteral("pass"));
    QCOMPARE(shownDump(), QStringLiteral("Shops[Shop 1];Travel[Flights]"));
    typeFind(QStringLiteral("secret"));
    QCOMPARE(shownDump(), QStringLiteral("Shops[Shop 1]"));
    QCOMPARE(readFile("items.dat").count("Passport"), 0);
}

void TestEditor::shortcuts()
{
    TfrmMain* w = open(lf("Shops"), lf("Shops~Amazon~~~https://login.example/~"));

    TfrmAddElement::queueEntry(QStringLiteral("Travel"));
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), named<QTreeWidget>(w, "tvwMain")); // Add Category
    QCOMPARE(readFile("categories.dat"), crlf("Shops|Travel"));

    select("Shops");
    TfrmAddElement::queueEntry(QStringLiteral("eBay"));
    shortcut(QKeySequence::New, named<QTreeWidget>(w, "tvwMain")); // Add Item
    QCOMPARE(selectedPath(), QStringLiteral("Shops/eBay"));

    named<QLineEdit>(w, "edtProg")->setText(QStringLiteral("auctions"));
    shortcut(QKeySequence::Save, named<QLineEdit>(w, "edtProg")); // Save Item
    QCOMPARE(readFile("items.dat"), crlf("Shops~Amazon~~~https://login.example/~|Shops~eBay~auctions~~~~~~~~~~"));

    shortcut(QKeySequence::Find, named<QLineEdit>(w, "edtTitle"));
    QCOMPARE(QApplication::focusWidget(), named<QLineEdit>(w, "edtFind"));

    // Delete and F2 act on the tree's node while the tree has the focus.
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    shortcut(QKeySequence::Delete, named<QTreeWidget>(w, "tvwMain"));
    QCOMPARE(treeDump(), QStringLiteral("Shops[Amazon];Travel[]"));
    select("Travel");
    TfrmAddElement::queueEntry(QStringLiteral("Trips"));
    shortcut(QKeySequence(Qt::Key_F2), named<QTreeWidget>(w, "tvwMain"));
    QCOMPARE(readFile("categories.dat"), crlf("Shops|Trips"));
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    shortcut(QKeySequence::Delete, named<QTreeWidget>(w, "tvwMain"));
    QCOMPARE(readFile("categories.dat"), crlf("Shops"));

    // In a field, Delete is the field's own key.
    select("Shops/Amazon");
    named<QLineEdit>(w, "edtTitle")->setCursorPosition(0);
    shortcut(QKeySequence::Delete, named<QLineEdit>(w, "edtTitle"));
    QCOMPARE(named<QLineEdit>(w, "edtTitle")->text(), QStringLiteral("mazon"));
    QCOMPARE(treeDump(), QStringLiteral("Shops[Amazon]"));
}

void TestEditor::helpLineInEmptyTree()
{
    TfrmMain* w = open(QByteArray(), QByteArray());
    QVERIFY(named<QLabel>(w, "lblTreeHelp")->isVisible());
    QVERIFY(named<QLabel>(w, "lblTreeHelp")->text().contains(QStringLiteral("Add Category")));
    QCOMPARE(named<QTreeWidget>(w, "tvwMain")->topLevelItemCount(), 0); // not a node
    QVERIFY(named<QTreeWidget>(w, "tvwMain")->viewport()->rect().contains(named<QLabel>(w, "lblTreeHelp")->geometry()));

    TfrmAddElement::queueEntry(QStringLiteral("Shops"));
    named<QPushButton>(w, "btnAddCategory")->click();
    QVERIFY(!named<QLabel>(w, "lblTreeHelp")->isVisible());
    select("Shops");
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QAction>(w, "DeleteCategory1")->trigger();
    QVERIFY(named<QLabel>(w, "lblTreeHelp")->isVisible());
}

// A title the file cannot hold gets the "cannot be stored" message, even where its stored form
// would equal a sibling's title ("?"), in "Save Item" and in the leave-item check alike.
void TestEditor::unstorableTitleBeforeSiblingRule()
{
    const QByteArray items = lf("Shops~?~|Shops~x~|Shops~y~");
    TfrmMain* w = open(lf("Shops"), items);
    select("Shops/x");
    named<QLineEdit>(w, "edtTitle")->setText(QStringLiteral("\u0416")); // Cyrillic Zhe: not in Windows-1252
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    named<QPushButton>(w, "btnSave")->click();
    QCOMPARE(messages().size(), 1);
    QVERIFY2(!messages().at(0).startsWith(QStringLiteral("Sorry")) &&
                 messages().at(0).contains(QStringLiteral("Title")),
             qPrintable(messages().at(0)));

    TMessageBox::clearTestState();
    named<QLineEdit>(w, "edtTitle")->setFocus();
    QTest::keyClick(named<QLineEdit>(w, "edtTitle"), Qt::Key_End);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Yes);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    select("Shops/y");
    QCOMPARE(messages().size(), 2);
    QVERIFY2(!messages().at(1).startsWith(QStringLiteral("Sorry")), qPrintable(messages().at(1)));
    QCOMPARE(selectedPath(), QStringLiteral("Shops/x"));
    QCOMPARE(readFile("items.dat"), items);
}

void TestEditor::nodePicturesUntinted()
{
    open(lf("Shops"), lf("Shops~Amazon~"));
    select("Shops/Amazon");
    for (QTreeWidgetItem* n : {node("Shops"), node("Shops/Amazon")}) {
        const QIcon icon = n->icon(0);
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(16, QIcon::Selected).toImage(), icon.pixmap(16, QIcon::Normal).toImage());
    }
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
