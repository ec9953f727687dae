#pragma once

#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <QtTest>

#include <memory>
#include <optional>

// Runs script in the page's main world, as the page's own scripts would, and waits up to timeoutMs
// for its value: an empty QVariant (and a warning) when none comes. The answer goes to shared
// state, so one that comes late lands nowhere harmful.
inline QVariant runPageScript(QWebEnginePage* page, const QString& script, int timeoutMs = 10000)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [answer](const QVariant& value) { *answer = value; });
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, timeoutMs))
        qWarning("script did not answer: %s", qPrintable(script));
    return answer->value_or(QVariant());
}
