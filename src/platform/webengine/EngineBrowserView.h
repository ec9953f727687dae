#pragma once

#include "platform/WebEngineInterface.h"

#include <QWebEngineView>

class QWebEngineNewWindowRequest;

// The web engine plugin's browser view, behind the browser pane's control (TWebBrowser,
// platform/WebBrowser.h): a QWebEngineView in the default profile, whose history lasts for the
// run (the profile keeps nothing on disk).
//
// Pop-ups a page opens by itself are blocked; a new window the user asks for (a link with a
// target, a click handler calling window.open) opens in this same view. Downloads are declined.
class TEngineBrowserView : public QWebEngineView, public IBrowserViewEngine
{
    Q_OBJECT
public:
    TEngineBrowserView(QWidget* parent, IBrowserViewEngine::Events events);
    ~TEngineBrowserView() override;

    QWidget* widget() override { return this; }
    void load(const QUrl& url) override;
    bool goBack() override;
    bool goForward() override;
    void reload() override;
    void stop() override;
    void clear() override;
    void paste() override;
    QUrl url() const override;
    bool installScript(const QString& name, const QString& script, const QString& bridgeName,
                       ScriptBridge bridge) override;
    void runScript(const QString& code, std::function<void(const QVariant&)> result) override;

private:
    void onNewWindowRequested(QWebEngineNewWindowRequest& request);
};
