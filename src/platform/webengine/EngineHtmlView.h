#pragma once

#include "platform/WebEngineInterface.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QCursor;
class QWebEngineView;

// The web engine plugin's HTML view, behind THtmlView (platform/HtmlView.h): shows one whole HTML
// document given as text, display only.
//
// The document is rendered by the web engine in a renderer process of its own, so a document
// however deep or large never blocks this program's event loop and cannot bring the program
// down. It is served from memory under a scheme of the program's own, not loaded from an address:
// no file is written, no size limit of a data address applies. Scripts and plugins are off;
// nothing is read from the local file system (no file: loads, no pictures from the disk, no
// dropped files). Pictures, style sheets and frames from the web load only where the view is
// told so (setLoadsWebContent).
//
// The engine (and its first renderer) starts with the first document, not with the view.
// A document counts as shown once it is loaded and laid out. With a time-out set, a document
// not shown by then is stopped; a renderer that still does not answer (a document whose layout
// never ends) is given up with its view, which stays empty. A renderer that dies leaves the view
// empty too. The next document renders in a new renderer.
class TEngineHtmlView : public QWidget, public IHtmlViewEngine
{
    Q_OBJECT
public:
    explicit TEngineHtmlView(QWidget* parent = nullptr);
    ~TEngineHtmlView() override;

    QWidget* widget() override { return this; }

    // Replaces the whole document by html and returns at once; rendering goes on in the engine.
    void setHtml(const QString& html) override;
    // The document last given to setHtml, empty before the first and after a renderer died.
    QString html() const override { return m_html; }
    bool isLoading() const override { return m_loading; }

    // Time-out for document operations in milliseconds; 0 (the default) waits as long as it takes.
    void setTimeout(int milliseconds) override { m_timeout = milliseconds; }
    int timeout() const { return m_timeout; }

    // Off (the default): the document is shown with nothing from the web (pictures, style sheets,
    // frames). On: these load as a browser loads them. Set before the first document.
    void setLoadsWebContent(bool load) override { m_webContent = load; }
    bool loadsWebContent() const { return m_webContent; }

    // Off (the default): a click on a link changes nothing. On: links (and forms, redirects) to
    // web addresses (http, https) open inside the view; every other address is refused.
    void setFollowLinks(bool follow) override { m_followLinks = follow; }
    bool followLinks() const { return m_followLinks; }

    // The cursor over the view, the rendered page included.
    void setViewCursor(const QCursor& cursor) override;
    void unsetViewCursor() override;

    // The engine's view, nullptr before the first document.
    QWidget* pageView() const override;

signals:
    // A document finished loading (ok false: it failed or was stopped).
    void loadFinished(bool ok);
    // A document was stopped because it ran past the time-out.
    void timedOut();
    // The renderer of the document ended unexpectedly; the view is empty again.
    void rendererDied();

private:
    QWebEngineView* ensureView();
    void load(const QString& html);
    void onEngineFinished(bool ok);
    void askLaidOut();
    void finish(bool ok);
    void onTimeout();
    void discardView();
    void onRendererTerminated();

    QWebEngineView* m_view = nullptr; // a child of this view
    QString m_html;
    QString m_address; // where the shown document is served
    QTimer m_timer;
    int m_timeout = 0;
    bool m_followLinks = false;
    bool m_webContent = false;
    bool m_loading = false;    // from setHtml until the document is loaded and laid out
    bool m_engineDone = false; // the engine reported the load's end
    bool m_loadOk = false;
    bool m_stopping = false; // past the time-out, waiting for the renderer to answer
    bool m_hasCursor = false;
    bool m_blankAfterCrash = false; // the empty document shown after a renderer died
    int m_serial = 0;
};
