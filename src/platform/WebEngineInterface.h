#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QtPlugin>

#include <functional>

class QCursor;
class QWidget;

// The parts of the program that need the web engine live in a plugin of the program's own,
// beside the executable (WebEngineLoader.h), loaded the first time a page is shown: a user who
// never opens one does not pay for the engine at every start. The program reaches the plugin only
// through these interfaces, which name no type of the engine.

// The engine's side of an HTML view (THtmlView, HtmlView.h): one whole HTML document given as
// text, display only. The view is a widget; its parent owns it.
class IHtmlViewEngine
{
public:
    // Reports of the view; each may be empty.
    struct Events
    {
        std::function<void(bool ok)> loadFinished; // a document is loaded and laid out, or failed
        std::function<void()> timedOut;            // a document was stopped past the time-out
        std::function<void()> rendererDied;        // the renderer ended; the view is empty again
    };

    virtual ~IHtmlViewEngine() = default;

    virtual QWidget* widget() = 0;
    virtual void setHtml(const QString& html) = 0;
    virtual QString html() const = 0;
    virtual bool isLoading() const = 0;
    virtual void setTimeout(int milliseconds) = 0;
    virtual void setLoadsWebContent(bool load) = 0; // before the first document
    virtual void setFollowLinks(bool follow) = 0;
    virtual void setViewCursor(const QCursor& cursor) = 0;
    virtual void unsetViewCursor() = 0;
    // The engine's page view inside widget(), nullptr before the first document.
    virtual QWidget* pageView() const = 0;
};

// The engine's side of the browser pane (TWebBrowser, WebBrowser.h): a web page view that loads
// addresses, with its history for the run. The view is a widget; its parent owns it.
class IBrowserViewEngine
{
public:
    // Reports of the view; each may be empty.
    struct Events
    {
        std::function<void()> loadStarted;
        std::function<void(bool ok)> loadFinished;
    };
    // What a script installed with installScript reaches through the web channel, as two calls of
    // the object it is given (see LoginAgent.js): take(token, frame) returns a text,
    // report(token, json).
    struct ScriptBridge
    {
        std::function<QString(const QString& token, const QString& frame)> take;
        std::function<void(const QString& token, const QString& json)> report;
    };

    virtual ~IBrowserViewEngine() = default;

    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    // One step in the history. False (and nothing done) when there is no such step.
    virtual bool goBack() = 0;
    virtual bool goForward() = 0;
    virtual void reload() = 0;
    virtual void stop() = 0;
    // Shows an empty page and drops the history.
    virtual void clear() = 0;
    // The page's own Paste action into its focused element.
    virtual void paste() = 0;
    // The address of the document shown.
    virtual QUrl url() const = 0;

    // Installs script in the program's own script world of every frame, frames added later
    // included, and the web channel's client in that world of the top frame, where bridge is
    // reachable as bridgeName. Once per view: false when a script of that name is there already.
    virtual bool installScript(const QString& name, const QString& script, const QString& bridgeName,
                               ScriptBridge bridge) = 0;
    // Runs code in the program's own script world of the top frame; result gets its value (only
    // JSON-like values come back). result may be called after the page changed, or never.
    virtual void runScript(const QString& code, std::function<void(const QVariant&)> result) = 0;
};

// What the plugin makes.
class IWebEngineFactory
{
public:
    virtual ~IWebEngineFactory() = default;
    // A new HTML view, a child of parent.
    virtual IHtmlViewEngine* createHtmlView(QWidget* parent, IHtmlViewEngine::Events events) = 0;
    // A new browser view, a child of parent (not yet in a layout).
    virtual IBrowserViewEngine* createBrowserView(QWidget* parent, IBrowserViewEngine::Events events) = 0;
};

#define QUILLET_WEBENGINE_FACTORY_IID "org.quillet.WebEngineFactory/2"
Q_DECLARE_INTERFACE(IWebEngineFactory, QUILLET_WEBENGINE_FACTORY_IID)
