#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// The bytes of a plain picture of the given size in format ("PNG", "BMP", ...), for banners and
// pages in the tests.
inline QByteArray imageBytes(int width, int height, const char* format, Qt::GlobalColor color = Qt::darkCyan)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline QByteArray pngBytes(int width, int height)
{
    return imageBytes(width, height, "PNG");
}
