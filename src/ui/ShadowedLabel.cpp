#include "ShadowedLabel.h"

#include <QPainter>

namespace kalent {

ShadowedLabel::ShadowedLabel(const QString &text, TextStyle style, QWidget *parent)
    : QLabel(text, parent), m_style(style)
{}

void ShadowedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    const QPalette &pal = palette();
    if (m_style == TextStyle::Raised) {
        painter.setPen(Qt::white);
        painter.drawText(area.translated(-1, -1), flags, text());
        painter.setPen(pal.color(QPalette::Dark));
        painter.drawText(area.translated(1, 1), flags, text());
    } else {
        painter.setPen(Qt::black);
        painter.drawText(area.translated(1, 1), flags, text());
    }
    painter.setPen(
        pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, flags, text());
}

} // namespace kalent
