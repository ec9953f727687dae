#include "dialogs/FAddElement.h"

#include "app/ErrorGuard.h"
#include "platform/MessageBox.h"
#include "util/Fields.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QScreen>

#include <optional>

namespace {

// Test seam: the queued steps, each an entry confirmed with "Ok", or nullopt for "Cancel".
struct AddElementSeam
{
    QList<std::optional<QString>> steps;
};

TTestSeam<AddElementSeam>& seam()
{
    static TTestSeam<AddElementSeam> seam;
    return seam;
}

const QString kBlankEntryMessage = QStringLiteral("Please enter a value for this field.");

} // namespace

TfrmAddElement::TfrmAddElement(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAddElement"));
    setWindowTitle(QStringLiteral("Add Element"));
    setModal(true);

    lblLabel = new QLabel(QStringLiteral("Element:"), this);
    lblLabel->setObjectName(QStringLiteral("lblLabel"));
    edtElement = new QLineEdit(this);
    edtElement->setObjectName(QStringLiteral("edtElement"));
    edtElement->setMinimumWidth(220);
    lblLabel->setBuddy(edtElement);

    btnOk = new QPushButton(QStringLiteral("Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    // Neither button is a default button: Enter does nothing here.
    for (QPushButton* button : {btnOk, btnCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(btnOk, &QPushButton::clicked, this, guarded(this, &TfrmAddElement::btnOkClick));
    connect(btnCancel, &QPushButton::clicked, this, guarded(this, &TfrmAddElement::btnCancelClick));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblLabel, 0, 0);
    grid->addWidget(edtElement, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize); // a fixed-size dialog
}

bool TfrmAddElement::isBlank(const QString& entry)
{
    return UUtils::trimControls(UUtils::stringToAnsi(entry)).isEmpty();
}

void TfrmAddElement::btnOkClick()
{
    if (isBlank(edtElement->text())) {
        TMessageBox::warning(kBlankEntryMessage);
        edtElement->setFocus();
        return; // the dialog stays open with the entry as it was
    }
    accept();
}

void TfrmAddElement::btnCancelClick()
{
    reject();
}

void TfrmAddElement::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept(); // no cancel and no default button
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TfrmAddElement::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    edtElement->setFocus();
}

bool TfrmAddElement::execute(const QString& caption, const QString& label, QString* entry)
{
    if (AddElementSeam* test = seam().state(); test && !test->steps.isEmpty()) {
        auto& queue = test->steps;
        while (!queue.isEmpty()) {
            const std::optional<QString> step = queue.takeFirst();
            if (!step)
                return false;
            if (isBlank(*step)) {
                TMessageBox::warning(kBlankEntryMessage);
                continue;
            }
            *entry = *step;
            return true;
        }
        return false;
    }

    TfrmAddElement dialog;
    dialog.setWindowTitle(caption);
    dialog.lblLabel->setText(label);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *entry = dialog.edtElement->text();
    return true;
}

void TfrmAddElement::queueEntry(const QString& entry)
{
    if (AddElementSeam* test = seam().state())
        test->steps.append(entry);
}

void TfrmAddElement::queueCancel()
{
    if (AddElementSeam* test = seam().state())
        test->steps.append(std::nullopt);
}

void TfrmAddElement::clearTestQueue()
{
    if (AddElementSeam* test = seam().state())
        test->steps.clear();
}

int TfrmAddElement::queuedSteps()
{
    const AddElementSeam* test = seam().state();
    return test ? int(test->steps.size()) : 0;
}
