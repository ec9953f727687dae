// The web engine plugin: everything of the program that links QtWebEngine. Loaded by
// WebEngine::factory() (platform/WebEngineLoader.h) the first time a page is shown.
#include "platform/WebEngineInterface.h"
#include "platform/webengine/EngineBrowserView.h"
#include "platform/webengine/EngineHtmlView.h"

#include <QObject>

class TWebEnginePlugin : public QObject, public IWebEngineFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUILLET_WEBENGINE_FACTORY_IID)
    Q_INTERFACES(IWebEngineFactory)
public:
    IHtmlViewEngine* createHtmlView(QWidget* parent, IHtmlViewEngine::Events events) override
    {
        auto* view = new TEngineHtmlView(parent);
        if (events.loadFinished)
            connect(view, &TEngineHtmlView::loadFinished, view, events.loadFinished);
        if (events.timedOut)
            connect(view, &TEngineHtmlView::timedOut, view, events.timedOut);
        if (events.rendererDied)
            connect(view, &TEngineHtmlView::rendererDied, view, events.rendererDied);
        return view;
    }

    IBrowserViewEngine* createBrowserView(QWidget* parent, IBrowserViewEngine::Events events) override
    {
        return new TEngineBrowserView(parent, std::move(events));
    }
};

#include "WebEnginePlugin.moc"
