#include "platform/webengine/EngineHtmlView.h"

#include <QBuffer>
#include <QCursor>
#include <QHash>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace {

// Documents are served from memory under this scheme. It must be known before the web engine
// starts, so it is registered while the plugin loads: only the plugin starts the engine.
const QByteArray kScheme = QByteArrayLiteral("quillet-html");

// After a time-out, how long the renderer may take to answer before it is given up.
constexpr int kStopGrace = 2000;

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

// Whatever a document asks for, only the program's own documents, inline data and (where the
// view loads web content) web addresses are fetched: never a local file.
class RequestFilter : public QWebEngineUrlRequestInterceptor
{
public:
    RequestFilter(bool web, QObject* parent) : QWebEngineUrlRequestInterceptor(parent), m_web(web) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        const bool allowed =
            scheme == QLatin1String(kScheme) || scheme == QLatin1String("data") || (m_web && isWebScheme(scheme));
        if (!allowed)
            info.block(true);
    }

private:
    const bool m_web;
};

// The shared server and filters, owned by the profile that the views use.
struct Engine
{
    DocumentServer* server = nullptr;
    RequestFilter* webFilter = nullptr;
    RequestFilter* localFilter = nullptr;
};

Engine& engine()
{
    static Engine e;
    if (!e.server) {
        QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
        e.server = new DocumentServer(profile);
        e.webFilter = new RequestFilter(true, profile);
        e.localFilter = new RequestFilter(false, profile);
        profile->installUrlSchemeHandler(kScheme, e.server);
        QObject::connect(profile, &QObject::destroyed, [] { engine() = {}; });
    }
    return e;
}

// Accepts the view's own documents and, where the view follows links, web addresses.
class HtmlPage : public QWebEnginePage
{
public:
    HtmlPage(const TEngineHtmlView* owner, QObject* parent)
        : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent), m_owner(owner)
    {
    }

    QUrl expected; // the document the view is loading

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (url.scheme() == QLatin1String(kScheme))
            return isMainFrame && url == expected;
        if (!isWebScheme(url.scheme()))
            return false;
        if (!isMainFrame)
            return m_owner->loadsWebContent(); // a frame of the document, shown as a browser shows it
        // A link, a form, a redirect on the way: the page goes on as in a browser.
        return m_owner->followLinks();
    }

private:
    const TEngineHtmlView* m_owner;
};

} // namespace

TEngineHtmlView::TEngineHtmlView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TEngineHtmlView::onTimeout);
}

TEngineHtmlView::~TEngineHtmlView()
{
    if (!m_address.isEmpty() && engine().server)
        engine().server->remove(QUrl(m_address).path());
}

QWebEngineView* TEngineHtmlView::ensureView()
{
    if (m_view)
        return m_view;
    Engine& e = engine();
    auto* view = new QWebEngineView(this);
    auto* page = new HtmlPage(this, view);
    page->setUrlRequestInterceptor(m_webContent ? e.webFilter : e.localFilter);
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
            onEngineFinished(info.status() == QWebEngineLoadingInfo::LoadSucceededStatus);
    });
    // Handled once the engine has finished reporting it.
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    QMetaObject::invokeMethod(this, &TEngineHtmlView::onRendererTerminated, Qt::QueuedConnection);
            });

    layout()->addWidget(view);
    m_view = view;
    if (m_hasCursor)
        setViewCursor(cursor());
    return view;
}

void TEngineHtmlView::setHtml(const QString& html)
{
    m_html = html;
    m_blankAfterCrash = false;
    load(html);
}

void TEngineHtmlView::load(const QString& html)
{
    // The document before is still in the works, and its renderer may be busy with it for long:
    // the new one starts in a fresh view.
    if (m_loading)
        discardView();
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
    m_engineDone = false;
    m_stopping = false;
    if (m_timeout > 0)
        m_timer.start(m_timeout);
    view->load(address);
}

void TEngineHtmlView::onEngineFinished(bool ok)
{
    if (!m_loading || m_engineDone)
        return;
    m_engineDone = true;
    m_loadOk = ok;
    askLaidOut();
}

void TEngineHtmlView::askLaidOut()
{
    // The engine reports a document loaded before it is laid out; the renderer answers this
    // question only once it is.
    QPointer<TEngineHtmlView> self(this);
    const int serial = m_serial;
    m_view->page()->runJavaScript(
        QStringLiteral("document.documentElement ? document.documentElement.offsetHeight : 0"),
        QWebEngineScript::ApplicationWorld, [self, serial](const QVariant&) {
            if (self && self->m_serial == serial && self->m_loading)
                self->finish(self->m_loadOk && !self->m_stopping);
        });
}

void TEngineHtmlView::finish(bool ok)
{
    if (!m_loading)
        return;
    m_loading = false;
    m_stopping = false;
    m_timer.stop();
    emit loadFinished(ok);
}

void TEngineHtmlView::onTimeout()
{
    if (!m_loading || !m_view)
        return;
    if (!m_stopping) {
        // Stop what still loads; what is there stays shown, once the renderer has laid it out.
        m_stopping = true;
        m_view->stop();
        if (m_engineDone)
            askLaidOut(); // a second question behind the first: whichever answer comes ends it
        m_timer.start(kStopGrace);
        emit timedOut();
        return;
    }
    // The renderer does not answer: it goes with its view, and the view stays empty.
    discardView();
    m_html.clear();
    finish(false);
}

void TEngineHtmlView::discardView()
{
    if (!m_view)
        return;
    m_view->page()->disconnect(this);
    m_view->hide();
    m_view->deleteLater();
    m_view = nullptr;
    if (!m_address.isEmpty() && engine().server)
        engine().server->remove(QUrl(m_address).path());
    m_address.clear();
}

void TEngineHtmlView::onRendererTerminated()
{
    m_html.clear();
    const bool wasLoading = m_loading;
    m_loading = false;
    m_timer.stop();
    if (wasLoading)
        emit loadFinished(false);
    // An empty document, in a new renderer; but only once, should even that one's renderer die.
    if (!m_blankAfterCrash) {
        m_blankAfterCrash = true;
        load(QString());
    }
    emit rendererDied();
}

QWidget* TEngineHtmlView::pageView() const
{
    return m_view;
}

void TEngineHtmlView::setViewCursor(const QCursor& cursor)
{
    m_hasCursor = true;
    setCursor(cursor);
    if (m_view) {
        m_view->setCursor(cursor);
        if (QWidget* surface = m_view->focusProxy())
            surface->setCursor(cursor);
    }
}

void TEngineHtmlView::unsetViewCursor()
{
    m_hasCursor = false;
    unsetCursor();
    if (m_view) {
        m_view->unsetCursor();
        if (QWidget* surface = m_view->focusProxy())
            surface->unsetCursor();
    }
}
