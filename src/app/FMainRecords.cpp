// Category tree, item editor and the category and item commands of the main window.
#include "app/FMain.h"

#include "app/EditorFields.h"
#include "app/ErrorGuard.h"
#include "dialogs/FAddElement.h"
#include "platform/MessageBox.h"
#include "records/ItemFind.h"
#include "records/RecordCommands.h"
#include "records/RecordFiles.h"
#include "util/AppError.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHash>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTreeWidget>

#include <climits>
#include <cstring>

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want save the changes you made in this item?");
const QString kTitleConflict =
    QStringLiteral("Sorry there is an item with this title in this category. Use other name and try again");
const QString kCategoryExists = QStringLiteral("This category already exists.");
const QString kSelectCategory = QStringLiteral("Select a category first.");
const QString kItemExists = QStringLiteral("This item already exists in this category.");
const QString kDeleteCategoryQuestion = QStringLiteral("Are you sure do you want to delete selected category?");
const QString kDeleteItemQuestion = QStringLiteral("Are you sure do you want to delete selected item?");

// The selected node. The tree keeps its current node selected (see setupRecords), so the
// current node is the selected one.
QTreeWidgetItem* selectedNode(const QTreeWidget* tree)
{
    return tree->currentItem();
}

QByteArray nodeText(const QTreeWidgetItem* node)
{
    return UUtils::stringToAnsi(node->text(0));
}

// The description as the user typed it. QTextDocument::toPlainText() would turn a no-break
// space (0xA0) into a blank, so read the raw text and convert only the paragraph marks.
QString descriptionText(const QPlainTextEdit* memo)
{
    QString text = memo->document()->toRawText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }
    return text;
}

// Converts an entry of the input dialog for storing, or shows why it cannot be stored.
bool storableEntry(const QString& entry, const QString& fieldName, QByteArray* bytes)
{
    const QString problem = Records::checkStorableText(entry, fieldName, Records::TextKind::SingleLine, bytes);
    if (problem.isEmpty())
        return true;
    TMessageBox::warning(problem);
    return false;
}

// Another root node has the very same text as this category node.
bool hasNamesake(const QTreeWidget* tree, const QTreeWidgetItem* category)
{
    const QString text = category->text(0);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* root = tree->topLevelItem(i);
        if (root != category && root->text(0) == text)
            return true;
    }
    return false;
}

StringList childTitles(const QTreeWidgetItem* category)
{
    StringList titles;
    titles.reserve(category->childCount());
    for (int i = 0; i < category->childCount(); ++i)
        titles.append(nodeText(category->child(i)));
    return titles;
}

// Filters the tree's viewport: a right click opens the context menu without moving the selection.
class RightClickKeepsSelection : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick ||
            event->type() == QEvent::MouseButtonRelease) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true; // the context menu event still follows
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void TfrmMain::setupRecords()
{
    tvwMain->viewport()->installEventFilter(new RightClickKeepsSelection(tvwMain));
    // Nothing is selected at start. Setting "no current node" once also keeps the view from making
    // its first node current when it gets the keyboard focus.
    tvwMain->setCurrentItem(nullptr);

    // Keep the current node selected: a view may make a node current without selecting it (on
    // getting the focus) or deselect the current node (Ctrl+click). The current node is the
    // selected node everywhere in this file.
    QItemSelectionModel* selection = tvwMain->selectionModel();
    auto keepCurrentSelected = [this, selection] {
        const QModelIndex current = selection->currentIndex();
        if (current.isValid() && !selection->isSelected(current))
            selection->select(current, QItemSelectionModel::ClearAndSelect);
    };
    connect(selection, &QItemSelectionModel::selectionChanged, this, guarded(keepCurrentSelected));
    connect(selection, &QItemSelectionModel::currentChanged, this, guarded(keepCurrentSelected));
}

// ---------------------------------------------------------------------------------------------
// Selection

void TfrmMain::tvwMainChanging(QTreeWidgetItem* /*node*/, bool& allowChange)
{
    QTreeWidgetItem* current = selectedNode(tvwMain);
    if (!current || !FItemChanged)
        return;

    switch (TMessageBox::information(kSaveQuestion, TMessageBox::Buttons::YesNoCancel)) {
    case TMessageBox::Answer::No:
        return;
    case TMessageBox::Answer::Yes:
        break;
    default:
        allowChange = false;
        return;
    }

    // A text the file cannot hold is refused first: its stored form could equal a sibling's title.
    Records::ItemFields fields;
    if (!itemFieldsFromEditor(&fields)) {
        allowChange = false;
        return;
    }
    if (hasSiblingTitle(edtTitle->text())) {
        TMessageBox::warning(kTitleConflict);
        allowChange = false;
        return;
    }
    // When items.dat cannot be written the selection stays on the item, which is still marked
    // as edited: the user sees the error and can try again, or answer No to drop the edits.
    if (!runGuarded([this] { SaveItem(); })) {
        FItemChanged = true;
        allowChange = false;
    }
}

void TfrmMain::tvwMainChange()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node)
        return;
    if (QTreeWidgetItem* parent = node->parent()) {
        ShowItem(nodeText(parent), nodeText(node));
        EnableItemFields();
    } else {
        ClearItemFields();
        DisableItemFields();
    }
}

// ---------------------------------------------------------------------------------------------
// Item editor

void TfrmMain::edtTitleKeyDown(QWidget* field, QKeyEvent* key)
{
    // Tab and Shift+Tab move the focus to the next field; they do not reach the field.
    if (key && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const auto* memo = qobject_cast<QPlainTextEdit*>(field);
        if (!memo || memo->tabChangesFocus())
            return;
    }
    FItemChanged = true;
}

void TfrmMain::ShowItem(const QByteArray& category, const QByteArray& title)
{
    const qsizetype index = Records::findItemLine(ItemList, category, title);
    if (index >= 0) {
        const Records::ItemFields fields = Records::readItemLine(ItemList.at(index));
        for (const TEditorField& entry : editorFields()) {
            if (entry.line) {
                QLineEdit* line = this->*entry.line;
                line->setText(UUtils::ansiToString(fields[entry.field]));
                line->setCursorPosition(0);
            } else {
                memDesc->setPlainText(UUtils::ansiToString(Records::descriptionToEditor(fields[entry.field])));
            }
        }
    }
    FItemChanged = false;
}

void TfrmMain::ClearItemFields()
{
    for (const TEditorField& entry : editorFields()) {
        if (entry.line)
            (this->*entry.line)->clear();
        else
            memDesc->clear();
    }
    FItemChanged = false;
}

void TfrmMain::EnableItemFields()
{
    for (QWidget* field : itemFields())
        field->setEnabled(true);
}

void TfrmMain::DisableItemFields()
{
    for (QWidget* field : itemFields())
        field->setEnabled(false);
}

bool TfrmMain::hasSiblingTitle(const QString& title) const
{
    const QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node)
        return false;
    const QTreeWidgetItem* parent = node->parent();
    const int count = parent ? parent->childCount() : tvwMain->topLevelItemCount();
    StringList titles;
    titles.reserve(count);
    qsizetype self = -1;
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* sibling = parent ? parent->child(i) : tvwMain->topLevelItem(i);
        if (sibling == node)
            self = i;
        titles.append(nodeText(sibling));
    }
    return Records::hasSiblingTitle(titles, self, UUtils::stringToAnsi(title));
}

bool TfrmMain::itemFieldsFromEditor(Records::ItemFields* fields) const
{
    for (const TEditorField& entry : editorFields()) {
        const QString text = entry.line ? (this->*entry.line)->text() : descriptionText(memDesc);
        const QString problem = Records::checkStorableText(
            text, QLatin1String(entry.name), entry.line ? Records::TextKind::SingleLine : Records::TextKind::MultiLine,
            &(*fields)[entry.field]);
        if (!problem.isEmpty()) {
            TMessageBox::warning(problem);
            (entry.line ? static_cast<QWidget*>(this->*entry.line) : memDesc)->setFocus();
            return false;
        }
    }
    (*fields)[Records::fldDescription] = Records::descriptionFromEditor((*fields)[Records::fldDescription]);
    return true;
}

void TfrmMain::btnSaveClick()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node || !node->parent())
        return;
    // A text the file cannot hold is refused first: its stored form could equal a sibling's title.
    Records::ItemFields fields;
    if (!itemFieldsFromEditor(&fields))
        return;
    if (hasSiblingTitle(edtTitle->text())) {
        TMessageBox::warning(kTitleConflict);
        return;
    }
    // A failed write is reported by the handler's guard; the item is no longer marked as edited
    // (SaveItem cleared the mark before writing), so leaving it asks nothing.
    SaveItem();
}

void TfrmMain::SaveItem()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    QTreeWidgetItem* parent = node ? node->parent() : nullptr;
    Records::ItemFields fields;
    // The callers have checked the fields; refuse anyway rather than store a damaged line.
    if (parent && !itemFieldsFromEditor(&fields))
        return;
    if (parent) {
        const QByteArray category = nodeText(parent);
        const qsizetype index = Records::findItemLine(ItemList, category, nodeText(node));
        if (index >= 0) {
            node->setText(0, edtTitle->text());
            fields[Records::fldCategory] = category;
            ItemList[index] = Records::buildItemLine(fields);
            invalidateFind(); // the node's text may be unchanged, its fields are not
        }
    }
    FItemChanged = false;
    SaveItems();
}

// ---------------------------------------------------------------------------------------------
// Commands

void TfrmMain::btnAddCategoryClick()
{
    QString entry;
    if (!TfrmAddElement::execute(QStringLiteral("Add Category"), QStringLiteral("Category:"), &entry))
        return;
    QByteArray name;
    if (!storableEntry(entry, QStringLiteral("Category"), &name))
        return;
    if (Records::findCategoryFoldedTrimmed(CategoryList, name) >= 0) {
        TMessageBox::warning(kCategoryExists);
        return;
    }
    CategoryList.append(name);
    auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(name)));
    node->setIcon(0, ImageList1.at(0));
    tvwMain->addTopLevelItem(node);
    SaveCategories();
}

void TfrmMain::AddCategory1Click()
{
    btnAddCategoryClick();
}

void TfrmMain::btnAddItemClick()
{
    QTreeWidgetItem* selected = selectedNode(tvwMain);
    if (!selected) {
        TMessageBox::warning(kSelectCategory);
        return;
    }
    QTreeWidgetItem* category = selected->parent() ? selected->parent() : selected;

    QString entry;
    if (!TfrmAddElement::execute(QStringLiteral("Add Item"), QStringLiteral("Item:"), &entry))
        return;
    QByteArray title;
    if (!storableEntry(entry, QStringLiteral("Item"), &title))
        return;
    const QByteArray categoryName = nodeText(category);
    if (Records::itemExistsFolded(ItemList, categoryName, title)) {
        TMessageBox::warning(kItemExists);
        return;
    }

    ItemList.append(Records::newItemLine(categoryName, title));
    auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(title)));
    node->setIcon(0, ImageList1.at(1));
    category->addChild(node);
    // Selecting runs the leave-item check; when it refuses, the item stays added all the same.
    tvwMain->setCurrentItem(node);
    category->setExpanded(true);
    tvwMain->scrollToItem(node);
    SaveItems();
}

void TfrmMain::AddItem1Click()
{
    btnAddItemClick();
}

void TfrmMain::EditCategory()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node || node->parent())
        return;
    const QByteArray oldName = nodeText(node);

    QString entry;
    if (!TfrmAddElement::execute(QStringLiteral("Edit Category"), QStringLiteral("Category:"), &entry))
        return;
    QByteArray newName;
    if (!storableEntry(entry, QStringLiteral("Category"), &newName))
        return;

    const int rootCount = tvwMain->topLevelItemCount();
    StringList roots;
    roots.reserve(rootCount);
    for (int i = 0; i < rootCount; ++i)
        roots.append(nodeText(tvwMain->topLevelItem(i)));
    if (Records::findCategoryFoldedTrimmed(roots, newName, tvwMain->indexOfTopLevelItem(node)) >= 0) {
        TMessageBox::warning(kCategoryExists);
        return;
    }

    const qsizetype own = Records::categoryEntryOfNode(CategoryList, tvwMain->indexOfTopLevelItem(node), oldName);
    if (own >= 0)
        CategoryList[own] = newName;
    if (hasNamesake(tvwMain, node)) {
        // The lines named oldName belong to both nodes: rename only this node's items.
        for (const qsizetype line : Records::ownItemLines(ItemList, oldName, childTitles(node)))
            ItemList[line] = newName + ItemList[line].mid(oldName.size());
    } else {
        Records::renameCategoryItems(ItemList, oldName, newName);
    }
    node->setText(0, UUtils::ansiToString(newName));
    // A failure of categories.dat ends the command before items.dat is written.
    SaveCategories();
    SaveItems();
}

void TfrmMain::EditCategory1Click()
{
    EditCategory();
}

// Moves the selection off a node that is about to be removed: to its next sibling, else its
// previous sibling, else its parent (nothing, for the last category). The move runs the
// leave-item check and shows the new node.
static void selectInsteadOf(QTreeWidget* tree, QTreeWidgetItem* node)
{
    if (tree->currentItem() != node)
        return;
    QTreeWidgetItem* parent = node->parent();
    const int index = parent ? parent->indexOfChild(node) : tree->indexOfTopLevelItem(node);
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    auto at = [&](int i) { return parent ? parent->child(i) : tree->topLevelItem(i); };
    QTreeWidgetItem* next = index + 1 < count ? at(index + 1) : index > 0 ? at(index - 1) : parent;
    tree->setCurrentItem(next);
}

void TfrmMain::DeleteCategory()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node || node->parent())
        return;
    if (TMessageBox::warning(kDeleteCategoryQuestion, TMessageBox::Buttons::OkCancel) != TMessageBox::Answer::Ok)
        return;
    const QByteArray name = nodeText(node);
    const qsizetype entry = Records::categoryEntryOfNode(CategoryList, tvwMain->indexOfTopLevelItem(node), name);
    if (entry >= 0)
        CategoryList.removeAt(entry);
    if (hasNamesake(tvwMain, node)) {
        // The lines named name belong to both nodes: the other one keeps its items.
        const QList<qsizetype> own = Records::ownItemLines(ItemList, name, childTitles(node));
        for (auto line = own.crbegin(); line != own.crend(); ++line)
            ItemList.removeAt(*line);
    } else {
        Records::removeCategoryItems(ItemList, name);
    }

    FItemChanged = false; // a category is shown: nothing was edited
    selectInsteadOf(tvwMain, node);
    qDeleteAll(node->takeChildren());
    delete node;
    SaveCategories();
    SaveItems();
}

void TfrmMain::DeleteCategory1Click()
{
    DeleteCategory();
}

void TfrmMain::DeleteItem()
{
    QTreeWidgetItem* node = selectedNode(tvwMain);
    if (!node || !node->parent())
        return;
    if (TMessageBox::warning(kDeleteItemQuestion, TMessageBox::Buttons::OkCancel) != TMessageBox::Answer::Ok)
        return;
    const qsizetype index = Records::findItemLine(ItemList, nodeText(node->parent()), nodeText(node));
    if (index < 0)
        return;
    ItemList.removeAt(index);

    // The user has just agreed to delete this item: its unsaved edits go with it, unasked.
    FItemChanged = false;
    selectInsteadOf(tvwMain, node);
    delete node;
    SaveItems();
}

void TfrmMain::DeleteItem1Click()
{
    DeleteItem();
}

void TfrmMain::bsSkinPopupMenu1Popup()
{
    const QTreeWidgetItem* node = selectedNode(tvwMain);
    const bool category = node && !node->parent();
    const bool item = node && node->parent();
    AddCategory1->setVisible(true);
    EditCategory1->setVisible(category);
    DeleteCategory1->setVisible(category);
    N1->setVisible(true);
    AddItem1->setVisible(true);
    DeleteItem1->setVisible(item);
    N2->setVisible(true);
    Import1->setVisible(true);
    Export1->setVisible(true);
}

// ---------------------------------------------------------------------------------------------
// Find

void TfrmMain::invalidateFind()
{
    m_findIndexValid = false;
    ++m_findGeneration;
    updateTreeHelp();
    // Worked out again once the change is complete (a command may add and select in several steps),
    // also when the field is empty but closed categories still hold the last filter's state.
    if ((edtFind->text().isEmpty() && m_findPending.isEmpty()) || m_findRefilterQueued)
        return;
    m_findRefilterQueued = true;
    QMetaObject::invokeMethod(this, guarded([this] {
                                  m_findRefilterQueued = false;
                                  edtFindChange();
                              }),
                              Qt::QueuedConnection);
}

bool TfrmMain::buildFindIndex()
{
    if (m_findIndexValid)
        return true;
    if (m_findBuild && m_findBuild->generation == m_findGeneration)
        return false; // under way
    m_findBuild = std::make_unique<FindBuild>();
    m_findBuild->generation = m_findGeneration;
    m_findBuild->itemLines = ItemList;
    m_findBuild->linesLeft = ItemList.size();
    m_findBuild->lineOf.reserve(ItemList.size());
    m_findBuild->index.reserve(tvwMain->topLevelItemCount() + ItemList.size());
    // A tree of a few thousand nodes takes a few milliseconds: made at once, so that the filter
    // follows the keystroke without a round through the event loop.
    constexpr qsizetype kAtOnce = 5000;
    if (tvwMain->topLevelItemCount() + ItemList.size() <= kAtOnce)
        return continueFindBuild(-1);
    queueFindSlice();
    return false;
}

void TfrmMain::queueFindSlice()
{
    if (m_findSliceQueued)
        return;
    m_findSliceQueued = true;
    QMetaObject::invokeMethod(this, guarded([this] {
                                  m_findSliceQueued = false;
                                  continueFindBuild(kFindSliceMs);
                              }),
                              Qt::QueuedConnection);
}

bool TfrmMain::continueFindBuild(int budgetMs)
{
    if (!m_findBuild)
        return m_findIndexValid;
    FindBuild& b = *m_findBuild;
    if (b.generation != m_findGeneration) { // the tree changed meanwhile: from the start again
        m_findBuild.reset();
        if (!m_findFilterWhenBuilt && !edtFind->hasFocus())
            return false; // nobody waits for it: the next use of the field starts it
        if (!buildFindIndex())
            return false;
        if (m_findFilterWhenBuilt) {
            m_findFilterWhenBuilt = false;
            edtFindChange();
        }
        return true;
    }
    QElapsedTimer clock;
    clock.start();
    auto spent = [&] { return budgetMs >= 0 && clock.elapsed() >= budgetMs; };
    auto nextSlice = [this] {
        queueFindSlice();
        return false;
    };

    constexpr char kSeparator = char(0xA5);
    while (b.linesLeft > 0) {
        const qsizetype i = --b.linesLeft;
        const QByteArray& line = b.itemLines.at(i);
        const qsizetype first = line.indexOf(kSeparator);
        if (first >= 0 && first + 1 < line.size()) {
            const qsizetype second = line.indexOf(kSeparator, first + 1);
            b.lineOf.insert(QByteArrayView(line).first(second < 0 ? line.size() : second), i);
        }
        if ((i & 0x3FF) == 0 && spent())
            return nextSlice();
    }

    int done = 0;
    while (b.root < tvwMain->topLevelItemCount()) {
        QTreeWidgetItem* root = tvwMain->topLevelItem(b.root);
        if (b.child < 0) {
            b.category = nodeText(root);
            const bool hidden = root->isHidden();
            b.index.append({root, Records::foldForFind(b.category), hidden, hidden});
            b.child = 0;
        }
        const int children = root->childCount();
        for (; b.child < children; ++b.child) {
            if ((++done & 0xFF) == 0 && spent())
                return nextSlice();
            QTreeWidgetItem* node = root->child(b.child);
            const QByteArray title = nodeText(node);
            b.key.clear();
            b.key.append(b.category).append(kSeparator).append(title);
            const qsizetype line = b.lineOf.value(QByteArrayView(b.key), -1);
            const bool hidden = node->isHidden();
            b.index.append({node, line >= 0 ? Records::itemFindText(b.itemLines.at(line)) : Records::foldForFind(title),
                            hidden, hidden});
        }
        ++b.root;
        b.child = -1;
    }

    m_findIndex = std::move(b.index);
    m_findPending.clear(); // positions into the old index; the view keeps its state
    m_findIndexValid = true;
    m_findBuild.reset();
    if (m_findFilterWhenBuilt && budgetMs >= 0) { // a keystroke came while it was made
        m_findFilterWhenBuilt = false;
        edtFindChange();
    }
    return true;
}

void TfrmMain::edtFindChange()
{
    // A large tree's index may still be in the making: the keystroke does not wait for it, the
    // pass follows with the field's text of then.
    if (!buildFindIndex()) {
        m_findFilterWhenBuilt = true;
        return;
    }
    const QString typed = edtFind->text();
    QByteArray needle;
    const bool findable = Records::findNeedle(typed, &needle);
    const QTreeWidgetItem* selected = tvwMain->currentItem();
    const QTreeWidgetItem* selectedCategory = selected && selected->parent() ? selected->parent() : selected;
    const bool everything = typed.isEmpty();

    // First what the filter shows, node by node ...
    auto matches = [&](const FindEntry& entry) { return findable && Records::containsBytes(entry.text, needle); };
    QList<qsizetype> matchingRoots; // index of each category with a matching item
    qsizetype matchingItems = 0;
    qsizetype itemChanges = 0; // items of shown categories that change state
    for (qsizetype i = 0; i < m_findIndex.size();) {
        FindEntry& root = m_findIndex[i];
        const int children = root.node->childCount();
        const bool categoryMatches = everything || matches(root);
        bool itemMatches = false;
        for (int c = 1; c <= children; ++c) {
            FindEntry& item = m_findIndex[i + c];
            const bool itemMatch = !everything && matches(item);
            itemMatches = itemMatches || itemMatch;
            matchingItems += itemMatch ? 1 : 0;
            item.hide = !(categoryMatches || itemMatch || item.node == selected);
        }
        root.hide = !(categoryMatches || itemMatches || root.node == selectedCategory);
        if (!root.hide) {
            for (int c = 1; c <= children; ++c)
                itemChanges += m_findIndex[i + c].hide != m_findIndex[i + c].hidden ? 1 : 0;
        }
        if (itemMatches)
            matchingRoots.append(i);
        i += 1 + children;
    }

    // ... then the view. The view keeps a hidden row as a persistent index, which costs about half a
    // microsecond to make or drop, so a keystroke that hides or shows tens of thousands of items
    // would take tens of milliseconds. The items of a closed category are not seen: past
    // kChangesAtOnce changes they are brought up to date when their category opens
    // (findCategoryOpened), and until then only whether the category has something to open is kept
    // right. The items of a hidden category keep their state: they are not seen either way.
    constexpr qsizetype kChangesAtOnce = 10000;
    const bool deferClosed = itemChanges > kChangesAtOnce;
    m_findPending.clear();
    for (qsizetype i = 0, row = 0; i < m_findIndex.size(); ++row) {
        FindEntry& root = m_findIndex[i];
        if (root.hidden != root.hide) { // by row: finding a root's row from its node costs a scan
            root.hidden = root.hide;
            tvwMain->setRowHidden(int(row), QModelIndex(), root.hide);
        }
        if (!root.hide)
            applyFindToItems(i, int(row), deferClosed && !root.node->isExpanded());
        i += 1 + root.node->childCount();
    }

    // One layout of the whole tree after this pass, instead of one per category opened or closed:
    // a change of a row's state marks the layout as due, and the view then only records the rest.
    auto layoutDue = [this] {
        if (QTreeWidgetItem* first = tvwMain->topLevelItem(0))
            first->setHidden(first->isHidden());
    };
    if (everything) {
        if (!m_expandedByFind.isEmpty())
            layoutDue();
        for (const QPersistentModelIndex& index : std::as_const(m_expandedByFind)) {
            if (index.isValid())
                tvwMain->collapse(index);
        }
        m_expandedByFind.clear();
        return;
    }
    // Categories are opened to show their matching items only while those are few enough to
    // look through: opening a thousand categories helps nobody and costs a layout of every row.
    constexpr int kOpenUpTo = 1000;
    if (matchingItems > kOpenUpTo)
        return;
    for (qsizetype i : std::as_const(matchingRoots)) {
        QTreeWidgetItem* root = m_findIndex[i].node;
        if (root->isExpanded())
            continue;
        layoutDue();
        m_expandedByFind.append(tvwMain->model()->index(tvwMain->indexOfTopLevelItem(root), 0));
        tvwMain->expand(m_expandedByFind.last()); // findCategoryOpened brings its items up to date
    }
}

void TfrmMain::applyFindToItems(qsizetype at, int row, bool closed)
{
    const int children = m_findIndex.at(at).node->childCount();
    QModelIndex category; // made at the first change
    auto apply = [&](int c) {
        FindEntry& item = m_findIndex[at + c];
        if (item.hidden == item.hide)
            return;
        item.hidden = item.hide;
        if (!category.isValid())
            category = tvwMain->model()->index(row, 0);
        tvwMain->setRowHidden(c - 1, category, item.hide);
    };
    if (!closed) {
        for (int c = 1; c <= children; ++c)
            apply(c);
        m_findPending.remove(m_findIndex.at(at).node);
        return;
    }
    // A closed category shows an arrow while one of its items is not hidden: keep that right.
    int firstShown = 0;
    bool viewShowsOne = false;
    bool behind = false;
    for (int c = 1; c <= children; ++c) {
        const FindEntry& item = m_findIndex.at(at + c);
        if (!item.hide && firstShown == 0)
            firstShown = c;
        viewShowsOne = viewShowsOne || !item.hidden;
        behind = behind || item.hidden != item.hide;
    }
    if (!behind)
        return;
    if (firstShown == 0) { // nothing to open: all its items hidden now
        for (int c = 1; c <= children; ++c)
            apply(c);
        return;
    }
    if (!viewShowsOne)
        apply(firstShown);
    m_findPending.insert(m_findIndex.at(at).node, at);
}

void TfrmMain::findCategoryOpened(QTreeWidgetItem* node)
{
    if (node->parent())
        return;
    if (!m_findIndexValid) { // the tree changed since the last pass: a new pass is due anyway
        if (m_findRefilterQueued || !m_findPending.isEmpty())
            edtFindChange();
        return;
    }
    const auto pending = m_findPending.constFind(node);
    if (pending != m_findPending.cend())
        applyFindToItems(*pending, tvwMain->indexOfTopLevelItem(node), false);
}

void TfrmMain::updateTreeHelp()
{
    const bool empty = tvwMain->topLevelItemCount() == 0;
    lblTreeHelp->setVisible(empty);
    if (empty) {
        const QRect area = tvwMain->viewport()->rect().adjusted(6, 6, -6, -6);
        lblTreeHelp->setGeometry(area.x(), area.y(), area.width(), lblTreeHelp->heightForWidth(area.width()));
    }
}
