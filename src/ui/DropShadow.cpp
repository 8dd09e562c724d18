#include "DropShadow.h"

#include <QColor>
#include <QPainter>
#include <QRect>

namespace kalent {

void paintDropShadow(QPainter &painter, const QRect &bounds, int depth)
{
    // Layers offset 1..depth pixels add up: darkest next to the panel, fading out.
    // The panel itself is painted over the part of each layer under it.
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = depth; i >= 1; --i)
        painter.fillRect(bounds.translated(i, i), QColor(0, 0, 0, 36));
    painter.restore();
}

} // namespace kalent
