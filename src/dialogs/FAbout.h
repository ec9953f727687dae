#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About dialog: the product's name, version, copyright and the publisher's text, all taken
// from the branding record when the dialog is created. Created for one showing and freed after it.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* lblProductName;
    QLabel* lblProductVersion;
    QLabel* lblCopyright1;
    QPlainTextEdit* memAbout;
    QPushButton* editAbout;

private slots:
    void editAboutClick();

private:
    void FormCreate();
};
