// Protected records: the pass phrase, the locked page, locking by the user and by inactivity.
#include "app/AnchorPanel.h"
#include "app/ErrorGuard.h"
#include "app/FMain.h"
#include "dialogs/FPassPhrase.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "util/Files.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

struct InactivitySeam
{
    int ms = 0; // 0: the default
};

TTestSeam<InactivitySeam>& inactivitySeam()
{
    static TTestSeam<InactivitySeam> seam;
    return seam;
}

int inactivityLockMs()
{
    if (const InactivitySeam* seam = inactivitySeam().state(); seam && seam->ms > 0)
        return seam->ms;
    return TfrmMain::kInactivityLockMs;
}

// Sees every key press and mouse action of the program, wherever it goes.
class TInputWatcher : public QObject
{
public:
    TInputWatcher(QObject* parent, std::function<void()> onInput) : QObject(parent), m_onInput(std::move(onInput)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            m_onInput();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onInput;
};

// A padlock, 24 x 24, drawn as the other toolbar pictures are.
QIcon padlockIcon()
{
    QPixmap pixmap(48, 48);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x1F, 0x5F, 0xB4);
    p.setPen(QPen(blue, 2.4));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(8, 11);
    shackle.lineTo(8, 8);
    shackle.arcTo(QRectF(8, 3, 8, 9), 180, -180);
    shackle.lineTo(16, 11);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawRoundedRect(QRectF(5, 11, 14, 10), 2, 2);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(10.5, 14, 3, 3));
    p.end();
    return QIcon(pixmap);
}

const QString kWrongPassPhrase = QStringLiteral("The pass phrase is wrong. The records stay locked.");

} // namespace

void TfrmMain::setInactivityLockMs(int ms)
{
    if (InactivitySeam* seam = inactivitySeam().state())
        seam->ms = ms;
}

void TfrmMain::createLockControls()
{
    // The toolbar button, left of btnNews, anchored right as the picture buttons beside it.
    btnLock = new QToolButton;
    btnLock->setObjectName(QStringLiteral("btnLock"));
    btnLock->setToolTip(QStringLiteral("Lock"));
    btnLock->setAccessibleName(QStringLiteral("Lock"));
    btnLock->setIcon(padlockIcon());
    btnLock->setIconSize(QSize(24, 24));
    btnLock->setAutoRaise(true);
    btnLock->setFocusPolicy(Qt::NoFocus);
    mnuLock = new QMenu(btnLock);
    mnuLock->setObjectName(QStringLiteral("mnuLock"));
    actLock = mnuLock->addAction(QStringLiteral("&Lock Now"));
    actLock->setObjectName(QStringLiteral("actLock"));
    actChangePassPhrase = mnuLock->addAction(QStringLiteral("&Change Pass Phrase..."));
    actChangePassPhrase->setObjectName(QStringLiteral("actChangePassPhrase"));
    actRemovePassPhrase = mnuLock->addAction(QStringLiteral("&Remove Pass Phrase..."));
    actRemovePassPhrase->setObjectName(QStringLiteral("actRemovePassPhrase"));
    btnLock->setMenu(mnuLock);
    btnLock->setPopupMode(QToolButton::MenuButtonPopup);
    bsSkinPanel1->place(btnLock, QRect(747, 1, 41, 34), TAnchorPanel::Anchor::Right);

    // The locked page.
    stsLocked = new QWidget;
    stsLocked->setObjectName(QStringLiteral("stsLocked"));
    auto* outer = new QVBoxLayout(stsLocked);
    outer->addStretch(2);
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    lblLocked = new QLabel(QStringLiteral("The records (categories.dat and items.dat) are locked with a pass phrase. "
                                          "Enter it to open them."));
    lblLocked->setObjectName(QStringLiteral("lblLocked"));
    lblLocked->setTextFormat(Qt::PlainText);
    lblLocked->setWordWrap(true);
    lblLocked->setAlignment(Qt::AlignCenter);
    layout->addWidget(lblLocked);
    auto* row = new QHBoxLayout;
    edtUnlock = new QLineEdit;
    edtUnlock->setObjectName(QStringLiteral("edtUnlock"));
    edtUnlock->setEchoMode(QLineEdit::Password);
    edtUnlock->setAccessibleName(QStringLiteral("Pass phrase"));
    edtUnlock->setMinimumWidth(260);
    btnUnlock = new QPushButton(QStringLiteral("Unlock"));
    btnUnlock->setObjectName(QStringLiteral("btnUnlock"));
    btnUnlock->setFocusPolicy(Qt::NoFocus); // as every button of the window: Enter in edtUnlock presses it
    row->addStretch();
    row->addWidget(edtUnlock);
    row->addWidget(btnUnlock);
    row->addStretch();
    layout->addLayout(row);
    lblUnlockWorking = new QLabel(QStringLiteral("Working: deriving the key from the pass phrase..."));
    lblUnlockWorking->setObjectName(QStringLiteral("lblUnlockWorking"));
    lblUnlockWorking->setTextFormat(Qt::PlainText);
    lblUnlockWorking->setAlignment(Qt::AlignCenter);
    lblUnlockWorking->setVisible(false);
    layout->addWidget(lblUnlockWorking);
    box->setMaximumWidth(520);
    outer->addWidget(box, 0, Qt::AlignHCenter);
    outer->addStretch(3);
    pgcPrinc->addWidget(stsLocked);

    InactivityTimer = new QTimer(this);
    InactivityTimer->setObjectName(QStringLiteral("InactivityTimer"));
    InactivityTimer->setSingleShot(true);
    InactivityTimer->setInterval(inactivityLockMs());
    m_inputWatcher = new TInputWatcher(this, [this] {
        if (InactivityTimer->isActive())
            InactivityTimer->start();
    });
    qApp->installEventFilter(m_inputWatcher);

    connect(btnLock, &QToolButton::clicked, this, guarded(this, &TfrmMain::btnLockClick));
    connect(actLock, &QAction::triggered, this, guarded([this] { lockRecords(true); }));
    connect(actChangePassPhrase, &QAction::triggered, this, guarded(this, &TfrmMain::editPassPhrase));
    connect(actRemovePassPhrase, &QAction::triggered, this, guarded(this, &TfrmMain::removePassPhrase));
    connect(btnUnlock, &QPushButton::clicked, this, guarded(this, &TfrmMain::btnUnlockClick));
    connect(edtUnlock, &QLineEdit::returnPressed, this, guarded([this] { btnUnlock->click(); }));
    connect(InactivityTimer, &QTimer::timeout, this, guarded(this, &TfrmMain::InactivityTimerTimer));
    updateLockControls();
}

QWidget* TfrmMain::recordsPage() const
{
    return isLocked() ? stsLocked : stsMain;
}

void TfrmMain::updateLockControls()
{
    const bool open = m_store.mode() == Records::RecordStore::Mode::Unlocked;
    actLock->setEnabled(open);
    actChangePassPhrase->setText(m_store.isProtected() ? QStringLiteral("&Change Pass Phrase...")
                                                       : QStringLiteral("&Set Pass Phrase..."));
    actChangePassPhrase->setEnabled(!isLocked());
    actRemovePassPhrase->setEnabled(open);
    btnLock->setAccessibleDescription(open ? QStringLiteral("Locks the records now")
                                           : QStringLiteral("Protects the records with a pass phrase"));
}

// ---------------------------------------------------------------------------------------------
// Start

void TfrmMain::detectProtection()
{
    const QStringList names{Records::kCategoriesFile, Records::kItemsFile};
    QList<QPair<QString, Age::Status>> bad;
    m_store.detect(names, &bad);
    updateLockControls();
    // Records that are plain report an unreadable file when they load.
    if (!isLocked())
        return;
    for (const auto& [name, status] : std::as_const(bad)) {
        m_unreadFiles.insert(name);
        TMessageBox::warning(Records::cannotOpenMessage(UUtils::appFile(name), Age::describe(status)));
    }
    QStringList protectedNames, plainNames;
    for (const QString& name : names) {
        const Records::FileKind kind = Records::fileKind(UUtils::appFile(name));
        if (kind == Records::FileKind::Protected)
            protectedNames.append(name);
        else if (kind == Records::FileKind::Plain)
            plainNames.append(name);
    }
    if (!plainNames.isEmpty())
        TMessageBox::information(
            QStringLiteral("%1 is protected by a pass phrase but %2 is not: an earlier change of the pass phrase did "
                           "not finish. Unlock to open both; the next save protects %2 too.")
                .arg(protectedNames.join(QStringLiteral(" and ")), plainNames.join(QStringLiteral(" and "))));
}

// ---------------------------------------------------------------------------------------------
// Lock and unlock

void TfrmMain::btnLockClick()
{
    if (m_store.mode() == Records::RecordStore::Mode::Unlocked)
        lockRecords(true);
    else if (m_store.mode() == Records::RecordStore::Mode::Plain)
        editPassPhrase();
}

void TfrmMain::lockRecords(bool byUser)
{
    if (m_store.mode() != Records::RecordStore::Mode::Unlocked)
        return;
    if (!byUser && (FItemChanged || QApplication::activeModalWidget() || isKeyWorkRunning())) {
        // An unsaved edit, an open dialog or a pass phrase being set is never lost to inactivity:
        // wait for another period.
        InactivityTimer->start();
        return;
    }
    if (isKeyWorkRunning())
        return;
    if (byUser) {
        // The edited item first: the same question as before leaving it.
        bool allowChange = true;
        tvwMainChanging(nullptr, allowChange);
        if (!allowChange)
            return;
    }
    if (!keepUnsavedChangesBeforeLock(byUser))
        return;

    m_lockedSelection.clear();
    if (const QTreeWidgetItem* node = tvwMain->currentItem()) {
        if (node->parent())
            m_lockedSelection << node->parent()->text(0);
        m_lockedSelection << node->text(0);
    }

    // The find index and its state point at the nodes: they go before the nodes do.
    {
        const QSignalBlocker blocker(edtFind);
        edtFind->clear();
    }
    m_findIndex.clear();
    m_findPending.clear();
    m_expandedByFind.clear();
    m_findIndexValid = false;
    // An index being made holds node pointers and a copy of the item lines: it goes too.
    m_findBuild.reset();
    m_findFilterWhenBuilt = false;
    ++m_findGeneration;
    FItemChanged = false;
    tvwMain->clear();
    ClearItemFields();
    DisableItemFields();
    CategoryList = StringList();
    ItemList = StringList();
    m_categoriesUnread.clear();
    m_itemsUnread.clear();

    edtURL->clear();
    cancelLogin(); // a login under way holds the username and password until the page takes them
    if (auto* browser = EmbeddedWB1->findChild<TWebBrowser*>(QString(), Qt::FindDirectChildrenOnly))
        browser->clear();
    forgetClipboard();

    m_store.lock();
    InactivityTimer->stop();
    updateLockControls();
    updateTreeHelp();
    if (pgcPrinc->currentWidget() == stsMain)
        pgcPrinc->setCurrentWidget(stsLocked);
    edtUnlock->clear();
    edtUnlock->setFocus();
}

bool TfrmMain::keepUnsavedChangesBeforeLock(bool byUser)
{
    // Locking empties the lists, and unlocking reads the files again: a change whose save failed
    // (a full disk, a file that could not be read at start) would be gone. Try once more first.
    // A retry that fails again is not reported here: the question below says what it means.
    const auto retry = [](auto&& save) {
        try {
            save();
        } catch (...) {
            // ignored on purpose: the file stays in m_unsavedFiles
        }
    };
    if (m_unsavedFiles.contains(Records::kCategoriesFile))
        retry([this] { SaveCategories(); });
    if (m_unsavedFiles.contains(Records::kItemsFile))
        retry([this] { SaveItems(); });
    if (m_unsavedFiles.isEmpty())
        return true;
    if (!byUser) {
        // Inactivity never costs a change: wait for another period.
        InactivityTimer->start();
        return false;
    }
    QStringList names = m_unsavedFiles.values();
    names.sort();
    return TMessageBox::warning(QStringLiteral("Your latest changes could not be saved to %1. Locking now closes the "
                                               "records and loses them. Lock anyway?")
                                    .arg(names.join(QStringLiteral(" and "))),
                                TMessageBox::Buttons::OkCancel) == TMessageBox::Answer::Ok;
}

void TfrmMain::setUnlockWorking(bool working)
{
    lblUnlockWorking->setVisible(working);
    edtUnlock->setEnabled(!working);
    btnUnlock->setEnabled(!working);
    if (working)
        stsLocked->setCursor(Qt::BusyCursor);
    else
        stsLocked->unsetCursor();
}

void TfrmMain::btnUnlockClick()
{
    if (!isLocked() || isKeyWorkRunning())
        return;
    const QString typed = edtUnlock->text();
    if (typed.isEmpty()) {
        TMessageBox::warning(QStringLiteral("Please enter the pass phrase."));
        return;
    }
    // The key derivation needs the headers only: the first bytes of each protected file.
    QList<QByteArray> headers;
    for (const QString& name : {Records::kCategoriesFile, Records::kItemsFile}) {
        if (isSaveRefused(name))
            continue;
        if (const std::optional<QByteArray> head = Records::protectedHead(UUtils::appFile(name)))
            headers.append(*head);
    }
    auto result = std::make_shared<Records::UnlockResult>();
    setUnlockWorking(true);
    runKeyWork([result, headers, passPhrase = typed.toUtf8()] { *result = Records::unlockKeys(headers, passPhrase); },
               [this, result] {
                   setUnlockWorking(false);
                   applyUnlock(*result);
                   for (Age::Key& key : result->keys)
                       key.clear();
               });
}

void TfrmMain::applyUnlock(const Records::UnlockResult& result)
{
    if (result.status != Age::Status::Ok) {
        TMessageBox::warning(result.status == Age::Status::WrongPassPhrase
                                 ? kWrongPassPhrase
                                 : QStringLiteral("The records stay locked: %1.").arg(Age::describe(result.status)));
        edtUnlock->selectAll();
        edtUnlock->setFocus();
        return;
    }
    m_store.unlock(result.keys);
    edtUnlock->clear();
    tvwMain->clear();
    CategoryList.clear();
    ItemList.clear();
    // A file that cannot be opened is reported by its load, and refused from then on.
    if (!isSaveRefused(Records::kCategoriesFile))
        runGuarded([this] { LoadCategories(); });
    if (!isSaveRefused(Records::kItemsFile))
        runGuarded([this] { LoadItems(); });
    invalidateFind();
    updateTreeHelp();
    updateLockControls();

    // The node that was selected when the records locked.
    QTreeWidgetItem* selected = nullptr;
    if (!m_lockedSelection.isEmpty()) {
        for (int i = 0; i < tvwMain->topLevelItemCount() && !selected; ++i) {
            QTreeWidgetItem* root = tvwMain->topLevelItem(i);
            if (root->text(0) != m_lockedSelection.first())
                continue;
            if (m_lockedSelection.size() == 1) {
                selected = root;
                break;
            }
            for (int c = 0; c < root->childCount(); ++c) {
                if (root->child(c)->text(0) == m_lockedSelection.at(1)) {
                    selected = root->child(c);
                    break;
                }
            }
        }
    }
    if (pgcPrinc->currentWidget() == stsLocked)
        pgcPrinc->setCurrentWidget(stsMain);
    if (selected)
        tvwMain->setCurrentItem(selected);
    m_lockedSelection.clear();
    InactivityTimer->start();
}

void TfrmMain::InactivityTimerTimer()
{
    lockRecords(false);
}

// ---------------------------------------------------------------------------------------------
// Pass phrase

void TfrmMain::editPassPhrase()
{
    if (isLocked() || isKeyWorkRunning())
        return;
    if (!m_unreadFiles.isEmpty()) {
        TMessageBox::warning(QStringLiteral("The pass phrase cannot be set now: %1 could not be read when Quillet "
                                            "started. Make it readable and start Quillet again.")
                                 .arg(QStringList(m_unreadFiles.values()).join(QStringLiteral(" and "))));
        return;
    }
    const bool change = m_store.isProtected();
    TfrmPassPhrase* dialog = nullptr;
    auto work = [this, &dialog](const QString& passPhrase) {
        auto key = std::make_shared<Age::Key>();
        runKeyWork([key, passPhrase = passPhrase.toUtf8(),
                    factor = Records::protectWorkFactor()] { *key = Age::newKey(passPhrase, factor); },
                   [this, key, &dialog] {
                       if (key->isNull()) {
                           TMessageBox::warning(QStringLiteral("The pass phrase was not set: %1.")
                                                    .arg(Age::describe(Age::Status::KeyDerivationFailed)));
                           dialog->finish(false);
                           return;
                       }
                       // Both files are written again under the new key, as every later save.
                       m_store.protect(*key);
                       key->clear();
                       runGuarded([this] { SaveCategories(); });
                       runGuarded([this] { SaveItems(); });
                       updateLockControls();
                       InactivityTimer->start();
                       dialog->finish(true);
                   });
    };
    TfrmPassPhrase window(change ? QStringLiteral("Change Pass Phrase") : QStringLiteral("Protect the Records"), work,
                          this);
    dialog = &window;
    window.exec();
}

void TfrmMain::removePassPhrase()
{
    if (m_store.mode() != Records::RecordStore::Mode::Unlocked || isKeyWorkRunning())
        return;
    if (TMessageBox::information(QStringLiteral("Remove the pass phrase? categories.dat and items.dat are then written "
                                                "in the clear again, readable by anyone who can read the folder."),
                                 TMessageBox::Buttons::OkCancel) != TMessageBox::Answer::Ok)
        return;
    m_store.removeProtection();
    InactivityTimer->stop();
    runGuarded([this] { SaveCategories(); });
    runGuarded([this] { SaveItems(); });
    updateLockControls();
}

// ---------------------------------------------------------------------------------------------
// The key derivation's thread

void TfrmMain::runKeyWork(std::function<void()> work, std::function<void()> done)
{
    QThread* thread = QThread::create(std::move(work));
    m_keyThread = thread;
    connect(thread, &QThread::finished, this, guarded([this, done = std::move(done)] {
                m_keyThread = nullptr;
                done();
            }));
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TfrmMain::waitForKeyWork()
{
    if (m_keyThread)
        m_keyThread->wait();
}
