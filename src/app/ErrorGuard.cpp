#include "app/ErrorGuard.h"

#include "platform/MessageBox.h"
#include "util/AppError.h"

#include <exception>

void reportError(const QString& message)
{
    TMessageBox::warning(message);
}

void reportCurrentException()
{
    try {
        throw;
    } catch (const AppError& error) {
        reportError(error.message());
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportError(QStringLiteral("Unknown error."));
    }
}
