#include "platform/HtmlView.h"

#include "platform/WebEngineInterface.h"
#include "platform/WebEngineLoader.h"

#include <QCursor>
#include <QPointer>
#include <QVBoxLayout>

THtmlView::THtmlView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

THtmlView::~THtmlView()
{
    // The engine's view goes first, while this view is still whole for what it may report.
    delete m_engine;
}

IHtmlViewEngine* THtmlView::engine()
{
    if (m_engine)
        return m_engine;
    IWebEngineFactory* factory = WebEngine::factory();
    if (!factory)
        return nullptr;
    QPointer<THtmlView> self(this);
    IHtmlViewEngine::Events events;
    events.loadFinished = [self](bool ok) {
        if (self)
            emit self->loadFinished(ok);
    };
    events.timedOut = [self] {
        if (self)
            emit self->timedOut();
    };
    events.rendererDied = [self] {
        if (self)
            emit self->rendererDied();
    };
    m_engine = factory->createHtmlView(this, std::move(events));
    m_engine->setTimeout(m_timeout);
    m_engine->setLoadsWebContent(m_webContent);
    m_engine->setFollowLinks(m_followLinks);
    if (m_hasCursor)
        m_engine->setViewCursor(cursor());
    layout()->addWidget(m_engine->widget());
    return m_engine;
}

void THtmlView::setHtml(const QString& html)
{
    if (IHtmlViewEngine* e = engine()) {
        e->setHtml(html);
        return;
    }
    // Nothing to render it with: the document ends as failed, after the caller has gone on as
    // with a document being loaded.
    m_html = html;
    QMetaObject::invokeMethod(
        this, [this] { emit loadFinished(false); }, Qt::QueuedConnection);
}

QString THtmlView::html() const
{
    return m_engine ? m_engine->html() : m_html;
}

bool THtmlView::isLoading() const
{
    return m_engine && m_engine->isLoading();
}

void THtmlView::setTimeout(int milliseconds)
{
    m_timeout = milliseconds;
    if (m_engine)
        m_engine->setTimeout(milliseconds);
}

void THtmlView::setLoadsWebContent(bool load)
{
    m_webContent = load;
    if (m_engine)
        m_engine->setLoadsWebContent(load);
}

void THtmlView::setFollowLinks(bool follow)
{
    m_followLinks = follow;
    if (m_engine)
        m_engine->setFollowLinks(follow);
}

void THtmlView::setViewCursor(const QCursor& cursor)
{
    m_hasCursor = true;
    setCursor(cursor);
    if (m_engine)
        m_engine->setViewCursor(cursor);
}

void THtmlView::unsetViewCursor()
{
    m_hasCursor = false;
    unsetCursor();
    if (m_engine)
        m_engine->unsetViewCursor();
}

QWidget* THtmlView::view() const
{
    return m_engine ? m_engine->pageView() : nullptr;
}
