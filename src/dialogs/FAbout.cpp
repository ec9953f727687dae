#include "dialogs/FAbout.h"

#include "app/ErrorGuard.h"
#include "branding/Branding.h"
#include "util/StringList.h"
#include "util/TextCodec.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(368, 211);

    lblProductName = new QLabel(this);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductName->move(9, 7);

    lblProductVersion = new QLabel(this);
    lblProductVersion->setObjectName(QStringLiteral("lblProductVersion"));
    lblProductVersion->move(9, 32);

    lblCopyright1 = new QLabel(this);
    lblCopyright1->setObjectName(QStringLiteral("lblCopyright1"));
    lblCopyright1->move(9, 57);

    // The texts come from the settings file: shown as written, never as rich text.
    for (QLabel* label : {lblProductName, lblProductVersion, lblCopyright1})
        label->setTextFormat(Qt::PlainText);

    // The memo sits in a framed panel; the dialog has a fixed size, so the anchoring to all four
    // sides never moves it.
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("bsSkinPanel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(8, 88, 348, 71);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(1, 1, 1, 1);
    memAbout = new QPlainTextEdit(panel);
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setAccessibleName(QStringLiteral("About"));
    memAbout->setReadOnly(true);
    memAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memAbout->setFrameShape(QFrame::NoFrame);
    layout->addWidget(memAbout);

    editAbout = new QPushButton(QStringLiteral("Ok"), this);
    editAbout->setObjectName(QStringLiteral("editAbout"));
    editAbout->setGeometry(129, 171, 87, 21);
    editAbout->setDefault(true);
    connect(editAbout, &QPushButton::clicked, this, guarded(this, &TfrmAbout::editAboutClick));

    FormCreate();

    // Centred on the screen, not on the main window.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmAbout::FormCreate()
{
    const Branding& b = branding();
    const QString name = shownLine(b.ApplicationName);
    // "[*]" in a title is Qt's modified-document mark, hidden unless doubled.
    QString title = QStringLiteral("About ") + name + QStringLiteral("...");
    setWindowTitle(title.replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
    lblProductName->setText(name);
    lblProductName->adjustSize();
    lblProductVersion->setText(QStringLiteral("Product Version: ") + QLatin1String(AppVersion));
    lblProductVersion->adjustSize();
    lblCopyright1->setText(QStringLiteral("Copyright \u00A9 ") + shownLine(b.CopyrightYears) + QLatin1Char(' ') +
                           shownLine(b.CopyrightCompany));
    lblCopyright1->adjustSize();

    // The memo holds the text's lines, split at CR LF, a lone CR or a lone LF.
    QStringList lines;
    for (const QByteArray& line : UUtils::parseLines(b.AboutText))
        lines.append(shownLine(line));
    memAbout->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfrmAbout::editAboutClick()
{
    accept();
}
