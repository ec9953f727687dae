#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class QCursor;
class QWebEngineView;

// The HTML view (prfWelcome's page, prfEditorNews): shows one whole HTML document given as text,
// display only.
//
// The document is rendered by the web engine in a renderer process of its own, so a document
// however deep or large never blocks this program's event loop and cannot bring the program
// down. It is served from memory under a scheme of the program's own, not loaded from an address:
// no file is written, no size limit of a data address applies. Scripts and plugins are off;
// nothing is read from the local file system (no file: loads, no pictures from the disk, no
// dropped files); pictures and style sheets from the web load as a browser loads them.
//
// The engine (and its first renderer) starts with the first document, not with the view.
// With a time-out set, a document still loading when it runs out is stopped. A renderer that
// dies leaves the view empty; the next document renders in a new one.
class THtmlView : public QWidget
{
    Q_OBJECT
public:
    explicit THtmlView(QWidget* parent = nullptr);
    ~THtmlView() override;

    // Replaces the whole document by html and returns at once; rendering goes on in the engine.
    void setHtml(const QString& html);
    // The document last given to setHtml, empty before the first and after a renderer died.
    QString html() const { return m_html; }
    bool isLoading() const { return m_loading; }

    // Time-out for document operations in milliseconds; 0 (the default) waits as long as it takes.
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }
    int timeout() const { return m_timeout; }

    // Off (the default): a click on a link changes nothing. On: links to web addresses (http,
    // https) open inside the view; every other address is refused.
    void setFollowLinks(bool follow) { m_followLinks = follow; }
    bool followLinks() const { return m_followLinks; }

    // The cursor over the view, the rendered page included.
    void setViewCursor(const QCursor& cursor);
    void unsetViewCursor();

    // The engine's view, nullptr before the first document.
    QWebEngineView* view() const { return m_view; }

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
    void onLoadFinished(bool ok);
    void onTimeout();
    void onRendererTerminated();

    QWebEngineView* m_view = nullptr; // a child of this view
    QString m_html;
    QString m_address; // where the shown document is served
    QTimer m_timer;
    int m_timeout = 0;
    bool m_followLinks = false;
    bool m_loading = false;
    bool m_hasCursor = false;
    bool m_blankAfterCrash = false; // the empty document shown after a renderer died
    int m_serial = 0;
};
