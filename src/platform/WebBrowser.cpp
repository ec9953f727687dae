#include "platform/WebBrowser.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWidget>

TWebBrowser::TWebBrowser(QWidget* container) : QObject(container), m_container(container) {}

TWebBrowser::~TWebBrowser() = default;

QWebEngineView* TWebBrowser::view() const
{
    return m_view;
}

QWebEngineView* TWebBrowser::ensureView()
{
    if (m_view || !m_container)
        return m_view;

    // Creating the view starts the web engine; this is the first moment it is needed.
    auto* view = new QWebEngineView(m_container);
    view->setObjectName(QStringLiteral("webView"));

    QWebEngineSettings* settings = view->settings();
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    // Background sounds and videos play without a click, as pages expect of this pane.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // A page may not open windows on its own (pop-up advertising); clicks still can.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);

    connect(view, &QWebEngineView::loadStarted, this, [this] {
        m_busy = true;
        emit loadStarted();
    });
    connect(view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_busy = false;
        emit loadFinished(ok);
    });
    connect(view->page(), &QWebEnginePage::newWindowRequested, this, &TWebBrowser::onNewWindowRequested);

    QLayout* layout = m_container->layout();
    if (!layout) {
        layout = new QVBoxLayout(m_container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    layout->addWidget(view);
    view->show();

    m_view = view;
    return view;
}

void TWebBrowser::onNewWindowRequested(QWebEngineNewWindowRequest& request)
{
    // There is one pane and no second window: what the user asked to open in a new window is shown
    // here. The request itself stays unhandled, so the engine opens no window. The load is queued so
    // that it does not start inside the engine's own callback.
    if (!request.isUserInitiated())
        return;
    const QUrl url = request.requestedUrl();
    if (url.isEmpty() || !url.isValid() || url == QUrl(QStringLiteral("about:blank")))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, url] {
            if (m_view)
                m_view->load(url);
        },
        Qt::QueuedConnection);
}

QUrl TWebBrowser::resolve(const QString& address)
{
    // An address with a scheme goes as it is. One without ("www.site.com", "127.0.0.1:8080/x",
    // common in stored records) is resolved the way a browser's address box does, instead of
    // loading as a relative address, which shows a blank page.
    const QUrl url(address);
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
                                        QStringLiteral("ftp"),  QStringLiteral("about"), QStringLiteral("data")};
    if (!url.isRelative() && schemes.contains(url.scheme(), Qt::CaseInsensitive))
        return url;
    const QUrl guessed = QUrl::fromUserInput(address);
    return guessed.isValid() ? guessed : url;
}

void TWebBrowser::navigate(const QString& address)
{
    if (QWebEngineView* view = ensureView())
        view->load(resolve(address));
}

bool TWebBrowser::goBack()
{
    if (!m_view || !m_view->history()->canGoBack())
        return false;
    m_view->back();
    return true;
}

bool TWebBrowser::goForward()
{
    if (!m_view || !m_view->history()->canGoForward())
        return false;
    m_view->forward();
    return true;
}

bool TWebBrowser::refresh()
{
    if (!m_view)
        return false;
    m_view->reload();
    return true;
}

void TWebBrowser::stop()
{
    if (m_view)
        m_view->stop();
}

void TWebBrowser::clear()
{
    if (!m_view)
        return;
    m_view->stop();
    m_view->setHtml(QString());
    // The history keeps its current entry: drop the rest now, and again once the empty page is in.
    m_view->history()->clear();
    QPointer<QWebEngineView> view = m_view;
    auto* once = new QObject(m_view);
    connect(m_view, &QWebEngineView::loadFinished, once, [view, once] {
        if (view)
            view->history()->clear();
        once->deleteLater();
    });
}

bool TWebBrowser::paste()
{
    if (!m_view)
        return false;
    m_view->page()->triggerAction(QWebEnginePage::Paste);
    return true;
}
