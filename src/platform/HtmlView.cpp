#include "platform/HtmlView.h"

#include <QBuffer>
#include <QCursor>
#include <QHash>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace {

// Documents are served from memory under this scheme. It must be known before the web engine
// starts, so it is registered while the program loads.
const QByteArray kScheme = QByteArrayLiteral("quillet-html");

const bool g_schemeRegistered = [] {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
    return true;
}();

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Serves every view's current document, by the path of its address.
class DocumentServer : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void put(const QString& path, QByteArray document) { m_documents.insert(path, std::move(document)); }
    void remove(const QString& path) { m_documents.remove(path); }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const auto found = m_documents.constFind(job->requestUrl().path());
        if (found == m_documents.constEnd()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* body = new QBuffer(job);
        body->setData(*found);
        body->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), body);
    }

private:
    QHash<QString, QByteArray> m_documents;
};

// Whatever a document asks for, only web addresses, inline data and the program's own documents
// are fetched: never a local file.
class RequestFilter : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (!isWebScheme(scheme) && scheme != QLatin1String("data") && scheme != QLatin1String(kScheme))
            info.block(true);
    }
};

// The shared server and filter, owned by the profile that the views use.
struct Engine
{
    DocumentServer* server = nullptr;
    RequestFilter* filter = nullptr;
};

Engine& engine()
{
    static Engine e;
    if (!e.server) {
        QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
        e.server = new DocumentServer(profile);
        e.filter = new RequestFilter(profile);
        profile->installUrlSchemeHandler(kScheme, e.server);
        QObject::connect(profile, &QObject::destroyed, [] { engine() = {}; });
    }
    return e;
}

// Accepts the view's own documents, and, when the view follows links, clicks on web links.
class HtmlPage : public QWebEnginePage
{
public:
    HtmlPage(const THtmlView* owner, QObject* parent)
        : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent), m_owner(owner)
    {
    }

    QUrl expected; // the document the view is loading

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (url.scheme() == QLatin1String(kScheme))
            return isMainFrame && url == expected;
        if (!isWebScheme(url.scheme()))
            return false;
        if (!isMainFrame)
            return true; // a frame of the document, shown as a browser shows it
        return type == NavigationTypeLinkClicked && m_owner->followLinks();
    }

private:
    const THtmlView* m_owner;
};

} // namespace

THtmlView::THtmlView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &THtmlView::onTimeout);
}

THtmlView::~THtmlView()
{
    if (!m_address.isEmpty() && engine().server)
        engine().server->remove(QUrl(m_address).path());
}

QWebEngineView* THtmlView::ensureView()
{
    if (m_view)
        return m_view;
    Engine& e = engine();
    auto* view = new QWebEngineView(this);
    auto* page = new HtmlPage(this, view);
    page->setUrlRequestInterceptor(e.filter);
    view->setPage(page);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setAcceptDrops(false);

    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);

    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.url().toString() == m_address && info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
            onLoadFinished(info.status() == QWebEngineLoadingInfo::LoadSucceededStatus);
    });
    // Handled once the engine has finished reporting it.
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    QMetaObject::invokeMethod(this, &THtmlView::onRendererTerminated, Qt::QueuedConnection);
            });

    layout()->addWidget(view);
    m_view = view;
    if (m_hasCursor)
        setViewCursor(cursor());
    return view;
}

void THtmlView::setHtml(const QString& html)
{
    m_html = html;
    m_blankAfterCrash = false;
    load(html);
}

void THtmlView::load(const QString& html)
{
    QWebEngineView* view = ensureView();
    Engine& e = engine();
    if (!e.server)
        return;
    if (!m_address.isEmpty())
        e.server->remove(QUrl(m_address).path());
    // Every document has an address of its own, so that a late report of the one before is
    // never taken for this one's.
    const QString path = QStringLiteral("%1/%2").arg(quintptr(this), 0, 16).arg(++m_serial);
    // The text is served as UTF-8 with a byte order mark, which the engine honours before any
    // character set the document itself names.
    e.server->put(path, "\xEF\xBB\xBF" + html.toUtf8());
    m_address = QString::fromLatin1(kScheme) + QLatin1Char(':') + path;
    const QUrl address(m_address);
    static_cast<HtmlPage*>(view->page())->expected = address;
    m_loading = true;
    if (m_timeout > 0)
        m_timer.start(m_timeout);
    view->load(address);
}

void THtmlView::onLoadFinished(bool ok)
{
    if (!m_loading)
        return;
    m_loading = false;
    m_timer.stop();
    emit loadFinished(ok);
}

void THtmlView::onTimeout()
{
    if (!m_loading || !m_view)
        return;
    m_view->stop();
    if (m_loading) // the engine did not report the stop: the document counts as ended all the same
        onLoadFinished(false);
    emit timedOut();
}

void THtmlView::onRendererTerminated()
{
    m_html.clear();
    m_timer.stop();
    const bool wasLoading = m_loading;
    m_loading = false;
    // An empty document, in a new renderer; but only once, should even that one's renderer die.
    if (!m_blankAfterCrash) {
        m_blankAfterCrash = true;
        load(QString());
    }
    if (wasLoading)
        emit loadFinished(false);
    emit rendererDied();
}

void THtmlView::setViewCursor(const QCursor& cursor)
{
    m_hasCursor = true;
    setCursor(cursor);
    if (m_view) {
        m_view->setCursor(cursor);
        if (QWidget* surface = m_view->focusProxy())
            surface->setCursor(cursor);
    }
}

void THtmlView::unsetViewCursor()
{
    m_hasCursor = false;
    unsetCursor();
    if (m_view) {
        m_view->unsetCursor();
        if (QWidget* surface = m_view->focusProxy())
            surface->unsetCursor();
    }
}
