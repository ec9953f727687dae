#pragma once

#include "records/RecordFiles.h"
#include "records/RecordImport.h"
#include "records/RecordStore.h"
#include "util/StringList.h"

#include <optional>

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <memory>

struct TEditorField;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QShortcut;
class QSplitter;
class QStackedWidget;
class QThread;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QKeyEvent;
class TAnchorPanel;
class THttpClient;
class TMessageHint;
class TLoginAgent;
class TWebBrowser;

// The main window. Every control carries its name as objectName and as member name.
//
// The window's handlers are spread over several source files, one per concern:
//   FMain.cpp          construction, layout, lifecycle (FormCreate ... FormDestroy), record files
//   FMainRecords.cpp   category tree, item editor, category and item commands
//   FMainBrowser.cpp   the built-in browser pane
//   FMainNews.cpp      news poll, News button, update check
//   FMainBranding.cpp  branding loader, welcome page, banner, links, About, Help, Make Money
//   FMainLock.cpp      protected records: pass phrase, locked page, lock by the user and by inactivity
//
// Errors the code does not expect are thrown as AppError. Every handler is connected through
// guarded() (ErrorGuard.h), which shows the error and lets the program go on; each step of
// window creation runs guarded the same way.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Everything else is the window's own. Tests and tools reach a control through its objectName
    // (findChild), and the window's state through these:
    const StringList& categoryList() const { return CategoryList; } // the lines of categories.dat
    const StringList& itemList() const { return ItemList; }         // the raw lines of items.dat
    const StringList& newsList() const { return NewsList; }         // raw news entries "id^title^date"
    bool isItemChanged() const { return FItemChanged; }             // the shown item has unsaved edits
    // The record files, written after every command that changes them. A file that exists but
    // cannot be read throws AppError "Cannot open file ..." when loaded and is then refused by the
    // matching save for the rest of the run, so the records it holds are never overwritten. Saves
    // replace their file atomically; a failure throws AppError and leaves the old file whole (the
    // list keeps the change).
    void LoadCategories();
    void LoadItems();
    void SaveCategories();
    void SaveItems();
    bool isSaveRefused(const QString& fileName) const { return m_unreadFiles.contains(fileName); }
    // The find field's index of a large tree is being made, a slice at a time between the window's
    // events; what the tree shows follows when it is done.
    bool isFindIndexPending() const { return m_findBuild != nullptr; }
    // The web browser control inside EmbeddedWB1. The adapter is made on first use; its page view,
    // and with it the web engine, on the first navigation.
    TWebBrowser* webBrowser();

    static constexpr int kClipboardForgetMs = 30000; // how long "Paste" leaves a text on the clipboard

    friend const std::array<TEditorField, 11>& editorFields(); // EditorFields.h: names the fields' members

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- Controls (owned by the window through Qt parenting) ----
    QStackedWidget* pgcPrinc = nullptr; // page control; its pages never show tabs

    // Page 0 in welcome mode; destroyed in direct mode (then nullptr).
    QWidget* stsWelcome = nullptr;
    QWidget* prfWelcome = nullptr; // container for the welcome page's HTML view (empty QVBoxLayout)
    TAnchorPanel* bsSkinPanel14 = nullptr;
    QPushButton* bsSkinButton1 = nullptr; // "Thanks, just show me the main application"
    QShortcut* welcomeEnter = nullptr;    // Enter clicks bsSkinButton1 while the welcome page shows

    // The main page.
    QWidget* stsMain = nullptr;
    TAnchorPanel* bsSkinPanel1 = nullptr; // toolbar
    QPushButton* btnAddCategory = nullptr;
    QPushButton* btnAddItem = nullptr;
    QPushButton* btnMakeMoney = nullptr;
    QPushButton* btnAbout = nullptr;
    QToolButton* btnNews = nullptr;
    QToolButton* btnUpdate = nullptr;
    QToolButton* btnHelp = nullptr;

    QFrame* panBanner = nullptr;
    // Banners: whoever changes a banner's size (to its picture) calls centreBanner() after.
    QLabel* imgBanner = nullptr; // still banner: a QLabel showing a pixmap, sized to its picture
    QLabel* gifBanner = nullptr; // animated banner: a QLabel showing a QMovie

    TAnchorPanel* panLinks = nullptr;
    QLabel* lblLink1URL = nullptr;
    QLabel* lblLink2URL = nullptr; // kept against the right edge

    QSplitter* bsSkinSplitter1 = nullptr; // holds bsSkinGroupBox1 | bsSkinPanel2; its handle is the splitter
    QGroupBox* bsSkinGroupBox1 = nullptr; // "Categories"
    // The tree's selection model asks tvwMainChanging before every move and calls tvwMainChange
    // after it (QTreeWidget::currentItemChanged does not fire with this model: use the handlers
    // or tvwMain->selectionModel()'s currentChanged).
    QTreeWidget* tvwMain = nullptr;
    // The find field in the tree's heading row, beside the caption "Categories" (Ctrl+F). It
    // filters what the tree shows; see edtFindChange.
    QLineEdit* edtFind = nullptr;
    // The grey line of help that the empty tree shows (a label over its viewport, not a node).
    QLabel* lblTreeHelp = nullptr;
    QMenu* bsSkinPopupMenu1 = nullptr;
    QAction* AddCategory1 = nullptr;
    QAction* EditCategory1 = nullptr;
    QAction* DeleteCategory1 = nullptr;
    QAction* N1 = nullptr; // separator
    QAction* AddItem1 = nullptr;
    QAction* DeleteItem1 = nullptr;

    QWidget* bsSkinPanel2 = nullptr;      // item area
    TAnchorPanel* bsSkinPanel4 = nullptr; // item editor
    QLineEdit* edtTitle = nullptr;
    QLineEdit* edtProg = nullptr;
    QLineEdit* edtWebsiteURL = nullptr;
    QLineEdit* edtLoginURL = nullptr;
    QLineEdit* edtLogin = nullptr;
    QLineEdit* edtPassword = nullptr; // shown in clear
    QLineEdit* edtAffiliateURL = nullptr;
    QLineEdit* edtCloaked = nullptr;
    QLineEdit* edtPayout = nullptr;
    QLineEdit* edtPaymentDay = nullptr;
    QFrame* panDesc = nullptr; // the framed panel around memDesc
    QPlainTextEdit* memDesc = nullptr;
    QPushButton* btnBrowseWebsite = nullptr;
    QPushButton* btnBrowseLogin = nullptr;
    QPushButton* btnUPaste = nullptr;
    QPushButton* btnPPaste = nullptr;
    QPushButton* btnBrowseAffiliate = nullptr;
    QPushButton* btnBrowseCloaked = nullptr;
    QPushButton* btnLogIn = nullptr; // "Log In", at the foot of the side buttons' column
    QPushButton* btnSave = nullptr;

    TAnchorPanel* bsSkinPanel5 = nullptr;      // browser bar
    QToolButton* bsSkinSpeedButton1 = nullptr; // Back
    QToolButton* bsSkinSpeedButton2 = nullptr; // Forward ("Foward")
    QToolButton* bsSkinSpeedButton4 = nullptr; // Refresh
    QToolButton* bsSkinSpeedButton3 = nullptr; // Stop
    QLabel* bsSkinStdLabel8 = nullptr;         // "URL:"
    QLineEdit* edtURL = nullptr;
    QPushButton* bsSkinButton2 = nullptr; // "Go!"

    // Container of the embedded web browser (empty QVBoxLayout without margins). The browser
    // pane creates its page view inside on first use (from the web engine plugin), so neither the
    // plugin nor the web engine starts with the window.
    QWidget* EmbeddedWB1 = nullptr;

    // Components without a place on screen.
    QTimer* Timer1 = nullptr; // one-shot start-up timer: disabled, 2000 ms
    // Clears the clipboard kClipboardForgetMs after "Paste" put a username or password there,
    // if it still holds that text.
    QTimer* ClipboardTimer = nullptr;
    QList<QIcon> ImageList1; // tree images, 16 x 16: 0 category, 1 item

    // The eleven editor fields in keyboard order (title ... description), as editorFields()
    // (EditorFields.h) lists them.
    QList<QWidget*> itemFields() const;

    // ---- State owned by the window ----
    StringList NewsList;     // raw news entries "id^title^date"
    StringList CategoryList; // the lines of categories.dat
    StringList ItemList;     // the raw lines of items.dat
    bool FItemChanged = false;

    // ---- Lifecycle (FMain.cpp) ----
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void FormDestroy();
    void bsSkinButton1Click();
    void centreBanner();

    // ---- Category tree, item editor, commands (FMainRecords.cpp) ----
    void tvwMainChanging(QTreeWidgetItem* node, bool& allowChange);
    void tvwMainChange();
    void edtTitleKeyDown(QWidget* field, QKeyEvent* key);
    void btnSaveClick();
    void ShowItem(const QByteArray& category, const QByteArray& title);
    void ClearItemFields();
    void EnableItemFields();
    void DisableItemFields();
    void SaveItem();
    void btnAddCategoryClick();
    void btnAddItemClick();
    void AddCategory1Click();
    void EditCategory1Click();
    void DeleteCategory1Click();
    void AddItem1Click();
    void DeleteItem1Click();
    void EditCategory();
    void DeleteCategory();
    void DeleteItem();
    void bsSkinPopupMenu1Popup();
    // Find: shows the nodes that match the find field's text and hides the others. A category
    // stays when its name matches (with all its items) or when one of its items matches; an item
    // when the text occurs in one of its eleven fields (case-folded, see Records::foldForFind).
    // The selected node and its category always stay. An empty text shows everything again.
    // Only what is shown changes: the lists, the files and every command see the whole tree.
    void edtFindChange();
    void updateTreeHelp(); // shows lblTreeHelp while the tree is empty
    void setupRecords();   // run once by the constructor, after connectHandlers
    // Sibling-title check: another child of the selected node's parent has this text, byte for byte.
    bool hasSiblingTitle(const QString& title) const;
    // Reads the eleven fields for storing (field 0 left empty). Refuses, with a message naming the
    // field, a text that cannot be stored (see Records::checkStorableText); returns false then.
    bool itemFieldsFromEditor(Records::ItemFields* fields) const;

    // ---- Import from and export to CSV files (FMainImport.cpp) ----
    // Entries of bsSkinPopupMenu1 after the others, behind the separator N2, always shown.
    QAction* N2 = nullptr;
    QAction* Import1 = nullptr; // "Import..." (Ctrl+I)
    QAction* Export1 = nullptr; // "Export..." (Ctrl+E)
    void Import1Click();
    void Export1Click();
    // Reads and maps the file on a worker thread behind a cancellable progress dialog; nothing
    // when the user cancels. Throws AppError when the file cannot be opened.
    std::optional<Records::ImportPlan> planImportFile(const QString& path);
    // Adds the plan's categories and items to the lists and the tree, then saves each file once.
    void applyImport(const Records::ImportPlan& plan);

    // ---- Keyboard (FMain.cpp) ----
    // The window's shortcuts, by objectName: scSave, scFind, scAddItem, scAddCategory, scDelete,
    // scRenameCategory, scBrowseLogin, scBack, scForward, scRefresh, scHelp, scImport, scExport, ...
    QList<QShortcut*> shortcuts() const;

    // ---- Browser pane (FMainBrowser.cpp) ----
    void bsSkinSpeedButton1Click();
    void bsSkinSpeedButton2Click();
    void bsSkinSpeedButton3Click();
    void bsSkinSpeedButton4Click();
    void bsSkinButton2Click();
    void btnBrowseWebsiteClick();
    void btnBrowseLoginClick();
    void btnBrowseAffiliateClick();
    void btnBrowseCloakedClick();
    void btnUPasteClick();
    void btnPPasteClick();
    // "Log In": opens the item's login page (else its website) as "Browse" does, then fills the
    // username and password the fields show into the page's login form and sends it; with Shift
    // held it only fills. The login is followed by TLoginAgent; loginFinished tells the outcome.
    void btnLogInClick();
    void logIn(bool send);
    // Tells the user a login's outcome in one line; an empty message says nothing.
    void loginFinished(bool refused, const QString& message);
    TLoginAgent* loginAgent(); // made with the first login
    // Browse, Go!, Back, Forward, Refresh and Stop take the pane elsewhere: the login under way ends.
    void cancelLogin();
    Qt::KeyboardModifiers m_logInModifiers; // of the mouse release that clicked btnLogIn
    // Clears the clipboard if it still holds what "Paste" put there (the timer's end, and exit).
    void forgetClipboard();
    void pasteField(const QLineEdit* field);
    void browseField(const QLineEdit* field); // the field's text, as typed, into edtURL and to the control

    // ---- News and updates (FMainNews.cpp) ----
    void Timer1Timer();
    void btnNewsClick();
    void btnUpdateClick();
    void ShowNewsHint(const QByteArray& text);
    void CheckForUpdate(bool Quiet);
    bool DownloadFile(const QByteArray& url, const QString& localPath);
    // Drops the HTTP client's connection (IdHTTP1). FormClose calls it twice and ignores errors.
    void disconnectHttp();
    // The news requests of the main window (the news window sends the details request).
    bool GetNewsList(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                     const QByteArray& newsTarget, StringList& list);
    bool GetLatestNews(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                       const QByteArray& newsTarget, QByteArray& id, QByteArray& title);
    // IdHTTP1, created on first use; owned by the window. After disconnectHttp() it refuses
    // every request, so nothing runs on a window that is closing.
    THttpClient* httpClient();
    THttpClient* IdHTTP1 = nullptr;
    TMessageHint* LMDMessageHint1 = nullptr; // the news balloon, created when first shown

    // ---- Branding, welcome page, banner, links (FMainBranding.cpp) ----
    void LoadBranding();
    void showWelcomePage(); // welcome mode: fills prfWelcome with branding().WelcomePage
    void btnMakeMoneyClick();
    void btnAboutClick();
    void btnHelpClick();
    void imgBannerClick();
    void gifBannerClick();
    void lblLink1URLClick();
    void lblLink2URLClick();

    void createControls();
    void createWelcomePage();
    void createMainPage();
    void createEditor();
    void createBrowserBar();
    void connectHandlers();

    void createShortcuts();
    void placeFindField();
    void invalidateFind(); // the tree or the lists changed: the find index is rebuilt when next used
    // Starts making the find index (see FindBuild) unless it is valid or under way; a small tree's
    // at once, a large tree's a slice at a time. False while it is still to come.
    bool buildFindIndex();
    // Goes on with the build for about budgetMs (-1: to the end); true once the index is made.
    bool continueFindBuild(int budgetMs);
    void queueFindSlice(); // the next slice, after the events that wait
    static constexpr int kFindSliceMs = 8;

    QList<QWidget*> m_itemFields; // the controls of editorFields(), in its order
    // Find: the folded text of every node, built when the find field is first used after a change.
    struct FindEntry
    {
        QTreeWidgetItem* node;
        QByteArray text; // Records::foldForFind / itemFindText
        bool hidden;     // as the view has it
        bool hide;       // as the last pass of the filter decided
    };
    QList<FindEntry> m_findIndex; // each root, followed by its children
    // A build of the find index, made a slice at a time between the window's events: a large tree's
    // takes a few hundred milliseconds, which the find field must not wait for. Any change of the
    // tree or the lists in between makes it start again (generation).
    struct FindBuild
    {
        quint64 generation = 0;
        StringList itemLines; // a shared copy: lineOf points into its lines
        // The first line of each category and title (as ShowItem reads it), among the lines of two
        // fields or more (those the tree shows). Filled from the last line up: the first one stays.
        QHash<QByteArrayView, qsizetype> lineOf;
        qsizetype linesLeft = 0; // lines not yet in lineOf: 0 .. linesLeft - 1
        int root = 0;            // the node next: root's child `child`, or the root itself at -1
        int child = -1;
        QByteArray category; // the current root's name
        QByteArray key;      // reused for the look-ups
        QList<FindEntry> index;
    };
    std::unique_ptr<FindBuild> m_findBuild; // the build under way
    quint64 m_findGeneration = 0;           // counts the changes of the tree and the lists
    bool m_findFilterWhenBuilt = false;     // a filter pass waits for the build under way
    bool m_findSliceQueued = false;
    // Brings the view's state of the items of the category at m_findIndex[at] (tree row row) to the
    // filter's decision; for a closed category only as far as its arrow needs, the rest is pending.
    void applyFindToItems(qsizetype at, int row, bool closed);
    void findCategoryOpened(QTreeWidgetItem* node); // applies what is pending for it
    // Closed categories whose items the view does not show as the filter decided, with their index.
    QHash<const QTreeWidgetItem*, qsizetype> m_findPending;
    bool m_findIndexValid = false;
    bool m_findRefilterQueued = false;
    QList<QPersistentModelIndex> m_expandedByFind; // categories the filter opened, closed when it ends
    QString m_clipboardText;                       // what "Paste" last put on the clipboard
    QSet<QString> m_unreadFiles;                   // bare names of record files that exist but could not be read
    // Bare names of record files whose last save failed: the lists hold changes the file lacks, which
    // a lock (it empties the lists) would lose. Cleared by the next save that succeeds.
    QSet<QString> m_unsavedFiles;
    // What follows a NUL byte in a record file: the loads stop there, the saves write it back
    // unchanged after the lines, so a stray NUL never costs the records behind it.
    QByteArray m_categoriesUnread;
    QByteArray m_itemsUnread;
    bool m_shownOnce = false;
    bool m_destroyed = false;

    // ---- Protected records (FMainLock.cpp) ----
public:
    // The records are protected and locked: stsLocked shows instead of stsMain, the lists, the
    // tree, the editor and the find index are empty, and nothing is written.
    bool isLocked() const { return m_store.mode() == Records::RecordStore::Mode::Locked; }
    bool isProtected() const { return m_store.isProtected(); }
    bool isKeyWorkRunning() const { return !m_keyThread.isNull(); } // a key derivation is under way
    static constexpr int kInactivityLockMs = 10 * 60 * 1000;
    // Test seam (util/TestSeam.h): the time without input before the records lock. 0: the default.
    static void setInactivityLockMs(int ms);

private:
    // Every load and save of a record file goes through m_store, which knows plain from protected.
    Records::RecordStore m_store;
    QToolButton* btnLock = nullptr; // toolbar, left of btnNews; its menu: mnuLock
    QMenu* mnuLock = nullptr;
    QAction* actLock = nullptr;
    QAction* actChangePassPhrase = nullptr; // "Set Pass Phrase..." while the records are plain
    QAction* actRemovePassPhrase = nullptr;
    QWidget* stsLocked = nullptr; // the page shown while the records are locked
    QLabel* lblLocked = nullptr;  // what is locked
    QLineEdit* edtUnlock = nullptr;
    QPushButton* btnUnlock = nullptr;
    QLabel* lblUnlockWorking = nullptr;
    QTimer* InactivityTimer = nullptr; // locks the records after kInactivityLockMs without input
    QObject* m_inputWatcher = nullptr;
    QPointer<QThread> m_keyThread;
    QStringList m_lockedSelection; // texts of the node selected when the records locked (category[, item])

    void createLockControls();
    void detectProtection();      // FormCreate, before the loads: locked when a file is protected
    QWidget* recordsPage() const; // stsLocked while locked, else stsMain
    void btnLockClick();
    void lockRecords(bool byUser);
    // Saves again what failed to save; when that fails too, a lock by inactivity waits and the user
    // is asked whether to lose those changes. True when the lock may go on.
    bool keepUnsavedChangesBeforeLock(bool byUser);
    void btnUnlockClick();
    void applyUnlock(const Records::UnlockResult& result);
    void editPassPhrase(); // sets or changes the pass phrase
    void removePassPhrase();
    void InactivityTimerTimer();
    void updateLockControls();
    void setUnlockWorking(bool working);
    // Runs work on a thread of its own, then done on the window's thread.
    void runKeyWork(std::function<void()> work, std::function<void()> done);
    void waitForKeyWork();
};
