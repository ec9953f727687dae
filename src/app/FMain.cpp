#include "app/FMain.h"

#include "app/AnchorPanel.h"
#include "app/AppIcons.h"
#include "app/EditorFields.h"
#include "app/ErrorGuard.h"
#include "app/TreeSelectionModel.h"
#include "branding/Branding.h"
#include "platform/Skin.h"
#include "records/RecordFiles.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <climits>
#include <functional>

namespace {

using Anchor = TAnchorPanel::Anchor;

// Design widths of the docked panels at the window's client width of 929.
constexpr int kClientWidth = 929;
constexpr int kClientHeight = 692;
constexpr int kGroupBoxWidth = 209;
constexpr int kSplitterWidth = 10;
constexpr int kItemAreaWidth = kClientWidth - kGroupBoxWidth - kSplitterWidth;

QPushButton* makeButton(const QString& name, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

QToolButton* makeImageButton(const QString& name, const QString& hint, const QIcon& icon, const QSize& iconSize)
{
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(icon);
    button->setIconSize(iconSize);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLineEdit* makeField(const QString& name)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    // No field has a length limit (QLineEdit would cut text at 32767 characters).
    field->setMaxLength(INT_MAX);
    return field;
}

QLabel* makeLabel(const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption);
    label->setObjectName(name);
    label->adjustSize();
    return label;
}

} // namespace

static void initResources()
{
    // The style sheet lives in a static library: register its resources explicitly.
    Q_INIT_RESOURCE(quillet);
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent)
{
    initResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillet"));
    // The built-in look; a skin delivered with the copy replaces it (branding loader).
    TSkin::applyBuiltIn();

    createControls();
    connectHandlers();
    setupRecords();

    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), QSize(kClientWidth, kClientHeight));
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    waitForKeyWork();
    FormDestroy();
    // The controls go now: the tree's nodes must not call back into a window being taken apart.
    tvwMain->model()->disconnect(this);
}

// ---------------------------------------------------------------------------------------------
// Controls

void TfrmMain::createControls()
{
    pgcPrinc = new QStackedWidget(this);
    pgcPrinc->setObjectName(QStringLiteral("pgcPrinc"));
    setCentralWidget(pgcPrinc);

    createWelcomePage();
    createMainPage();
    createLockControls();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);
    Timer1->setSingleShot(true);

    ClipboardTimer = new QTimer(this);
    ClipboardTimer->setObjectName(QStringLiteral("ClipboardTimer"));
    ClipboardTimer->setInterval(kClipboardForgetMs);
    ClipboardTimer->setSingleShot(true);

    // A node's picture is the same whether it is selected or not: the style would tint the
    // selected one, so the selected mode gets the very same pixmap.
    auto untinted = [](const QIcon& icon) {
        QIcon same;
        for (const qreal ratio : {1.0, 2.0}) {
            const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio);
            same.addPixmap(pixmap, QIcon::Normal);
            same.addPixmap(pixmap, QIcon::Selected);
        }
        return same;
    };
    ImageList1 = {untinted(AppIcons::category()), untinted(AppIcons::item())};
    tvwMain->setIconSize(QSize(16, 16));
}

void TfrmMain::createWelcomePage()
{
    stsWelcome = new QWidget;
    stsWelcome->setObjectName(QStringLiteral("stsWelcome"));
    auto* layout = new QVBoxLayout(stsWelcome);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    prfWelcome = new QWidget;
    prfWelcome->setObjectName(QStringLiteral("prfWelcome"));
    auto* htmlLayout = new QVBoxLayout(prfWelcome);
    htmlLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(prfWelcome, 1);

    bsSkinPanel14 = new TAnchorPanel(QStringLiteral("bsSkinPanel14"), kClientWidth, 39);
    bsSkinButton1 =
        makeButton(QStringLiteral("bsSkinButton1"), QStringLiteral("Thanks, just show me the main application"));
    bsSkinButton1->setDefault(true);
    bsSkinPanel14->place(bsSkinButton1, QRect(256, 8, 265, 20));
    layout->addWidget(bsSkinPanel14);

    // The welcome page's default button: Enter clicks it while this page shows, at no other time.
    welcomeEnter = new QShortcut(stsWelcome);
    welcomeEnter->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    welcomeEnter->setContext(Qt::WindowShortcut);
    connect(welcomeEnter, &QShortcut::activated, this, guarded([this] {
                if (stsWelcome && bsSkinButton1 && pgcPrinc->currentWidget() == stsWelcome)
                    bsSkinButton1->click();
            }));

    pgcPrinc->addWidget(stsWelcome);
}

void TfrmMain::createMainPage()
{
    stsMain = new QWidget;
    stsMain->setObjectName(QStringLiteral("stsMain"));
    auto* layout = new QVBoxLayout(stsMain);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Toolbar.
    bsSkinPanel1 = new TAnchorPanel(QStringLiteral("bsSkinPanel1"), kClientWidth, 43);
    btnAddCategory = makeButton(QStringLiteral("btnAddCategory"), QStringLiteral("Add Category"));
    btnAddItem = makeButton(QStringLiteral("btnAddItem"), QStringLiteral("Add Item"));
    btnMakeMoney = makeButton(QStringLiteral("btnMakeMoney"), QStringLiteral("Make Money"));
    btnAbout = makeButton(QStringLiteral("btnAbout"), QStringLiteral("About"));
    const QSize toolIcon(24, 24);
    btnNews = makeImageButton(QStringLiteral("btnNews"), QStringLiteral("Check News"), AppIcons::news(), toolIcon);
    btnUpdate =
        makeImageButton(QStringLiteral("btnUpdate"), QStringLiteral("Check Updates"), AppIcons::update(), toolIcon);
    btnHelp = makeImageButton(QStringLiteral("btnHelp"), QStringLiteral("Help"), AppIcons::help(), toolIcon);
    bsSkinPanel1->place(btnAddCategory, QRect(8, 6, 125, 20));
    bsSkinPanel1->place(btnAddItem, QRect(137, 6, 125, 20));
    bsSkinPanel1->place(btnMakeMoney, QRect(266, 6, 125, 20));
    bsSkinPanel1->place(btnAbout, QRect(396, 6, 125, 20));
    bsSkinPanel1->place(btnNews, QRect(790, 1, 41, 34), Anchor::Right);
    bsSkinPanel1->place(btnUpdate, QRect(833, 1, 41, 34), Anchor::Right);
    bsSkinPanel1->place(btnHelp, QRect(876, 1, 41, 34), Anchor::Right);
    layout->addWidget(bsSkinPanel1);

    // Banner: the two banner controls lie on top of each other, centred in the panel.
    panBanner = new QFrame;
    panBanner->setObjectName(QStringLiteral("panBanner"));
    panBanner->setFixedHeight(65);
    imgBanner = new QLabel(panBanner);
    imgBanner->setObjectName(QStringLiteral("imgBanner"));
    imgBanner->setGeometry(230, 2, 468, 60);
    gifBanner = new QLabel(panBanner);
    gifBanner->setObjectName(QStringLiteral("gifBanner"));
    gifBanner->setGeometry(230, 2, 468, 60);
    panBanner->installEventFilter(this);
    imgBanner->installEventFilter(this);
    gifBanner->installEventFilter(this);
    layout->addWidget(panBanner);

    // Category tree | splitter | item area.
    bsSkinSplitter1 = new QSplitter(Qt::Horizontal);
    bsSkinSplitter1->setObjectName(QStringLiteral("bsSkinSplitter1"));
    bsSkinSplitter1->setHandleWidth(kSplitterWidth);
    bsSkinSplitter1->setChildrenCollapsible(false);

    bsSkinGroupBox1 = new QGroupBox(QStringLiteral("Categories"));
    bsSkinGroupBox1->setObjectName(QStringLiteral("bsSkinGroupBox1"));
    bsSkinGroupBox1->setMinimumWidth(kSplitterWidth);
    auto* groupLayout = new QVBoxLayout(bsSkinGroupBox1);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    tvwMain = new QTreeWidget;
    tvwMain->setObjectName(QStringLiteral("tvwMain"));
    tvwMain->setHeaderHidden(true);
    tvwMain->setColumnCount(1);
    tvwMain->setIndentation(19);
    tvwMain->setRootIsDecorated(true);
    tvwMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwMain->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwMain->setUniformRowHeights(true);
    tvwMain->setSortingEnabled(false);
    tvwMain->setContextMenuPolicy(Qt::CustomContextMenu);
    tvwMain->setMinimumWidth(0);
    {
        // The selection stays visible when the tree loses the focus.
        QPalette palette = tvwMain->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        tvwMain->setPalette(palette);
    }
    tvwMain->setAccessibleName(QStringLiteral("Categories"));
    groupLayout->addWidget(tvwMain);

    // The find field sits in the group box's heading row, right of its caption, outside the
    // layout: the tree keeps its place. placeFindField keeps it against the right edge.
    edtFind = new QLineEdit(bsSkinGroupBox1);
    edtFind->setObjectName(QStringLiteral("edtFind"));
    edtFind->setPlaceholderText(QStringLiteral("Find (Ctrl+F)"));
    edtFind->setAccessibleName(QStringLiteral("Find"));
    edtFind->setClearButtonEnabled(false);
    // Reached by Ctrl+F or a click; Tab keeps running through the editor's fields only.
    edtFind->setFocusPolicy(Qt::ClickFocus);
    edtFind->installEventFilter(this);
    bsSkinGroupBox1->installEventFilter(this);

    lblTreeHelp = new QLabel(QStringLiteral("No categories yet. Click \"Add Category\" (Ctrl+Shift+N) to add one, "
                                            "then select it and click \"Add Item\" (Ctrl+N)."),
                             tvwMain->viewport());
    lblTreeHelp->setObjectName(QStringLiteral("lblTreeHelp"));
    lblTreeHelp->setWordWrap(true);
    lblTreeHelp->setTextFormat(Qt::PlainText);
    lblTreeHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTreeHelp->setAttribute(Qt::WA_TransparentForMouseEvents);
    tvwMain->viewport()->installEventFilter(this);

    bsSkinPopupMenu1 = new QMenu(this);
    bsSkinPopupMenu1->setObjectName(QStringLiteral("bsSkinPopupMenu1"));
    auto addEntry = [this](const QString& name, const QString& caption) {
        QAction* action = bsSkinPopupMenu1->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    AddCategory1 = addEntry(QStringLiteral("AddCategory1"), QStringLiteral("Add Category"));
    EditCategory1 = addEntry(QStringLiteral("EditCategory1"), QStringLiteral("EditCategory"));
    DeleteCategory1 = addEntry(QStringLiteral("DeleteCategory1"), QStringLiteral("Delete Category"));
    N1 = bsSkinPopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    AddItem1 = addEntry(QStringLiteral("AddItem1"), QStringLiteral("Add Item"));
    DeleteItem1 = addEntry(QStringLiteral("DeleteItem1"), QStringLiteral("Delete Item"));
    N2 = bsSkinPopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Import1 = addEntry(QStringLiteral("Import1"), QStringLiteral("Import..."));
    Export1 = addEntry(QStringLiteral("Export1"), QStringLiteral("Export..."));

    bsSkinPanel2 = new QWidget;
    bsSkinPanel2->setObjectName(QStringLiteral("bsSkinPanel2"));
    auto* itemLayout = new QVBoxLayout(bsSkinPanel2);
    itemLayout->setContentsMargins(0, 0, 0, 0);
    itemLayout->setSpacing(0);
    createEditor();
    createBrowserBar();
    itemLayout->addWidget(bsSkinPanel4);
    itemLayout->addWidget(bsSkinPanel5);
    EmbeddedWB1 = new QWidget;
    EmbeddedWB1->setObjectName(QStringLiteral("EmbeddedWB1"));
    auto* browserLayout = new QVBoxLayout(EmbeddedWB1);
    browserLayout->setContentsMargins(0, 0, 0, 0);
    itemLayout->addWidget(EmbeddedWB1, 1);

    bsSkinSplitter1->addWidget(bsSkinGroupBox1);
    bsSkinSplitter1->addWidget(bsSkinPanel2);
    bsSkinSplitter1->setStretchFactor(0, 0);
    bsSkinSplitter1->setStretchFactor(1, 1);
    bsSkinSplitter1->setSizes({kGroupBoxWidth, kItemAreaWidth});
    layout->addWidget(bsSkinSplitter1, 1);

    // Sponsor links.
    panLinks = new TAnchorPanel(QStringLiteral("panLinks"), kClientWidth, 36);
    lblLink1URL = new QLabel;
    lblLink1URL->setObjectName(QStringLiteral("lblLink1URL"));
    lblLink2URL = new QLabel;
    lblLink2URL->setObjectName(QStringLiteral("lblLink2URL"));
    for (QLabel* link : {lblLink1URL, lblLink2URL}) {
        link->setTextFormat(Qt::PlainText); // the captions come from the settings file
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
        link->adjustSize();
    }
    panLinks->place(lblLink1URL, QRect(QPoint(13, 9), lblLink1URL->size()));
    // Right-aligned: its right edge stays 13 pixels from the panel's right edge, whatever its
    // caption (set by the branding loader) makes its width.
    panLinks->place(lblLink2URL, QRect(QPoint(kClientWidth - 13 - lblLink2URL->width(), 9), lblLink2URL->size()),
                    Anchor::Right);
    layout->addWidget(panLinks);

    pgcPrinc->addWidget(stsMain);
}

void TfrmMain::createEditor()
{
    bsSkinPanel4 = new TAnchorPanel(QStringLiteral("bsSkinPanel4"), kItemAreaWidth, 253);

    // The eleven fields with their labels, from the one table of the editor's fields.
    for (const TEditorField& entry : editorFields()) {
        QWidget* control = nullptr;
        if (entry.line) {
            QLineEdit* field = makeField(QLatin1String(entry.control));
            this->*entry.line = field;
            bsSkinPanel4->place(field, entry.place);
            control = field;
        } else {
            panDesc = new QFrame;
            panDesc->setObjectName(QStringLiteral("panDesc"));
            panDesc->setFrameShape(QFrame::StyledPanel);
            auto* descLayout = new QVBoxLayout(panDesc);
            descLayout->setContentsMargins(1, 1, 1, 1);
            memDesc = new QPlainTextEdit;
            memDesc->setObjectName(QLatin1String(entry.control));
            memDesc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            memDesc->setTabChangesFocus(true);
            memDesc->setFrameShape(QFrame::NoFrame);
            descLayout->addWidget(memDesc);
            bsSkinPanel4->place(panDesc, entry.place, Anchor::Stretch);
            control = memDesc;
        }
        control->setAccessibleName(QLatin1String(entry.name));
        QLabel* label = makeLabel(QLatin1String(entry.label), QLatin1String(entry.caption));
        label->setBuddy(control);
        bsSkinPanel4->place(label, entry.labelPlace);
        m_itemFields.append(control);
    }
    edtPassword->setEchoMode(QLineEdit::Normal); // shown in clear

    struct Side
    {
        QPushButton*& button;
        const char* name;
        const char* caption;
        QLineEdit* field;
    };
    const Side sides[] = {
        {btnBrowseWebsite, "btnBrowseWebsite", "Browse", edtWebsiteURL},
        {btnBrowseLogin, "btnBrowseLogin", "Browse", edtLoginURL},
        {btnUPaste, "btnUPaste", "Paste", edtLogin},
        {btnPPaste, "btnPPaste", "Paste", edtPassword},
        {btnBrowseAffiliate, "btnBrowseAffiliate", "Browse", edtAffiliateURL},
        {btnBrowseCloaked, "btnBrowseCloaked", "Browse", edtCloaked},
    };
    for (const Side& side : sides) {
        side.button = makeButton(QLatin1String(side.name), QLatin1String(side.caption));
        bsSkinPanel4->place(side.button, QRect(356, side.field->geometry().top() - 1, 68, 20));
    }

    // "Log In" goes under the side buttons' column, in the free row left of "Save Item": no
    // control of the editor moves or shrinks for it.
    btnLogIn = makeButton(QStringLiteral("btnLogIn"), QStringLiteral("Log In"));
    btnLogIn->setToolTip(QStringLiteral("Opens the login page and logs in with this username and password "
                                        "(Ctrl+Enter). Hold Shift to fill in without sending (Ctrl+Shift+Enter)."));
    btnLogIn->installEventFilter(this);
    bsSkinPanel4->place(btnLogIn, QRect(356, 222, 68, 20));

    btnSave = makeButton(QStringLiteral("btnSave"), QStringLiteral("Save Item"));
    bsSkinPanel4->place(btnSave, QRect(568, 223, 125, 20), Anchor::Right);

    // Keyboard order: title ... payment day, description.
    const QList<QWidget*> fields = itemFields();
    for (qsizetype i = 0; i + 1 < fields.size(); ++i)
        setTabOrder(fields[i], fields[i + 1]);
    for (QWidget* field : fields)
        field->installEventFilter(this);
}

void TfrmMain::createBrowserBar()
{
    bsSkinPanel5 = new TAnchorPanel(QStringLiteral("bsSkinPanel5"), kItemAreaWidth, 37);
    bsSkinSpeedButton1 =
        makeImageButton(QStringLiteral("bsSkinSpeedButton1"), QStringLiteral("Back"), AppIcons::back(), {16, 16});
    bsSkinSpeedButton2 =
        makeImageButton(QStringLiteral("bsSkinSpeedButton2"), QStringLiteral("Foward"), AppIcons::forward(), {16, 16});
    bsSkinSpeedButton4 =
        makeImageButton(QStringLiteral("bsSkinSpeedButton4"), QStringLiteral("Refresh"), AppIcons::refresh(), {16, 16});
    bsSkinSpeedButton3 =
        makeImageButton(QStringLiteral("bsSkinSpeedButton3"), QStringLiteral("Stop"), AppIcons::stop(), {16, 16});
    int left = 8;
    for (QToolButton* button : {bsSkinSpeedButton1, bsSkinSpeedButton2, bsSkinSpeedButton4, bsSkinSpeedButton3}) {
        button->setCursor(Qt::PointingHandCursor);
        bsSkinPanel5->place(button, QRect(left, 4, 25, 25));
        left += 28;
    }
    bsSkinStdLabel8 = makeLabel(QStringLiteral("bsSkinStdLabel8"), QStringLiteral("URL:"));
    bsSkinPanel5->place(bsSkinStdLabel8, QRect(129, 9, 30, 16));
    edtURL = makeField(QStringLiteral("edtURL"));
    edtURL->setAccessibleName(QStringLiteral("URL"));
    bsSkinPanel5->place(edtURL, QRect(160, 8, 483, 20), Anchor::Stretch);
    bsSkinButton2 = makeButton(QStringLiteral("bsSkinButton2"), QStringLiteral("Go!"));
    bsSkinButton2->setCursor(Qt::PointingHandCursor);
    bsSkinPanel5->place(bsSkinButton2, QRect(650, 7, 47, 20), Anchor::Right);
}

QList<QWidget*> TfrmMain::itemFields() const
{
    return m_itemFields;
}

void TfrmMain::connectHandlers()
{
    connect(bsSkinButton1, &QPushButton::clicked, this, guarded(this, &TfrmMain::bsSkinButton1Click));

    connect(btnAddCategory, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnAddCategoryClick));
    connect(btnAddItem, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnAddItemClick));
    connect(btnMakeMoney, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnMakeMoneyClick));
    connect(btnAbout, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnAboutClick));
    connect(btnNews, &QToolButton::clicked, this, guarded(this, &TfrmMain::btnNewsClick));
    connect(btnUpdate, &QToolButton::clicked, this, guarded(this, &TfrmMain::btnUpdateClick));
    connect(btnHelp, &QToolButton::clicked, this, guarded(this, &TfrmMain::btnHelpClick));

    // The tree asks tvwMainChanging before the selection moves and calls tvwMainChange after.
    auto* selection = new TTreeSelectionModel(
        tvwMain->model(),
        [this](const QModelIndex& next) {
            bool allowChange = true;
            QTreeWidgetItem* node = next.isValid() ? static_cast<QTreeWidgetItem*>(next.internalPointer()) : nullptr;
            // An error in the check keeps the selection where it is.
            return runGuarded([&] { tvwMainChanging(node, allowChange); }) && allowChange;
        },
        tvwMain);
    QItemSelectionModel* old = tvwMain->selectionModel();
    tvwMain->setSelectionModel(selection);
    delete old;
    connect(selection, &QItemSelectionModel::currentChanged, this, guarded(this, &TfrmMain::tvwMainChange));
    connect(tvwMain, &QWidget::customContextMenuRequested, this, guarded([this](const QPoint& pos) {
                bsSkinPopupMenu1Popup();
                bsSkinPopupMenu1->exec(tvwMain->viewport()->mapToGlobal(pos));
            }));
    connect(AddCategory1, &QAction::triggered, this, guarded(this, &TfrmMain::AddCategory1Click));
    connect(EditCategory1, &QAction::triggered, this, guarded(this, &TfrmMain::EditCategory1Click));
    connect(DeleteCategory1, &QAction::triggered, this, guarded(this, &TfrmMain::DeleteCategory1Click));
    connect(AddItem1, &QAction::triggered, this, guarded(this, &TfrmMain::AddItem1Click));
    connect(DeleteItem1, &QAction::triggered, this, guarded(this, &TfrmMain::DeleteItem1Click));
    connect(Import1, &QAction::triggered, this, guarded(this, &TfrmMain::Import1Click));
    connect(Export1, &QAction::triggered, this, guarded(this, &TfrmMain::Export1Click));

    connect(btnBrowseWebsite, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnBrowseWebsiteClick));
    connect(btnBrowseLogin, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnBrowseLoginClick));
    connect(btnUPaste, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnUPasteClick));
    connect(btnPPaste, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnPPasteClick));
    connect(btnBrowseAffiliate, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnBrowseAffiliateClick));
    connect(btnBrowseCloaked, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnBrowseCloakedClick));
    connect(btnLogIn, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnLogInClick));
    connect(btnSave, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnSaveClick));

    connect(bsSkinSpeedButton1, &QToolButton::clicked, this, guarded(this, &TfrmMain::bsSkinSpeedButton1Click));
    connect(bsSkinSpeedButton2, &QToolButton::clicked, this, guarded(this, &TfrmMain::bsSkinSpeedButton2Click));
    connect(bsSkinSpeedButton3, &QToolButton::clicked, this, guarded(this, &TfrmMain::bsSkinSpeedButton3Click));
    connect(bsSkinSpeedButton4, &QToolButton::clicked, this, guarded(this, &TfrmMain::bsSkinSpeedButton4Click));
    connect(bsSkinButton2, &QPushButton::clicked, this, guarded(this, &TfrmMain::bsSkinButton2Click));

    connect(Timer1, &QTimer::timeout, this, guarded(this, &TfrmMain::Timer1Timer));
    connect(ClipboardTimer, &QTimer::timeout, this, guarded(this, &TfrmMain::forgetClipboard));

    connect(edtFind, &QLineEdit::textChanged, this, guarded(this, &TfrmMain::edtFindChange));
    connect(tvwMain, &QTreeWidget::itemExpanded, this,
            guarded([this](QTreeWidgetItem* node) { findCategoryOpened(node); }));
    // Whatever changes the tree's nodes: the filter is worked out again, and so is the help line.
    QAbstractItemModel* nodes = tvwMain->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(nodes, signal, this, guarded(this, &TfrmMain::invalidateFind));
    connect(nodes, &QAbstractItemModel::dataChanged, this, guarded(this, &TfrmMain::invalidateFind));
    connect(nodes, &QAbstractItemModel::modelReset, this, guarded(this, &TfrmMain::invalidateFind));

    createShortcuts();
}

void TfrmMain::createShortcuts()
{
    // Qt's standard keys where the desktop has one for the command; the others follow common use
    // (F2 renames, Ctrl+Shift+N makes a new folder-like thing). Delete and F2 act on the tree's
    // node, so they only work while the tree has the focus: in a field, Delete deletes text.
    // Every button and link that the mouse reaches has a key here, the buttons staying unfocusable.
    struct Entry
    {
        const char* name;
        QKeySequence keys;
        QWidget* scope; // nullptr: the whole window
        std::function<void()> run;
        QKeySequence alternate = {}; // a second key for the same command
    };
    const Entry entries[] = {
        {"scSave", QKeySequence::Save, nullptr, [this] { btnSave->click(); }},
        {"scFind", QKeySequence::Find, nullptr,
         [this] {
             edtFind->setFocus(Qt::ShortcutFocusReason);
             edtFind->selectAll();
         }},
        {"scAddItem", QKeySequence::New, nullptr, [this] { btnAddItem->click(); }},
        {"scAddCategory", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), nullptr, [this] { btnAddCategory->click(); }},
        {"scDelete", QKeySequence::Delete, tvwMain,
         [this] {
             const QTreeWidgetItem* node = tvwMain->currentItem();
             if (node && node->parent())
                 DeleteItem1->trigger();
             else if (node)
                 DeleteCategory1->trigger();
         }},
        {"scRenameCategory", QKeySequence(Qt::Key_F2), tvwMain, [this] { EditCategory1->trigger(); }},
        {"scBrowseLogin", QKeySequence::Open, nullptr, [this] { btnBrowseLogin->click(); }},
        {"scImport", QKeySequence(Qt::CTRL | Qt::Key_I), nullptr, [this] { Import1->trigger(); }},
        {"scExport", QKeySequence(Qt::CTRL | Qt::Key_E), nullptr, [this] { Export1->trigger(); }},
        {"scBack", QKeySequence::Back, nullptr, [this] { bsSkinSpeedButton1->click(); }},
        {"scForward", QKeySequence::Forward, nullptr, [this] { bsSkinSpeedButton2->click(); }},
        {"scRefresh", QKeySequence::Refresh, nullptr, [this] { bsSkinSpeedButton4->click(); }},
        {"scHelp", QKeySequence::HelpContents, nullptr, [this] { btnHelp->click(); }},
        {"scAbout", QKeySequence(Qt::CTRL | Qt::Key_F1), nullptr, [this] { btnAbout->click(); }},
        {"scMakeMoney", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), nullptr, [this] { btnMakeMoney->click(); }},
        {"scNews", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), nullptr,
         [this] {
             if (!btnNews->isHidden())
                 btnNews->click();
         }},
        {"scUpdate", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), nullptr, [this] { btnUpdate->click(); }},
        {"scLock", QKeySequence(Qt::CTRL | Qt::Key_L), nullptr, [this] { btnLock->click(); }},
        {"scPassPhrase", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), nullptr, [this] { btnLock->showMenu(); }},
        {"scBrowseWebsite", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), nullptr,
         [this] { btnBrowseWebsite->click(); }},
        {"scBrowseAffiliate", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), nullptr,
         [this] { btnBrowseAffiliate->click(); }},
        {"scBrowseCloaked", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K), nullptr,
         [this] { btnBrowseCloaked->click(); }},
        // Not Ctrl+Shift+U: the desktop's input method takes it for typing a character by its code.
        {"scPasteUsername", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), nullptr, [this] { btnUPaste->click(); }},
        {"scPastePassword", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), nullptr, [this] { btnPPaste->click(); }},
        {"scLogIn", QKeySequence(Qt::CTRL | Qt::Key_Return), nullptr, [this] { logIn(true); },
         QKeySequence(Qt::CTRL | Qt::Key_Enter)},
        {"scLogInFillOnly", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return), nullptr, [this] { logIn(false); },
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Enter)},
        // As in a web browser, Escape stops loading; only in the pane, so Escape in the find field
        // still shows the whole tree. Enter alone in the address does not navigate: "Go!" is Alt+Enter.
        {"scStop", QKeySequence(Qt::Key_Escape), EmbeddedWB1, [this] { bsSkinSpeedButton3->click(); }},
        {"scStopAddress", QKeySequence(Qt::Key_Escape), edtURL, [this] { bsSkinSpeedButton3->click(); }},
        {"scGo", QKeySequence(Qt::ALT | Qt::Key_Return), edtURL, [this] { bsSkinButton2->click(); },
         QKeySequence(Qt::ALT | Qt::Key_Enter)},
        // The banner and the sponsor links, while they show.
        {"scBanner", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), nullptr,
         [this] {
             if (gifBanner->isVisible())
                 gifBannerClick();
             else if (imgBanner->isVisible())
                 imgBannerClick();
         }},
        {"scLink1", QKeySequence(Qt::CTRL | Qt::Key_1), nullptr,
         [this] {
             if (lblLink1URL->isVisible() && !lblLink1URL->text().isEmpty())
                 lblLink1URLClick();
         }},
        {"scLink2", QKeySequence(Qt::CTRL | Qt::Key_2), nullptr,
         [this] {
             if (lblLink2URL->isVisible() && !lblLink2URL->text().isEmpty())
                 lblLink2URLClick();
         }},
    };
    for (const Entry& entry : entries) {
        auto* shortcut = new QShortcut(entry.keys, entry.scope ? entry.scope : static_cast<QWidget*>(this));
        shortcut->setObjectName(QLatin1String(entry.name));
        if (!entry.alternate.isEmpty())
            shortcut->setKeys({entry.keys, entry.alternate});
        // The pane's keys also reach it from inside the page, which has the focus there.
        shortcut->setContext(!entry.scope                 ? Qt::WindowShortcut
                             : entry.scope == EmbeddedWB1 ? Qt::WidgetWithChildrenShortcut
                                                          : Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, guarded([this, run = entry.run] {
                    // Only on the main page: the welcome page has its own button.
                    if (pgcPrinc->currentWidget() == stsMain)
                        run();
                }));
    }
}

QList<QShortcut*> TfrmMain::shortcuts() const
{
    return findChildren<QShortcut*>(QRegularExpression(QStringLiteral("^sc[A-Z]")));
}

void TfrmMain::placeFindField()
{
    // In the heading row (the group box's top margin), from after the caption to the right edge.
    const int captionEnd = 8 + bsSkinGroupBox1->fontMetrics().horizontalAdvance(bsSkinGroupBox1->title()) + 14;
    const int right = bsSkinGroupBox1->width() - 4;
    const int height = 16;
    edtFind->setGeometry(captionEnd, 0, qMax(0, right - captionEnd), height);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        // The folded text of every node is made when the user goes to the find field (a large
        // tree's a slice at a time between events), so that the first keystroke finds it ready.
        if (watched == edtFind)
            runGuarded([this] { buildFindIndex(); });
        break;
    case QEvent::KeyPress:
        if (watched == edtFind) {
            // Escape empties the find field (everything shows again); Enter or Down goes on to
            // the tree.
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape) {
                edtFind->clear();
                return true;
            }
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
                tvwMain->setFocus();
                return true;
            }
            break;
        }
        // Every editor field reports its key presses to the one handler.
        if (auto* field = qobject_cast<QWidget*>(watched); field && itemFields().contains(field))
            runGuarded([&] { edtTitleKeyDown(field, static_cast<QKeyEvent*>(event)); });
        break;
    case QEvent::InputMethod:
        // Text composed from key presses (a dead key, then a letter) reaches the field as an
        // input-method commit, without a key event of its own: it is typing all the same.
        if (auto* field = qobject_cast<QWidget*>(watched);
            field && itemFields().contains(field) && !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
            runGuarded([&] { edtTitleKeyDown(field, nullptr); });
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == btnLogIn)
            m_logInModifiers = mouse->modifiers(); // Shift: fill without sending
        auto* widget = qobject_cast<QWidget*>(watched);
        if (mouse->button() != Qt::LeftButton || !widget || !widget->rect().contains(mouse->position().toPoint()))
            break;
        if (watched == imgBanner)
            runGuarded([this] { imgBannerClick(); });
        else if (watched == gifBanner)
            runGuarded([this] { gifBannerClick(); });
        else if (watched == lblLink1URL)
            runGuarded([this] { lblLink1URLClick(); });
        else if (watched == lblLink2URL)
            runGuarded([this] { lblLink2URLClick(); });
        break;
    }
    case QEvent::Resize:
        if (watched == panBanner)
            centreBanner();
        else if (watched == bsSkinGroupBox1)
            placeFindField();
        else if (watched == tvwMain->viewport())
            updateTreeHelp();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void TfrmMain::FormCreate()
{
    // Each step is guarded: an error is reported and creation goes on, so the window opens.
    runGuarded([this] { gifBanner->setGeometry(imgBanner->geometry()); });
    runGuarded([this] { LoadBranding(); });
    runGuarded([this] {
        if (branding().WelcomePage.isEmpty())
            Timer1->start();
    });
    runGuarded([this] {
        NewsList.clear();
        CategoryList.clear();
        ItemList.clear();
    });
    // The two loads are guarded apart: items are read (and so kept for the next save) even
    // when categories.dat cannot be read.
    runGuarded([this] { detectProtection(); });
    if (!isLocked()) {
        runGuarded([this] { LoadCategories(); });
        runGuarded([this] { LoadItems(); });
    }
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    // Let every page lay itself out once.
    for (int i = 0; i < pgcPrinc->count(); ++i) {
        pgcPrinc->setCurrentIndex(i);
        QCoreApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);

    if (!branding().WelcomePage.isEmpty()) {
        if (stsWelcome) {
            pgcPrinc->setCurrentWidget(stsWelcome);
            runGuarded([this] { showWelcomePage(); });
        }
    } else if (stsWelcome) {
        // Direct mode: the welcome page goes with all its controls; stsMain becomes page 0.
        pgcPrinc->removeWidget(stsWelcome);
        delete stsWelcome;
        stsWelcome = nullptr;
        prfWelcome = nullptr;
        bsSkinPanel14 = nullptr;
        bsSkinButton1 = nullptr;
        welcomeEnter = nullptr;
    }
    pgcPrinc->setCurrentIndex(0);
    if (pgcPrinc->currentWidget() == stsMain)
        pgcPrinc->setCurrentWidget(recordsPage());
    centreBanner();
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize()
{
    centreBanner();
}

void TfrmMain::centreBanner()
{
    // Each half is an integer division that truncates toward zero, taken before subtracting.
    for (QLabel* banner : {imgBanner, gifBanner}) {
        if (!banner)
            continue;
        banner->move(panBanner->width() / 2 - banner->width() / 2, panBanner->height() / 2 - banner->height() / 2);
    }
}

void TfrmMain::bsSkinButton1Click()
{
    pgcPrinc->setCurrentWidget(recordsPage());
    if (!branding().WelcomePage.isEmpty())
        Timer1->start();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TfrmMain::FormClose()
{
    // Drop the HTTP connection twice; nothing is asked or saved. An error while disconnecting is
    // ignored on purpose, unreported: the close goes on whatever the connection does.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            disconnectHttp();
        } catch (...) {
            // ignored: closing never fails
        }
    }
    // What "Paste" put on the clipboard does not outlive the program.
    forgetClipboard();
    QCoreApplication::processEvents();
}

void TfrmMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    forgetClipboard();
    NewsList.clear();
    CategoryList.clear();
    ItemList.clear();
}

// ---------------------------------------------------------------------------------------------
// Record files

void TfrmMain::LoadCategories()
{
    const QString path = UUtils::appFile(Records::kCategoriesFile);
    if (!QFileInfo::exists(path))
        return;
    StringList lines;
    try {
        lines = m_store.load(path, &m_categoriesUnread);
    } catch (...) {
        // Never let a save replace a file whose records were not read.
        m_unreadFiles.insert(Records::kCategoriesFile);
        throw;
    }
    CategoryList = std::move(lines);

    QList<QTreeWidgetItem*> roots;
    roots.reserve(CategoryList.size());
    const QIcon& icon = ImageList1.at(0);
    for (const QByteArray& name : std::as_const(CategoryList)) {
        auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(name)));
        node->setIcon(0, icon);
        roots.append(node);
    }
    tvwMain->addTopLevelItems(roots);
}

void TfrmMain::LoadItems()
{
    const QString path = UUtils::appFile(Records::kItemsFile);
    const QFileInfo info(path);
    if (!info.exists())
        return;
    StringList lines;
    try {
        lines = m_store.load(path, &m_itemsUnread);
    } catch (...) {
        m_unreadFiles.insert(Records::kItemsFile);
        throw;
    }
    ItemList = std::move(lines);

    // Place the items in one pass (name -> first root by hash), then hand each root its
    // children at once.
    const qsizetype rootCount = tvwMain->topLevelItemCount();
    QList<QTreeWidgetItem*> roots(rootCount);
    for (qsizetype i = 0; i < rootCount; ++i)
        roots[i] = tvwMain->topLevelItem(int(i));
    // The roots are the category list's entries, in order (the codec is lossless both ways).
    StringList names = CategoryList;
    if (names.size() != rootCount) {
        names.resize(rootCount);
        for (qsizetype i = 0; i < rootCount; ++i)
            names[i] = UUtils::stringToAnsi(roots[i]->text(0));
    }

    QList<QList<QTreeWidgetItem*>> children(rootCount);
    const QIcon& icon = ImageList1.at(1);
    for (const Records::ItemPlacement& placed : Records::placeItems(names, ItemList)) {
        auto* node = new QTreeWidgetItem(QStringList(UUtils::ansiToString(placed.title)));
        node->setIcon(0, icon);
        children[placed.category].append(node);
    }
    for (qsizetype i = 0; i < rootCount; ++i) {
        if (!children[i].isEmpty())
            roots[i]->addChildren(children[i]);
    }
}

namespace {

[[noreturn]] void refuseSave(const QString& path)
{
    throw AppError(QStringLiteral("The file \"%1\" was not saved: it could not be read when Quillet started, and "
                                  "saving now would replace the records it holds. Your change is kept until Quillet "
                                  "closes; make the file readable and start Quillet again.")
                       .arg(QDir::toNativeSeparators(path)));
}

} // namespace

void TfrmMain::SaveCategories()
{
    const QString path = UUtils::appFile(Records::kCategoriesFile);
    m_unsavedFiles.insert(Records::kCategoriesFile);
    if (isSaveRefused(Records::kCategoriesFile))
        refuseSave(path);
    m_store.save(path, CategoryList, m_categoriesUnread);
    m_unsavedFiles.remove(Records::kCategoriesFile);
}

void TfrmMain::SaveItems()
{
    const QString path = UUtils::appFile(Records::kItemsFile);
    m_unsavedFiles.insert(Records::kItemsFile);
    if (isSaveRefused(Records::kItemsFile))
        refuseSave(path);
    m_store.save(path, ItemList, m_itemsUnread);
    m_unsavedFiles.remove(Records::kItemsFile);
}
