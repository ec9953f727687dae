#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

// Answers the next modal window that opens: polls QApplication::activeModalWidget() from a timer
// and hands the window to `action` once it is shown. Use before the call that opens the window.
class ModalDriver : public QObject
{
public:
    explicit ModalDriver(std::function<void(QWidget*)> action, int timeoutMs = 5000) : m_action(std::move(action))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this, timeoutMs] {
            m_elapsed += 10;
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible()) {
                m_timer.stop();
                seen = modal;
                m_action(modal);
            } else if (m_elapsed > timeoutMs) {
                m_timer.stop();
            }
        });
        m_timer.start();
    }

    QWidget* seen = nullptr; // the window that was answered (dangling once it has closed)

private:
    std::function<void(QWidget*)> m_action;
    QTimer m_timer;
    int m_elapsed = 0;
};
