#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// Sets or changes the pass phrase that protects the record files: the pass phrase twice, shown as
// dots. "Ok" refuses an empty pass phrase and two entries that differ, with a message, and then
// hands the pass phrase to the window's work (the key derivation, run off the window's thread);
// meanwhile the dialog says it is working and cannot be left. Enter presses "Ok", Escape "Cancel".
class TfrmPassPhrase : public QDialog
{
    Q_OBJECT
public:
    // work receives the accepted pass phrase; it calls finish(true) when done (the dialog closes)
    // or finish(false) after a failure (the dialog stays, for another try or Cancel).
    TfrmPassPhrase(const QString& caption, std::function<void(const QString&)> work, QWidget* parent = nullptr);

    void finish(bool done);
    bool isWorking() const { return m_working; }

    QLabel* lblPassPhrase = nullptr;
    QLineEdit* edtPassPhrase = nullptr;
    QLabel* lblRepeat = nullptr;
    QLineEdit* edtRepeat = nullptr;
    QLabel* lblWorking = nullptr; // "Working..." while the key is derived
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    void btnOkClick();
    void reject() override;

private:
    void setWorking(bool working);

    std::function<void(const QString&)> m_work;
    bool m_working = false;
};
