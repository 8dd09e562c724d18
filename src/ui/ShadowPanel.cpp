#include "ShadowPanel.h"

#include "WidgetKit.h"

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
        // A lighter shadow than the About page's panels: it lies on white.
        WidgetKit::paintPanelShadow(painter, child->geometry(), ShadowDepth, 28);
    }
}

} // namespace kalent
