#include "app/window_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace kestrune {

QImage window_icon_image(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);

    // Cable and strain relief above the plug.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3c, 0x46, 0x55));
    p.drawRoundedRect(QRectF(19, 1, 10, 10), 2, 2);
    p.setBrush(QColor(0x55, 0x66, 0x7d));
    p.drawRoundedRect(QRectF(12, 8, 24, 9), 2, 2);

    // The metal shell: the D-shaped trapezoid of a 9-pin plug.
    QPainterPath shell;
    shell.moveTo(2, 17);
    shell.lineTo(46, 17);
    shell.lineTo(40, 45);
    shell.lineTo(8, 45);
    shell.closeSubpath();
    p.setPen(QPen(QColor(0x3a, 0x4a, 0x60), 1.5));
    QLinearGradient metal(0, 17, 0, 45);
    metal.setColorAt(0, QColor(0x9a, 0xad, 0xc4));
    metal.setColorAt(1, QColor(0x6a, 0x80, 0x9c));
    p.setBrush(metal);
    p.drawPath(shell);

    // The insulating face with two rows of gold pins.
    QPainterPath face;
    face.moveTo(7, 21);
    face.lineTo(41, 21);
    face.lineTo(36.5, 41);
    face.lineTo(11.5, 41);
    face.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x33, 0x40));
    p.drawPath(face);

    const QColor gold(0xf0, 0xc0, 0x30);
    const QColor gold_edge(0xa8, 0x7c, 0x10);
    const int top_pins = size >= 32 ? 5 : 3;
    const int bottom_pins = top_pins - 1;
    const qreal radius = size >= 32 ? 2.4 : 3.4;
    p.setPen(QPen(gold_edge, 0.8));
    p.setBrush(gold);
    for (int i = 0; i < top_pins; ++i)
        p.drawEllipse(QPointF(12 + i * 24.0 / (top_pins - 1), 27), radius, radius);
    for (int i = 0; i < bottom_pins; ++i)
        p.drawEllipse(QPointF(15 + i * 18.0 / std::max(1, bottom_pins - 1), 35), radius, radius);
    return image;
}

QIcon window_icon()
{
    QIcon icon;
    for (int size : {48, 32, 24, 16})
        icon.addPixmap(QPixmap::fromImage(window_icon_image(size)));
    return icon;
}

} // namespace kestrune
