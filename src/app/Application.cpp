#include "app/Application.h"

#include "app/ErrorGuard.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillet"));
    setApplicationVersion(QStringLiteral(QUILLET_APP_VERSION));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    // After an error the handler that raised it has ended; the event counts as not handled.
    runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
