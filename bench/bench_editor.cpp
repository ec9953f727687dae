// The item editor and the record commands at 1,000 categories and 100,000 items: showing and
// saving an item, the sibling-title check, Add Item, and Edit Category and Delete Category of a
// category that holds 1,000 items, going to the find field after a change and a keystroke in it. Each figure is the
// median of several runs and leaves out the file writes: while a step is timed the application directory points at a
// missing folder, so its save fails at once (the error is answered through the message box seam). The writes of
// items.dat and categories.dat are measured on their own.
#include "RecordData.h"
#include "StallMeter.h"

#include "app/FMain.h"
#include "dialogs/FAddElement.h"
#include "platform/MessageBox.h"
#include "support/Controls.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/StringList.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kCategories = 1000;
constexpr int kItems = 100000;
constexpr int kBigCategories = 5; // each with 1,000 items, one per Delete Category run
constexpr int kBigItems = 1000;
constexpr int kRuns = 5;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double msOf(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char* name, double value)
{
    std::printf("BENCH %s %.3f ms\n", name, value);
    std::fflush(stdout);
}

QString g_dataDir;
QString g_missingDir;

// Times step with the record files out of reach, so that its save fails at once.
double msWithoutWrite(const std::function<void()>& step)
{
    UUtils::setAppDir(g_missingDir);
    TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // the "cannot create file" message
    const double ms = msOf([&] {
        try {
            step();
        } catch (const AppError&) {
        }
    });
    UUtils::setAppDir(g_dataDir);
    TMessageBox::clearTestState();
    return ms;
}

QByteArray bigName(int i)
{
    return "Big category " + QByteArray::number(i);
}

QTreeWidgetItem* rootNamed(QTreeWidget* tree, const QByteArray& name)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (UUtils::stringToAnsi(tree->topLevelItem(i)->text(0)) == name)
            return tree->topLevelItem(i);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dataDir = dir.path();
    g_missingDir = dir.filePath(QStringLiteral("missing"));
    UUtils::setAppDir(g_dataDir);

    // 1,000 categories, five of them "big"; 100,000 items, 1,000 in each big category, spread
    // through the file among the others.
    StringList categories = BenchData::categories(kCategories - kBigCategories);
    const StringList others = BenchData::items(categories, kItems - kBigCategories * kBigItems);
    for (int i = 0; i < kBigCategories; ++i)
        categories.insert(i * 150, bigName(i));
    StringList items;
    items.reserve(kItems);
    const int step = int(others.size()) / kBigItems;
    for (int i = 0, big = 0; i < others.size(); ++i) {
        items.append(others[i]);
        if (i % step == 0 && big < kBigItems) {
            for (int c = 0; c < kBigCategories; ++c)
                items.append(Records::newItemLine(bigName(c), "Big item " + QByteArray::number(big)));
            ++big;
        }
    }
    UUtils::saveStringList(UUtils::appFile(QStringLiteral("categories.dat")), categories);
    UUtils::saveStringList(UUtils::appFile(QStringLiteral("items.dat")), items);

    TfrmMain window;
    named<QTimer>(window, "Timer1")->stop();
    QTreeWidget* tree = named<QTreeWidget>(window, "tvwMain");
    int nodes = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        nodes += tree->topLevelItem(i)->childCount();
    if (tree->topLevelItemCount() != kCategories || nodes != kItems || window.itemList().size() != kItems) {
        std::fprintf(stderr, "bench_editor: records not loaded as prepared\n");
        return 1;
    }

    // Items near the end of the list: the scans pass nearly every line.
    QTreeWidgetItem* big0 = rootNamed(tree, bigName(0));
    QList<QTreeWidgetItem*> lateItems;
    for (int i = 0; i < kRuns; ++i)
        lateItems << big0->child(big0->childCount() - 1 - i);

    QPushButton* save = named<QPushButton>(window, "btnSave");
    QLineEdit* title = named<QLineEdit>(window, "edtTitle");
    QList<double> show, saveItem, sibling, writeItems, writeCategories;
    for (QTreeWidgetItem* node : lateItems) {
        tree->setCurrentItem(node->parent());
        show << msOf([&] { tree->setCurrentItem(node); });
        // Save with the title of another item of the category: refused by the sibling-title check.
        const QString own = title->text();
        title->setText(node->parent()->child(0)->text(0));
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // "Sorry there is an item with this title ..."
        sibling << msOf([&] { save->click(); });
        TMessageBox::clearTestState();
        title->setText(own);
        named<QLineEdit>(window, "edtPassword")->setText(QStringLiteral("changed password"));
        saveItem << msWithoutWrite([&] { save->click(); });
        writeItems << msOf([&] { window.SaveItems(); });
        writeCategories << msOf([&] { window.SaveCategories(); });
    }
    report("editor_show_item", median(show));
    report("editor_save_item_without_write", median(saveItem));
    report("editor_sibling_check", median(sibling));

    QPushButton* addItemButton = named<QPushButton>(window, "btnAddItem");
    QList<double> addItem;
    for (int i = 0; i < kRuns; ++i) {
        tree->setCurrentItem(big0);
        TfrmAddElement::queueEntry(QStringLiteral("Added item %1").arg(i));
        addItem << msWithoutWrite([&] { addItemButton->click(); });
        window.SaveItems();
    }
    report("editor_add_item_without_write", median(addItem));

    QAction* editCategoryAction = named<QAction>(window, "EditCategory1");
    QList<double> editCategory;
    for (int i = 0; i < kRuns; ++i) {
        tree->setCurrentItem(big0);
        TfrmAddElement::queueEntry(QStringLiteral("Renamed category %1").arg(i));
        editCategory << msWithoutWrite([&] { editCategoryAction->trigger(); });
        window.SaveCategories();
        window.SaveItems();
    }
    report("editor_edit_category_without_write", median(editCategory));

    QAction* deleteCategoryAction = named<QAction>(window, "DeleteCategory1");
    QList<double> deleteCategory;
    for (int i = 1; i < kBigCategories; ++i) {
        QTreeWidgetItem* big = rootNamed(tree, bigName(i));
        if (!big || big->childCount() != kBigItems) {
            std::fprintf(stderr, "bench_editor: category %d not as prepared (%d)\n", i, big ? big->childCount() : -1);
            return 1;
        }
        tree->setCurrentItem(big);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok); // "Are you sure ...?"
        deleteCategory << msWithoutWrite([&] { deleteCategoryAction->trigger(); });
        window.SaveCategories();
        window.SaveItems();
    }
    report("editor_delete_category_without_write", median(deleteCategory));

    // Find: one keystroke in the find field, the tree's layout for the next paint included. After a
    // change, going to the field and the first keystroke return at once: the folded text of every
    // node is made out of the window's thread, and the filter follows when it is ready (first
    // result, timed from the keystroke; the longest stall of the window's thread meanwhile).
    window.show();
    QCoreApplication::processEvents();
    QLineEdit* find = named<QLineEdit>(window, "edtFind");
    auto keystroke = [&](const QString& text) {
        double filterMs = 0;
        const double all = msOf([&] {
            filterMs = msOf([&] { find->setText(text); });
            QCoreApplication::processEvents();
        });
        if (qEnvironmentVariableIsSet("BENCH_FIND_DETAIL"))
            std::fprintf(stderr, "find %s: filter %.1f ms, layout %.1f ms\n", qPrintable(text), filterMs,
                         all - filterMs);
        return all;
    };
    auto awaitIndex = [&] {
        while (window.isFindIndexPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QCoreApplication::processEvents();
    };
    double visit = 0;
    double firstKey = 0;
    double firstResult = 0;
    double firstStall = 0;
    {
        StallMeter stall;
        QElapsedTimer sinceKey;
        visit = msOf([&] { find->setFocus(); });
        sinceKey.start();
        firstKey = keystroke(QStringLiteral("a"));
        awaitIndex();
        firstResult = sinceKey.nsecsElapsed() / 1e6;
        firstStall = stall.longestMs();
    }
    // The same after a change made with a filter in place (Save Item with another password): the
    // tree keeps what it shows until the new index is there.
    tree->setCurrentItem(lateItems.first());
    named<QLineEdit>(window, "edtPassword")->setText(QStringLiteral("changed again"));
    msWithoutWrite([&] { save->click(); });
    tree->setFocus();
    QCoreApplication::processEvents();
    const double visitFiltered = msOf([&] { find->setFocus(); });
    const double keyFiltered = keystroke(QStringLiteral("af"));
    awaitIndex();
    QList<double> findKeys;
    const QString typed = QStringLiteral("affiliate");
    for (int round = 0; round < kRuns; ++round) {
        for (int length = 2; length <= typed.size(); ++length)
            findKeys << keystroke(typed.left(length));
        findKeys << keystroke(QStringLiteral("zz")); // nothing matches: everything hidden
        findKeys << keystroke(QStringLiteral("a"));  // nearly everything shown again
    }
    const double clearKey = keystroke(QString());
    std::sort(findKeys.begin(), findKeys.end());
    // The same with every category opened by hand: each item hidden or shown is then a row that
    // the view lays out.
    tree->expandAll();
    QCoreApplication::processEvents();
    QList<double> allOpenKeys;
    for (int round = 0; round < 3; ++round)
        allOpenKeys << keystroke(QStringLiteral("zz")) << keystroke(QStringLiteral("a"));
    std::sort(allOpenKeys.begin(), allOpenKeys.end());
    report("editor_find_visit_after_change", visit);
    report("editor_find_first_keystroke", firstKey);
    report("editor_find_first_result_after_change", firstResult);
    report("editor_find_longest_stall_while_indexing", firstStall);
    report("editor_find_visit_after_change_filtered", visitFiltered);
    report("editor_find_first_keystroke_after_change_filtered", keyFiltered);
    report("editor_find_keystroke_median", median(findKeys));
    report("editor_find_keystroke_max", findKeys.last());
    report("editor_find_clear", clearKey);
    report("editor_find_keystroke_max_all_open", allOpenKeys.last());

    report("editor_write_items_dat", median(writeItems));
    report("editor_write_categories_dat", median(writeCategories));
    std::printf("BENCH editor_items_dat_size %.1f MB\n",
                QFileInfo(UUtils::appFile(QStringLiteral("items.dat"))).size() / 1e6);
    return 0;
}
