#include "dialogs/FImport.h"

#include "app/ErrorGuard.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Records;

namespace {

struct ImportSeam
{
    QList<bool> answers;
    QStringList summaries;
};

TTestSeam<ImportSeam>& seam()
{
    static TTestSeam<ImportSeam> seam;
    return seam;
}

QString count(qsizetype n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QTreeWidget* makeList(QWidget* parent, const char* name, const QStringList& headers)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(headers);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->header()->setStretchLastSection(true);
    return list;
}

} // namespace

QString TfrmImport::summary(const ImportPlan& plan, const QString& fileName)
{
    qsizetype newCategories = 0;
    for (const ImportCategory& c : plan.categories)
        newCategories += c.isNew ? 1 : 0;
    QString text =
        QStringLiteral("%1 (%2): %3 to add")
            .arg(QFileInfo(fileName).fileName(), formatName(plan.format), count(plan.newItems.size(), "item", "items"));
    if (!plan.categories.isEmpty())
        text += QStringLiteral(" in %1 (%2 new)")
                    .arg(count(plan.categories.size(), "category", "categories"))
                    .arg(newCategories);
    text += QStringLiteral(", %1 skipped").arg(count(plan.skippedCount, "row", "rows"));
    if (plan.equalCount > 0)
        text += QStringLiteral(", %1 already there").arg(count(plan.equalCount, "item", "items"));
    text += QLatin1Char('.');
    if (plan.renamedCount > 0)
        text += QStringLiteral(" %1 whose title is taken in its category get a number, such as \" (2)\".")
                    .arg(count(plan.renamedCount, "item", "items"));
    return text;
}

TfrmImport::TfrmImport(const ImportPlan& plan, const QString& fileName, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Import"));
    setModal(true);
    resize(640, 480);

    lblSummary = new QLabel(summary(plan, fileName), this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setTextFormat(Qt::PlainText);
    lblSummary->setWordWrap(true);

    lvwCategories = makeList(this, "lvwCategories", {QStringLiteral("Category"), QStringLiteral("Items"), QString()});
    for (const ImportCategory& c : plan.categories) {
        auto* row = new QTreeWidgetItem(lvwCategories, {UUtils::ansiToString(c.name), QString::number(c.items),
                                                        c.isNew ? QStringLiteral("new") : QString()});
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    lvwCategories->resizeColumnToContents(0);

    lblSkipped = new QLabel(this);
    lblSkipped->setObjectName(QStringLiteral("lblSkipped"));
    lblSkipped->setTextFormat(Qt::PlainText);
    lblSkipped->setWordWrap(true);
    lvwSkipped =
        makeList(this, "lvwSkipped",
                 {QStringLiteral("Line"), QStringLiteral("Title"), QStringLiteral("Field"), QStringLiteral("Reason")});
    QList<QTreeWidgetItem*> rows;
    rows.reserve(plan.skipped.size());
    for (const ImportSkip& s : plan.skipped)
        rows.append(new QTreeWidgetItem({QString::number(s.line), s.title, s.field, s.reason}));
    lvwSkipped->addTopLevelItems(rows);
    QString skippedText = QStringLiteral("Skipped, and not imported:");
    if (plan.skippedCount > plan.skipped.size())
        skippedText = QStringLiteral("Skipped, and not imported (the first %1 of %2):")
                          .arg(plan.skipped.size())
                          .arg(plan.skippedCount);
    lblSkipped->setText(skippedText);
    lblSkipped->setVisible(plan.skippedCount > 0);
    lvwSkipped->setVisible(plan.skippedCount > 0);

    btnImport = new QPushButton(QStringLiteral("Import"), this);
    btnImport->setObjectName(QStringLiteral("btnImport"));
    btnImport->setEnabled(!plan.newItems.isEmpty());
    btnImport->setDefault(!plan.newItems.isEmpty());
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnImport, &QPushButton::clicked, this, guarded([this] { accept(); }));
    connect(btnCancel, &QPushButton::clicked, this, guarded([this] { reject(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(lvwCategories, 1);
    layout->addWidget(lblSkipped);
    layout->addWidget(lvwSkipped, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnImport);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
}

bool TfrmImport::execute(const ImportPlan& plan, const QString& fileName, QWidget* parent)
{
    if (ImportSeam* test = seam().state()) {
        test->summaries.append(summary(plan, fileName));
        if (!test->answers.isEmpty())
            return test->answers.takeFirst();
    }
    TfrmImport dialog(plan, fileName, parent);
    return dialog.exec() == QDialog::Accepted;
}

void TfrmImport::queueAnswer(bool import)
{
    if (ImportSeam* test = seam().state())
        test->answers.append(import);
}

const QStringList& TfrmImport::shownSummaries()
{
    static const QStringList none;
    const ImportSeam* test = seam().state();
    return test ? test->summaries : none;
}
