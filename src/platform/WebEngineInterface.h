#pragma once

#include <QString>
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

// What the plugin makes. The browser pane's control is to follow (createBrowserView) with the
// same pattern: an interface of the calls the pane makes, and events for what it needs to hear.
class IWebEngineFactory
{
public:
    virtual ~IWebEngineFactory() = default;
    // A new HTML view, a child of parent.
    virtual IHtmlViewEngine* createHtmlView(QWidget* parent, IHtmlViewEngine::Events events) = 0;
};

#define QUILLET_WEBENGINE_FACTORY_IID "org.quillet.WebEngineFactory/1"
Q_DECLARE_INTERFACE(IWebEngineFactory, QUILLET_WEBENGINE_FACTORY_IID)
