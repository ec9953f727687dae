#include "app/Application.h"

#include "util/AppError.h"

#include "platform/MessageBox.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillet"));
    setApplicationVersion(QStringLiteral(QUILLET_APP_VERSION));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& error) {
        reportError(error.message());
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportError(QStringLiteral("Unknown error."));
    }
    // The handler that raised the error has ended; the event counts as handled.
    return false;
}

void Application::reportError(const QString& message)
{
    TMessageBox::warning(message);
}
