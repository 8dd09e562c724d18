#include "ArrowLine.h"

#include <QPainter>
#include <QPolygon>

namespace kalent {

ArrowLine::ArrowLine(const QColor &colour, QWidget *parent) : QWidget(parent), m_colour(colour)
{
    setFixedSize(41, 20);
}

void ArrowLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int mid = height() / 2;
    const int head = 9;
    painter.setPen(QPen(m_colour, 3, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(1, mid, width() - head, mid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colour);
    painter.drawPolygon(QPolygon({QPoint(width() - head - 1, mid - 6), QPoint(width() - 1, mid),
                                  QPoint(width() - head - 1, mid + 6)}));
}

} // namespace kalent
