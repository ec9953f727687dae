#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// The bytes of a plain PNG picture of the given size, for banners and pages in the tests.
inline QByteArray pngBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
