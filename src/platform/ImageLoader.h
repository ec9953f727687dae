#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

class QMovie;
class QObject;

// Pictures delivered with a copy beside the executable: banner images and the icon. Anyone can
// lay such files out, so every picture is decoded under the ceilings of branding/Limits.h, and a
// file that is no picture or over a ceiling gives nothing (the caller skips it without a message).
class TImageLoader
{
public:
    // A still picture from the file at path: the format named first (from the shown name's
    // extension), the content decides when that format does not read it. A null image otherwise.
    static QImage readStill(const QString& path, const QByteArray& format);

    // The animated GIF at path as a movie owned by parent, on its first frame and not started;
    // nullptr when the file is no GIF or over a ceiling.
    static QMovie* openAnimation(const QString& path, QObject* parent);

    // Every picture of the icon file at path; a null icon when it holds none.
    static QIcon readIcon(const QString& path);
};
