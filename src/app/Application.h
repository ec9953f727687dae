#pragma once

#include <QApplication>

// The application object. Its notify() is the general handler of unexpected errors: an
// exception that escapes an event handler is shown to the user and the program goes on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error that no handler dealt with, in a warning box.
    static void reportError(const QString& message);
};
