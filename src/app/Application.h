#pragma once

#include <QApplication>

// The application object. Its notify() is the last resort for unexpected errors: an exception
// that escapes an event handler not connected through guarded() (see ErrorGuard.h) is shown to
// the user and the program goes on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
