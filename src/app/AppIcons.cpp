#include "app/AppIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace AppIcons {
namespace {

QIcon paint(int size, const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return QIcon(pixmap);
}

const QColor kBlue(0x2f, 0x6f, 0xb3);
const QColor kDark(0x33, 0x3d, 0x4a);

} // namespace

QIcon category()
{
    return paint(16, [](QPainter& p) {
        p.setPen(QPen(QColor(0xb0, 0x80, 0x20), 1));
        p.setBrush(QColor(0xf4, 0xc4, 0x4e));
        p.drawRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);
        p.setBrush(QColor(0xf8, 0xd3, 0x6a));
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1, 1);
    });
}

QIcon item()
{
    return paint(16, [](QPainter& p) {
        p.setPen(QPen(QColor(0x60, 0x70, 0x80), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.5, 1.5);
        p.setPen(QPen(kBlue, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(6, 6), 2, 2);
        p.drawLine(QPointF(7.5, 7.5), QPointF(11, 11));
        p.drawLine(QPointF(9.5, 9.5), QPointF(8, 11));
    });
}

QIcon news()
{
    return paint(24, [](QPainter& p) {
        p.setPen(QPen(kDark, 1.5));
        p.setBrush(QColor(0xfd, 0xfd, 0xf6));
        p.drawRoundedRect(QRectF(3.5, 4.5, 17, 15), 2, 2);
        p.setPen(QPen(kBlue, 2));
        p.drawLine(QPointF(7, 9), QPointF(17, 9));
        p.setPen(QPen(kDark, 1.2));
        p.drawLine(QPointF(7, 13), QPointF(17, 13));
        p.drawLine(QPointF(7, 16), QPointF(14, 16));
    });
}

QIcon update()
{
    return paint(24, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0x9b, 0x55));
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setBrush(Qt::white);
        QPainterPath arrow;
        arrow.moveTo(12, 17);
        arrow.lineTo(7, 11.5);
        arrow.lineTo(10.2, 11.5);
        arrow.lineTo(10.2, 7);
        arrow.lineTo(13.8, 7);
        arrow.lineTo(13.8, 11.5);
        arrow.lineTo(17, 11.5);
        arrow.closeSubpath();
        p.drawPath(arrow);
    });
}

QIcon help()
{
    return paint(24, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(14);
        p.setFont(font);
        p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter, QStringLiteral("?"));
    });
}

QIcon back()
{
    return paint(16, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygonF({QPointF(2, 8), QPointF(8, 2.5), QPointF(8, 5.5), QPointF(14, 5.5), QPointF(14, 10.5),
                                 QPointF(8, 10.5), QPointF(8, 13.5)}));
    });
}

QIcon forward()
{
    return paint(16, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygonF({QPointF(14, 8), QPointF(8, 2.5), QPointF(8, 5.5), QPointF(2, 5.5), QPointF(2, 10.5),
                                 QPointF(8, 10.5), QPointF(8, 13.5)}));
    });
}

QIcon refresh()
{
    return paint(16, [](QPainter& p) {
        p.setPen(QPen(QColor(0x2e, 0x9b, 0x55), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0x9b, 0x55));
        p.drawPolygon(QPolygonF({QPointF(7, 0.5), QPointF(11.5, 3), QPointF(7, 5.5)}));
    });
}

QIcon stop()
{
    return paint(16, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc8, 0x3c, 0x3c));
        p.drawRoundedRect(QRectF(3, 3, 10, 10), 2, 2);
    });
}

} // namespace AppIcons
