#pragma once
// Tests reach a window's controls as a user's tools would: by objectName, which for the main
// window is the control's name in the program (tvwMain, edtTitle, btnSave, ...).
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <type_traits>

// The child of window named name, of type T. A missing control ends the test program with its
// name and type: the test could only go on against something else.
template <typename T, typename Window> T* named(const Window& window, const char* name)
{
    const QObject* object = nullptr;
    if constexpr (std::is_pointer_v<Window>)
        object = window;
    else if constexpr (std::is_base_of_v<QObject, Window>)
        object = &window;
    else
        object = &*window; // std::unique_ptr, QPointer
    T* found = object->template findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// What a timer does when it runs out, at once: its timeout handlers run before this returns.
inline void fire(QTimer* timer)
{
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}
