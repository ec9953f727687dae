#pragma once

#include "platform/WebEngineInterface.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The embedded web browser control (EmbeddedWB1): a web page view hosted inside a container widget.
//
// The view lives in the web engine plugin (WebEngineLoader.h). It, and with it the plugin and the
// whole web engine, is created on the first navigation only, so that the window opens fast. Until
// then the container shows nothing, and every command other than navigate() does nothing and
// reports false. Without the plugin the first navigation tells the user once (the loader's
// message); the pane then stays empty and every command does nothing.
//
// Loading runs inside the engine; every call returns at once. busy() follows the engine's
// loadStarted/loadFinished signals. History lasts for the run (the default profile keeps nothing on
// disk). Pop-ups a page opens by itself are blocked; a new window the user asks for (a link with a
// target, a click handler calling window.open) opens in this same view. Downloads are declined.
class TWebBrowser : public QObject
{
    Q_OBJECT
public:
    // The adapter becomes a child of container and fills it once the view exists.
    explicit TWebBrowser(QWidget* container);
    ~TWebBrowser() override;

    // True while the control is loading a page.
    bool busy() const { return m_busy; }

    // Starts loading address as given (nothing trimmed), and returns at once. An address without a
    // scheme is resolved as a browser's address box would (see resolve).
    void navigate(const QString& address);
    // The address a navigation loads: address itself when it has a web scheme, else what a
    // browser's address box makes of it ("www.site.com" -> "http://www.site.com").
    static QUrl resolve(const QString& address);

    // One step in the history. False (and nothing done) when there is no such step.
    bool goBack();
    bool goForward();
    // Loads the current page again. False when nothing has been loaded yet.
    bool refresh();
    // Cancels the loading under way; harmless when nothing loads.
    void stop();
    // Shows an empty page and drops the history: nothing of the pages seen stays to go back to.
    void clear();
    // The page's own Paste action: inserts the clipboard's text into the page's focused element.
    // False when there is no page yet.
    bool paste();

    // The engine's page view (a QWebEngineView), or nullptr before the first navigation and
    // without the plugin (tests and the window's own use).
    QWidget* view() const;

    // For the login agent (LoginAgent.h): the page's address, and scripts in the program's own
    // script world (IBrowserViewEngine). Without a view: an empty address, false, nothing run.
    QUrl url() const;
    bool installScript(const QString& name, const QString& script, const QString& bridgeName,
                       IBrowserViewEngine::ScriptBridge bridge);
    bool runScript(const QString& code, std::function<void(const QVariant&)> result = {});

signals:
    // Re-emitted from the view, so that callers need not know the engine.
    void loadStarted();
    void loadFinished(bool ok);

private:
    IBrowserViewEngine* engine() const; // nullptr before the first navigation, or once the view is gone
    IBrowserViewEngine* ensureEngine();

    QPointer<QWidget> m_container;
    IBrowserViewEngine* m_engine = nullptr;
    QPointer<QWidget> m_view; // m_engine's widget, a child of m_container
    bool m_busy = false;
};
