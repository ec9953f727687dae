#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QWebEngineNewWindowRequest;
class QWebEngineView;
class QWidget;

// The embedded web browser control (EmbeddedWB1): a QWebEngineView hosted inside a container widget.
//
// The view, and with it the whole web engine, is created on the first navigation only, so that the
// window opens fast. Until then the container shows nothing, and every command other than navigate()
// does nothing and reports false.
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

    // The view, or nullptr before the first navigation (tests and the window's own use).
    QWebEngineView* view() const;

signals:
    // Re-emitted from the view, so that callers need not know the engine.
    void loadStarted();
    void loadFinished(bool ok);

private:
    QWebEngineView* ensureView();
    void onNewWindowRequested(QWebEngineNewWindowRequest& request);

    QPointer<QWidget> m_container;
    QPointer<QWebEngineView> m_view;
    bool m_busy = false;
};
