#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// The small input dialog of the category and item commands: one label, one entry box, "Ok" and
// "Cancel". It has no default and no cancel button, so Enter and Escape do nothing; "Ok" refuses
// an entry that is blank after trimming. Each command creates it, shows it modally and drops it.
class TfrmAddElement : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAddElement(QWidget* parent = nullptr);

    // Shows the dialog modally with the given caption and label text. Returns true on "Ok" with
    // the entry as typed (untrimmed) in *entry; false on "Cancel" or when the window is closed.
    static bool execute(const QString& caption, const QString& label, QString* entry);

    // Test seam (util/TestSeam.h), inert unless armed: while steps are queued, execute() shows no window and plays them
    // in order as the user's actions in one dialog: an entry typed and confirmed with "Ok" (a blank one gets the
    // dialog's message and the next step is played), or "Cancel". Running out of steps cancels.
    static void queueEntry(const QString& entry);
    static void queueCancel();
    static void clearTestQueue();
    static int queuedSteps();

    QLineEdit* edtElement = nullptr;
    QLabel* lblLabel = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    void btnOkClick();
    void btnCancelClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    static bool isBlank(const QString& entry);
};
