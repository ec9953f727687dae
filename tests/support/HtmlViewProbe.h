#pragma once

// Reads what an HTML view shows. The engine answers asynchronously: each helper waits for the
// document to finish loading and for the engine's answer, bounded in time.

#include "platform/HtmlView.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

namespace HtmlViewProbe {

// The engine's page view inside an HTML view (it comes from the web engine plugin).
inline QWebEngineView* engineView(const THtmlView& view)
{
    return qobject_cast<QWebEngineView*>(view.view());
}

inline bool waitLoaded(const THtmlView* view, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (view->isLoading() && !deadline.hasExpired())
        QTest::qWait(10);
    return !view->isLoading();
}

// The document's text as the engine renders it; empty before the first document.
inline QString shownText(const THtmlView* view, int timeoutMs = 30000)
{
    if (!view->view() || !waitLoaded(view, timeoutMs))
        return {};
    auto answer = std::make_shared<std::optional<QString>>();
    engineView(*view)->page()->toPlainText([answer](const QString& text) { *answer = text; });
    QDeadlineTimer deadline(timeoutMs);
    while (!*answer && !deadline.hasExpired())
        QTest::qWait(10);
    return answer->value_or(QStringLiteral("<no answer>"));
}

// Evaluates a script in the program's own script world, which runs even where the document's
// scripts are off.
inline QVariant evaluate(const THtmlView* view, const QString& script, int timeoutMs = 30000)
{
    if (!view->view() || !waitLoaded(view, timeoutMs))
        return {};
    auto answer = std::make_shared<std::optional<QVariant>>();
    engineView(*view)->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                             [answer](const QVariant& value) { *answer = value; });
    QDeadlineTimer deadline(timeoutMs);
    while (!*answer && !deadline.hasExpired())
        QTest::qWait(10);
    return answer->value_or(QVariant());
}

} // namespace HtmlViewProbe
