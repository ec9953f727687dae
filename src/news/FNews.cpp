#include "news/FNews.h"

#include "app/ErrorGuard.h"
#include "branding/Branding.h"
#include "branding/SettingsDocument.h"
#include "news/NewsProtocol.h"
#include "news/NewsRequests.h"
#include "platform/HtmlView.h"
#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"
#include "util/TextCodec.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A document that the view has not finished within this time is stopped.
constexpr int kDocumentTimeout = 30 * 1000;

// Asks the window before the selection moves (lvwItemsChanging); mouse and keys both pass here.
class TNewsSelectionModel : public QItemSelectionModel
{
public:
    TNewsSelectionModel(QAbstractItemModel* model, const TfrmNews* window)
        : QItemSelectionModel(model, const_cast<TfrmNews*>(window)), m_window(window)
    {
    }
    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override
    {
        if (m_window->lvwItemsChanging())
            QItemSelectionModel::setCurrentIndex(index, command);
    }
    void select(const QModelIndex& index, SelectionFlags command) override
    {
        if (m_window->lvwItemsChanging())
            QItemSelectionModel::select(index, command);
    }
    void select(const QItemSelection& selection, SelectionFlags command) override
    {
        if (m_window->lvwItemsChanging())
            QItemSelectionModel::select(selection, command);
    }

private:
    const TfrmNews* m_window;
};

// FBusy and the hourglass for one fetch; cleared however the fetch ends, unless the window
// went away while the body loaded.
class BusyScope
{
public:
    BusyScope(TfrmNews* window, const THttpRequestScope& request) : m_window(window), m_request(request)
    {
        window->FBusy = true;
        for (QWidget* w : widgets())
            w->setCursor(Qt::WaitCursor);
        window->prfEditorNews->setViewCursor(Qt::WaitCursor);
    }
    ~BusyScope()
    {
        if (!m_request.owner())
            return;
        for (QWidget* w : widgets())
            w->unsetCursor();
        m_window->prfEditorNews->unsetViewCursor();
        m_window->FBusy = false;
    }

private:
    QList<QWidget*> widgets() const { return {m_window->lvwItems->viewport(), m_window}; }
    TfrmNews* m_window;
    const THttpRequestScope& m_request;
};

} // namespace

TfrmNews::TfrmNews(THttpClient* http, const StringList& newsList, QWidget* parent)
    : QDialog(parent), m_http(http), m_newsList(newsList)
{
    setObjectName(QStringLiteral("frmNews"));
    setWindowTitle(QStringLiteral("News"));
    resize(682, 411);

    panTop = new QWidget(this);
    panTop->setObjectName(QStringLiteral("panTop"));
    panTop->setMinimumHeight(10);
    lvwItems = new QTreeWidget(panTop);
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setAccessibleName(QStringLiteral("News"));
    lvwItems->setColumnCount(3);
    lvwItems->setHeaderLabels({QStringLiteral("News Title"), QStringLiteral("Published"), QStringLiteral("Id")});
    lvwItems->setRootIsDecorated(false);
    lvwItems->setUniformRowHeights(true);
    lvwItems->setItemsExpandable(false);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setAllColumnsShowFocus(true);
    lvwItems->hideColumn(2);
    lvwItems->header()->setStretchLastSection(false);
    lvwItems->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvwItems->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    lvwItems->header()->resizeSection(1, 160);
    // The selection stays visible when the list loses the focus.
    QPalette palette = lvwItems->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    lvwItems->setPalette(palette);
    auto* topLayout = new QVBoxLayout(panTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(lvwItems);

    lvwItems->setSelectionModel(new TNewsSelectionModel(lvwItems->model(), this));
    connect(lvwItems->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            guarded(this, &TfrmNews::lvwItemsChange));

    // The web engine starts with the first body shown, not with the window.
    prfEditorNews = new THtmlView(this);
    prfEditorNews->setObjectName(QStringLiteral("prfEditorNews"));
    prfEditorNews->setTimeout(kDocumentTimeout);

    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setHandleWidth(10);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(panTop);
    splitter->addWidget(prfEditorNews);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({105, 411 - 105 - 10 - 41});

    panBottom = new QWidget(this);
    panBottom->setObjectName(QStringLiteral("panBottom"));
    panBottom->setFixedHeight(41);
    btnExit = new QPushButton(QStringLiteral("Close"), panBottom);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(97, 20);
    btnExit->setAutoDefault(false);
    auto* bottomLayout = new QHBoxLayout(panBottom);
    bottomLayout->addStretch();
    bottomLayout->addWidget(btnExit);
    bottomLayout->addStretch();
    connect(btnExit, &QPushButton::clicked, this, guarded(this, &TfrmNews::btnExitClick));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter, 1);
    layout->addWidget(panBottom);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmNews::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_filled) {
        m_filled = true;
        FormShow();
    }
}

void TfrmNews::FormShow()
{
    lvwItems->clear();
    // The first rows of the list, as many as a list reply keeps (kMaxNewsEntries).
    const qsizetype count = std::min(m_newsList.size(), News::kMaxNewsEntries);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        // An entry with fewer than three fields still gets its row, with the missing parts empty.
        const QByteArray& entry = m_newsList[i];
        const QByteArray id = News::entryField(entry, 0);
        auto* row = new QTreeWidgetItem;
        row->setText(0, UUtils::ansiToString(News::entryField(entry, 1)));
        row->setText(1, UUtils::ansiToString(News::entryField(entry, 2)));
        row->setText(2, UUtils::ansiToString(id));
        row->setData(2, kIdRole, id);
        rows.append(row);
    }
    lvwItems->addTopLevelItems(rows);
    lvwItems->selectionModel()->clearSelection();
}

bool TfrmNews::GetNewsDetails(const QByteArray& publisherId, const QByteArray& branderCode,
                              const QByteArray& productType, const QByteArray& newsTarget, const QByteArray& newsId,
                              QByteArray& html)
{
    html.clear();
    if (!m_http)
        return false;
    return News::GetNewsDetails(*m_http, publisherId, branderCode, productType, newsTarget, newsId, html);
}

void TfrmNews::lvwItemsChange()
{
    const QList<QTreeWidgetItem*> selected = lvwItems->selectedItems();
    if (selected.isEmpty())
        return;
    const QByteArray newsId = selected.first()->data(2, kIdRole).toByteArray();

    const THttpRequestScope request(m_http, this);
    BusyScope busy(this, request);
    const auto level = News::newsLevel(branding());
    if (!level)
        return;
    QByteArray html;
    const bool ok =
        GetNewsDetails(level->publisherId, branding().BranderCode, level->productType, News::kNewsTarget, newsId, html);
    if (!ok || !request.ownerAlive())
        return;
    prfEditorNews->setHtml(UUtils::ansiToString(html));
    WriteLastNewsId(newsId);
}

void TfrmNews::btnExitClick()
{
    close();
}

void TfrmNews::done(int result)
{
    if (m_http)
        m_http->cancel(this);
    QDialog::done(result);
}
