#pragma once

#include "records/RecordImport.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// What an import will do, shown before anything is written: how many items go into which
// categories (new ones marked), how many rows are skipped and why (each listed with its line, the
// field and the reason), how many are already there; "Import" or "Cancel". Created per use.
class TfrmImport : public QDialog
{
    Q_OBJECT
public:
    TfrmImport(const Records::ImportPlan& plan, const QString& fileName, QWidget* parent = nullptr);

    // Shows the dialog modally; true when the user chose "Import".
    static bool execute(const Records::ImportPlan& plan, const QString& fileName, QWidget* parent);

    // Test seam (util/TestSeam.h), inert unless armed: while answers are queued, execute() shows no
    // window and returns the next one; the summary it would have shown is recorded.
    static void queueAnswer(bool import);
    static const QStringList& shownSummaries();

    QLabel* lblSummary = nullptr;
    QTreeWidget* lvwCategories = nullptr;
    QLabel* lblSkipped = nullptr;
    QTreeWidget* lvwSkipped = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnCancel = nullptr;

    // The summary line above the lists.
    static QString summary(const Records::ImportPlan& plan, const QString& fileName);
};
