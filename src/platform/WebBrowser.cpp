#include "platform/WebBrowser.h"

#include "platform/WebEngineLoader.h"

#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>

TWebBrowser::TWebBrowser(QWidget* container) : QObject(container), m_container(container) {}

TWebBrowser::~TWebBrowser() = default;

QWidget* TWebBrowser::view() const
{
    return m_view;
}

IBrowserViewEngine* TWebBrowser::engine() const
{
    return m_view ? m_engine : nullptr;
}

IBrowserViewEngine* TWebBrowser::ensureEngine()
{
    if (engine() || !m_container)
        return engine();

    // The first page of the pane: the plugin loads now (or says once why it cannot).
    IWebEngineFactory* factory = WebEngine::factory();
    if (!factory)
        return nullptr;
    QPointer<TWebBrowser> self(this);
    IBrowserViewEngine::Events events;
    events.loadStarted = [self] {
        if (!self)
            return;
        self->m_busy = true;
        emit self->loadStarted();
    };
    events.loadFinished = [self](bool ok) {
        if (!self)
            return;
        self->m_busy = false;
        emit self->loadFinished(ok);
    };
    m_engine = factory->createBrowserView(m_container, std::move(events));
    QWidget* view = m_engine->widget();

    QLayout* layout = m_container->layout();
    if (!layout) {
        layout = new QVBoxLayout(m_container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    layout->addWidget(view);
    view->show();

    m_view = view;
    return m_engine;
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
    if (IBrowserViewEngine* e = ensureEngine())
        e->load(resolve(address));
}

bool TWebBrowser::goBack()
{
    IBrowserViewEngine* e = engine();
    return e && e->goBack();
}

bool TWebBrowser::goForward()
{
    IBrowserViewEngine* e = engine();
    return e && e->goForward();
}

bool TWebBrowser::refresh()
{
    IBrowserViewEngine* e = engine();
    if (!e)
        return false;
    e->reload();
    return true;
}

void TWebBrowser::stop()
{
    if (IBrowserViewEngine* e = engine())
        e->stop();
}

void TWebBrowser::clear()
{
    if (IBrowserViewEngine* e = engine())
        e->clear();
}

bool TWebBrowser::paste()
{
    IBrowserViewEngine* e = engine();
    if (!e)
        return false;
    e->paste();
    return true;
}

QUrl TWebBrowser::url() const
{
    IBrowserViewEngine* e = engine();
    return e ? e->url() : QUrl();
}

bool TWebBrowser::installScript(const QString& name, const QString& script, const QString& bridgeName,
                                IBrowserViewEngine::ScriptBridge bridge)
{
    IBrowserViewEngine* e = engine();
    return e && e->installScript(name, script, bridgeName, std::move(bridge));
}

bool TWebBrowser::runScript(const QString& code, std::function<void(const QVariant&)> result)
{
    IBrowserViewEngine* e = engine();
    if (!e)
        return false;
    e->runScript(code, std::move(result));
    return true;
}
