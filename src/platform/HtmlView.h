#pragma once

#include <QString>
#include <QWidget>

class IHtmlViewEngine;

// The HTML view (prfWelcome's page, prfEditorNews): shows one whole HTML document given as text,
// display only.
//
// The document is rendered by the web engine in a renderer process of its own, so a document
// however deep or large never blocks this program's event loop and cannot bring the program
// down. Scripts and plugins are off; nothing is read from the local file system. Pictures, style
// sheets and frames from the web load only where the view is told so (setLoadsWebContent).
//
// The engine lives in the program's web engine plugin (WebEngineLoader.h), loaded with the first
// document that any view is given; the engine and its first renderer start then too. Without the
// plugin the view stays empty (the loader tells the user once) and each document ends at once as
// failed. A document counts as shown once it is loaded and laid out. With a time-out set, a
// document not shown by then is stopped; a renderer that still does not answer (a document whose
// layout never ends) is given up with its view, which stays empty. A renderer that dies leaves the
// view empty too. The next document renders in a new renderer.
class THtmlView : public QWidget
{
    Q_OBJECT
public:
    explicit THtmlView(QWidget* parent = nullptr);
    ~THtmlView() override;

    // Replaces the whole document by html and returns at once; rendering goes on in the engine.
    void setHtml(const QString& html);
    // The document last given to setHtml, empty before the first and after a renderer died.
    QString html() const;
    bool isLoading() const;

    // Time-out for document operations in milliseconds; 0 (the default) waits as long as it takes.
    void setTimeout(int milliseconds);
    int timeout() const { return m_timeout; }

    // Off (the default): the document is shown with nothing from the web (pictures, style sheets,
    // frames). On: these load as a browser loads them. Set before the first document.
    void setLoadsWebContent(bool load);
    bool loadsWebContent() const { return m_webContent; }

    // Off (the default): a click on a link changes nothing. On: links (and forms, redirects) to
    // web addresses (http, https) open inside the view; every other address is refused.
    void setFollowLinks(bool follow);
    bool followLinks() const { return m_followLinks; }

    // The cursor over the view, the rendered page included.
    void setViewCursor(const QCursor& cursor);
    void unsetViewCursor();

    // The engine's page view (a QWebEngineView), nullptr before the first document and without
    // the plugin.
    QWidget* view() const;

signals:
    // A document finished loading (ok false: it failed or was stopped).
    void loadFinished(bool ok);
    // A document was stopped because it ran past the time-out.
    void timedOut();
    // The renderer of the document ended unexpectedly; the view is empty again.
    void rendererDied();

private:
    IHtmlViewEngine* engine(); // made with the first document; nullptr without the plugin

    IHtmlViewEngine* m_engine = nullptr; // its widget is a child of this view
    QString m_html;                      // without an engine
    int m_timeout = 0;
    bool m_followLinks = false;
    bool m_webContent = false;
    bool m_hasCursor = false;
};
