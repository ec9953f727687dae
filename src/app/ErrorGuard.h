#pragma once

#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

// The one way an unexpected error reaches the user. Every handler runs inside runGuarded(): an
// exception it throws ends that handler and is shown by reportError() in a warning box; the
// program goes on. Handlers are connected through guarded(), so no exception ever unwinds
// through Qt's signal code. Application::notify() uses the same guard as the last resort for
// event handlers (paint, key and mouse overrides) that are not connected to a signal.

// Shows an error that no handler dealt with, in a warning box.
void reportError(const QString& message);

// Shows the exception being handled (call inside a catch block only): an AppError with its own
// message, any other std::exception with its what(), anything else as "Unknown error.".
void reportCurrentException();

// Runs handler. Returns true when it returned, false when it threw (the error has been shown).
template <typename Handler> bool runGuarded(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        reportCurrentException();
    }
    return false;
}

// A slot for QObject::connect that runs handler guarded. The handler takes the signal's
// arguments, or none at all (a clicked(bool) connected to a handler without arguments).
template <typename Handler> auto guarded(Handler handler)
{
    return [handler = std::move(handler)](auto&&... args) {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>)
                std::invoke(handler, std::forward<decltype(args)>(args)...);
            else
                std::invoke(handler);
        });
    };
}

// The same for a method of object that takes no arguments: guarded(this, &TfrmMain::btnSaveClick).
template <typename Object, typename Method> auto guarded(Object* object, Method method)
{
    return guarded([object, method] { (object->*method)(); });
}
