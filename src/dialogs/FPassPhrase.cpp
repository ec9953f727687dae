#include "dialogs/FPassPhrase.h"

#include "app/ErrorGuard.h"
#include "platform/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmPassPhrase::TfrmPassPhrase(const QString& caption, std::function<void(const QString&)> work, QWidget* parent)
    : QDialog(parent), m_work(std::move(work))
{
    setObjectName(QStringLiteral("frmPassPhrase"));
    setWindowTitle(caption);
    setModal(true);

    lblPassPhrase = new QLabel(QStringLiteral("&Pass phrase:"), this);
    lblPassPhrase->setObjectName(QStringLiteral("lblPassPhrase"));
    edtPassPhrase = new QLineEdit(this);
    edtPassPhrase->setObjectName(QStringLiteral("edtPassPhrase"));
    edtPassPhrase->setEchoMode(QLineEdit::Password);
    edtPassPhrase->setMinimumWidth(240);
    lblPassPhrase->setBuddy(edtPassPhrase);
    lblRepeat = new QLabel(QStringLiteral("&Repeat:"), this);
    lblRepeat->setObjectName(QStringLiteral("lblRepeat"));
    edtRepeat = new QLineEdit(this);
    edtRepeat->setObjectName(QStringLiteral("edtRepeat"));
    edtRepeat->setEchoMode(QLineEdit::Password);
    lblRepeat->setBuddy(edtRepeat);
    lblWorking = new QLabel(QStringLiteral("Working: deriving the key from the pass phrase..."), this);
    lblWorking->setObjectName(QStringLiteral("lblWorking"));
    lblWorking->setTextFormat(Qt::PlainText);
    lblWorking->hide();

    btnOk = new QPushButton(QStringLiteral("Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, guarded(this, &TfrmPassPhrase::btnOkClick));
    connect(btnCancel, &QPushButton::clicked, this, guarded(this, &TfrmPassPhrase::reject));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblPassPhrase, 0, 0);
    grid->addWidget(edtPassPhrase, 0, 1);
    grid->addWidget(lblRepeat, 1, 0);
    grid->addWidget(edtRepeat, 1, 1);
    grid->addWidget(lblWorking, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmPassPhrase::btnOkClick()
{
    if (m_working)
        return;
    if (edtPassPhrase->text().isEmpty()) {
        TMessageBox::warning(QStringLiteral("Please enter a pass phrase."));
        edtPassPhrase->setFocus();
        return;
    }
    if (edtPassPhrase->text() != edtRepeat->text()) {
        TMessageBox::warning(QStringLiteral("The two entries differ. Please type the same pass phrase twice."));
        edtRepeat->clear();
        edtRepeat->setFocus();
        return;
    }
    setWorking(true);
    m_work(edtPassPhrase->text());
}

void TfrmPassPhrase::finish(bool done)
{
    setWorking(false);
    if (done) {
        edtPassPhrase->clear();
        edtRepeat->clear();
        accept();
    }
}

void TfrmPassPhrase::reject()
{
    // While the key is derived the dialog stays: its result is still to be applied.
    if (m_working)
        return;
    edtPassPhrase->clear();
    edtRepeat->clear();
    QDialog::reject();
}

void TfrmPassPhrase::setWorking(bool working)
{
    m_working = working;
    lblWorking->setVisible(working);
    for (QWidget* control : {static_cast<QWidget*>(edtPassPhrase), static_cast<QWidget*>(edtRepeat),
                             static_cast<QWidget*>(btnOk), static_cast<QWidget*>(btnCancel)})
        control->setEnabled(!working);
    if (working)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}
