#include "platform/webengine/EngineBrowserView.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

// Scripts of the program run in a world of their own: the page's scripts cannot see their
// variables (the page's elements are shared).
constexpr quint32 kWorld = QWebEngineScript::ApplicationWorld;

// The object a script reaches through the web channel, in the program's own script world only:
// the page's scripts have no transport to it.
class TScriptBridge : public QObject
{
    Q_OBJECT
public:
    TScriptBridge(IBrowserViewEngine::ScriptBridge bridge, QObject* parent)
        : QObject(parent), m_bridge(std::move(bridge))
    {
    }

    Q_INVOKABLE QString take(const QString& token, const QString& frame)
    {
        return m_bridge.take ? m_bridge.take(token, frame) : QStringLiteral("{}");
    }
    Q_INVOKABLE void report(const QString& token, const QString& json)
    {
        if (m_bridge.report)
            m_bridge.report(token, json);
    }

private:
    IBrowserViewEngine::ScriptBridge m_bridge;
};

} // namespace

TEngineBrowserView::TEngineBrowserView(QWidget* parent, IBrowserViewEngine::Events events) : QWebEngineView(parent)
{
    // Creating the view starts the web engine; this is the first moment it is needed.
    setObjectName(QStringLiteral("webView"));

    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    // Background sounds and videos play without a click, as pages expect of this pane.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // A page may not open windows on its own (pop-up advertising); clicks still can.
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);

    if (events.loadStarted)
        connect(this, &QWebEngineView::loadStarted, this, events.loadStarted);
    if (events.loadFinished)
        connect(this, &QWebEngineView::loadFinished, this, events.loadFinished);
    connect(page(), &QWebEnginePage::newWindowRequested, this, &TEngineBrowserView::onNewWindowRequested);
}

TEngineBrowserView::~TEngineBrowserView() = default;

void TEngineBrowserView::onNewWindowRequested(QWebEngineNewWindowRequest& request)
{
    // There is one pane and no second window: what the user asked to open in a new window is shown
    // here. The request itself stays unhandled, so the engine opens no window. The load is queued so
    // that it does not start inside the engine's own callback.
    if (!request.isUserInitiated())
        return;
    const QUrl address = request.requestedUrl();
    if (address.isEmpty() || !address.isValid() || address == QUrl(QStringLiteral("about:blank")))
        return;
    QMetaObject::invokeMethod(
        this, [this, address] { QWebEngineView::load(address); }, Qt::QueuedConnection);
}

void TEngineBrowserView::load(const QUrl& url)
{
    QWebEngineView::load(url);
}

bool TEngineBrowserView::goBack()
{
    if (!history()->canGoBack())
        return false;
    back();
    return true;
}

bool TEngineBrowserView::goForward()
{
    if (!history()->canGoForward())
        return false;
    forward();
    return true;
}

void TEngineBrowserView::reload()
{
    QWebEngineView::reload();
}

void TEngineBrowserView::stop()
{
    QWebEngineView::stop();
}

void TEngineBrowserView::clear()
{
    QWebEngineView::stop();
    setHtml(QString());
    // The history keeps its current entry: drop the rest now, and again once the empty page is in.
    history()->clear();
    auto* once = new QObject(this);
    connect(this, &QWebEngineView::loadFinished, once, [this, once] {
        history()->clear();
        once->deleteLater();
    });
}

void TEngineBrowserView::paste()
{
    page()->triggerAction(QWebEnginePage::Paste);
}

QUrl TEngineBrowserView::url() const
{
    return QWebEngineView::url();
}

bool TEngineBrowserView::installScript(const QString& name, const QString& script, const QString& bridgeName,
                                       ScriptBridge bridge)
{
    QWebEnginePage* p = page();
    QWebEngineScriptCollection& scripts = p->scripts();
    if (!scripts.find(name).isEmpty())
        return false;

    // The web channel's client, in the program's world of the top frame (where the channel's
    // transport is), then the script in every frame, frames added later included.
    QWebEngineScript channel;
    channel.setName(name + QStringLiteral("-channel"));
    QFile client(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (client.open(QIODevice::ReadOnly))
        channel.setSourceCode(QString::fromUtf8(client.readAll()));
    channel.setInjectionPoint(QWebEngineScript::DocumentCreation);
    channel.setWorldId(kWorld);
    channel.setRunsOnSubFrames(false);
    scripts.insert(channel);

    QWebEngineScript agent;
    agent.setName(name);
    agent.setSourceCode(script);
    agent.setInjectionPoint(QWebEngineScript::DocumentReady);
    agent.setWorldId(kWorld);
    agent.setRunsOnSubFrames(true);
    scripts.insert(agent);

    auto* webChannel = new QWebChannel(p);
    webChannel->registerObject(bridgeName, new TScriptBridge(std::move(bridge), webChannel));
    p->setWebChannel(webChannel, kWorld);
    return true;
}

void TEngineBrowserView::runScript(const QString& code, std::function<void(const QVariant&)> result)
{
    if (result)
        page()->runJavaScript(code, kWorld, std::move(result));
    else
        page()->runJavaScript(code, kWorld);
}

#include "EngineBrowserView.moc"
