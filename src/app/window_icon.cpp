// SPDX-License-Identifier: MIT
#include "app/window_icon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace kestrune {

QImage window_icon_image(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // data/icons/kestrune.svg, built into the library (src/app/CMakeLists.txt).
    QSvgRenderer svg(QStringLiteral(":/kestrune/kestrune.svg"));
    QPainter p(&image);
    p.scale(size / svg.viewBoxF().width(), size / svg.viewBoxF().height());
    // Below 32 pixels nine pins run together into two gold bars: draw five larger ones.
    const QString pins = size >= 32 ? QStringLiteral("pins") : QStringLiteral("pins-small");
    for (const QString &part : {QStringLiteral("plug"), pins})
        svg.render(&p, part, svg.boundsOnElement(part));
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
