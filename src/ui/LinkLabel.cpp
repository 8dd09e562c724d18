#include "LinkLabel.h"

#include "WidgetKit.h"

#include <QMouseEvent>

namespace kalent {

LinkLabel::LinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setHovered(false);
}

void LinkLabel::setHovered(bool hovered)
{
    m_hovered = hovered;
    WidgetKit::setTextColour(this,
                             palette().color(hovered ? QPalette::ToolTipBase : QPalette::Light));
}

void LinkLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_hovered)
        setHovered(true);
    QLabel::mouseMoveEvent(event);
}

void LinkLabel::leaveEvent(QEvent *event)
{
    setHovered(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click && isEnabled())
        Q_EMIT clicked();
}

void LinkLabel::changeEvent(QEvent *event)
{
    // A label disabled under the mouse gets no leave event; drop the hover colour.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_hovered)
        setHovered(false);
    QLabel::changeEvent(event);
}

} // namespace kalent
