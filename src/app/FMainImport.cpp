// TfrmMain: import from CSV files (browsers' and password keepers' exports, and the program's own)
// and export to a CSV file. The reading and the mapping are core code (records/RecordImport.h,
// RecordExport.h); the window picks the file, shows the progress and the preview, and stores.

#include "app/ErrorGuard.h"
#include "app/FMain.h"
#include "dialogs/FImport.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "records/RecordExport.h"
#include "records/RecordImport.h"
#include "util/AppError.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <memory>

namespace {

const QString kCsvFilter = QStringLiteral("CSV files (*.csv);;All files (*)");
const QString kExportCaption = QStringLiteral("Export to CSV: the file will hold every password in the clear");

// What the reading thread and the window share.
struct ImportRun
{
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancel{false};
    Records::ImportPlan plan;
    QString openError;
};

} // namespace

void TfrmMain::Import1Click()
{
    const QString path = TFileDialog::openFile(this, QStringLiteral("Import from CSV"), kCsvFilter);
    if (path.isEmpty())
        return;
    std::optional<Records::ImportPlan> plan = planImportFile(path);
    if (!plan)
        return; // cancelled: nothing was written
    if (!plan->refusal.isEmpty()) {
        TMessageBox::warning(
            QStringLiteral("\"%1\" cannot be imported. %2").arg(QDir::toNativeSeparators(path), plan->refusal));
        return;
    }
    if (!TfrmImport::execute(*plan, path, this) || plan->newItems.isEmpty())
        return;
    applyImport(*plan);
}

std::optional<Records::ImportPlan> TfrmMain::planImportFile(const QString& path)
{
    // The file is read and mapped on a thread of its own; the window keeps drawing and the
    // progress dialog's Cancel stops the reading. The lists are shared read-only copies.
    auto run = std::make_shared<ImportRun>();
    std::unique_ptr<QThread> worker(QThread::create([run, path, categories = CategoryList, items = ItemList] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            run->openError = file.errorString();
            return;
        }
        run->plan = Records::planImport(file, categories, items, [run](qint64 done, qint64 total) {
            run->done = done;
            run->total = total;
            return !run->cancel;
        });
    }));

    QProgressDialog progress(QStringLiteral("Reading \"%1\"...").arg(QFileInfo(path).fileName()),
                             QStringLiteral("Cancel"), 0, 1000, this);
    progress.setObjectName(QStringLiteral("prgImport"));
    progress.setWindowTitle(QStringLiteral("Import"));
    // Shown at once: while it is open the window takes no input, so no command changes the lists
    // that the reading compares with, and no second import starts.
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, &progress, guarded([run] { run->cancel = true; }));

    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(50);
    connect(&tick, &QTimer::timeout, &progress, guarded([&progress, run] {
        const qint64 total = run->total;
        progress.setValue(total > 0 ? int(run->done * 1000 / total) : 0);
    }));
    worker->start();
    tick.start();
    progress.setValue(0);
    progress.show();
    loop.exec();
    worker->wait();
    tick.stop();
    progress.disconnect(); // closing it signals "canceled" too
    progress.close();

    if (run->cancel || run->plan.cancelled)
        return std::nullopt;
    if (!run->openError.isEmpty())
        throw AppError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), run->openError));
    return std::move(run->plan);
}

void TfrmMain::applyImport(const Records::ImportPlan& plan)
{
    // The lists and the tree first, as every command does; then one save of each file.
    const qsizetype firstNew = CategoryList.size();
    CategoryList.append(plan.newCategories);
    ItemList.append(plan.newItems);

    QList<QTreeWidgetItem*> roots;
    for (qsizetype i = firstNew; i < CategoryList.size(); ++i) {
        auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(CategoryList[i])));
        node->setIcon(0, ImageList1.at(0));
        roots.append(node);
    }
    tvwMain->addTopLevelItems(roots);
    const QHash<QByteArray, qsizetype> byName = Records::firstIndexByName(CategoryList);
    QHash<qsizetype, QList<QTreeWidgetItem*>> children;
    const QIcon& icon = ImageList1.at(1);
    for (const QByteArray& line : plan.newItems) {
        const qsizetype root = byName.value(Records::itemCategory(line), -1);
        if (root < 0 || root >= tvwMain->topLevelItemCount())
            continue;
        auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(Records::itemTitle(line))));
        node->setIcon(0, icon);
        children[root].append(node);
    }
    for (auto it = children.cbegin(); it != children.cend(); ++it)
        tvwMain->topLevelItem(int(it.key()))->addChildren(it.value());
    invalidateFind();

    if (!plan.newCategories.isEmpty())
        SaveCategories();
    SaveItems();
}

void TfrmMain::Export1Click()
{
    // The selected node's category, or every category.
    std::optional<qsizetype> only;
    if (const QTreeWidgetItem* node = tvwMain->currentItem()) {
        const QTreeWidgetItem* root = node->parent() ? node->parent() : node;
        const TMessageBox::Answer answer = TMessageBox::information(
            QStringLiteral("Export only the category \"%1\"?\n\nAnswer No to export every category.")
                .arg(root->text(0)),
            TMessageBox::Buttons::YesNoCancel);
        if (answer == TMessageBox::Answer::Cancel)
            return;
        if (answer == TMessageBox::Answer::Yes)
            only = tvwMain->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(root));
    }
    const QString path = TFileDialog::saveFile(this, kExportCaption,
                                               QDir::homePath() + QStringLiteral("/quillet-items.csv"), kCsvFilter);
    if (path.isEmpty())
        return;
    Records::exportItemsToFile(path, CategoryList, ItemList, only);
}
