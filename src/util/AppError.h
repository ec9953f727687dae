#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// An error the program does not expect (a file that exists but cannot be read, a failed write).
// It ends the handler or start-up step that raised it and is shown by the application's
// general error handler; the program goes on.
class AppError : public std::exception
{
public:
    explicit AppError(QString message) : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};
