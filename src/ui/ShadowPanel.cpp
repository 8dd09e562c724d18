#include "ShadowPanel.h"

#include <QPainter>

namespace kalent {

void ShadowPanel::addShadowed(QWidget *child)
{
    m_shadowed.append(child);
    update();
}

void ShadowPanel::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    for (const QPointer<QWidget> &child : m_shadowed) {
        if (!child || !child->isVisible())
            continue;
        // Layers of translucent black: darkest next to the panel, fading outwards.
        for (int step = ShadowDepth; step >= 1; --step)
            painter.fillRect(child->geometry().translated(step, step), QColor(0, 0, 0, 28));
    }
}

} // namespace kalent
