#include "HeatMapLegend.h"

#include "ObjectNames.h"

#include "HeatMapScale.h"

#include <QLinearGradient>
#include <QPainter>

namespace kalent {

HeatMapLegend::HeatMapLegend(QWidget *parent) : QWidget(parent)
{
    setObjectName(objectNames::reader::HeatMapLegend);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
}

void HeatMapLegend::setRange(double low, double high)
{
    m_low = low;
    m_high = high;
    setToolTip(QStringLiteral("Тепловая карта: от %1 до %2").arg(lowText(), highText()));
    update();
}

QString HeatMapLegend::lowText() const
{
    return QString::number(m_low, 'f', 3);
}

QString HeatMapLegend::highText() const
{
    return QString::number(m_high, 'f', 3);
}

void HeatMapLegend::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QString lead = QStringLiteral("ОП ");
    const int lowWidth = metrics.horizontalAdvance(lead + lowText()) + 6;
    const int highWidth = metrics.horizontalAdvance(highText()) + 6;
    const QRect bar(lowWidth, 2, qMax(10, width() - lowWidth - highWidth), height() - 4);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 10; ++i)
        gradient.setColorAt(i / 10.0, HeatMapScale::colourAt(i / 10.0));
    painter.fillRect(bar, gradient);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, 0, lowWidth - 3, height()), Qt::AlignVCenter | Qt::AlignRight,
                     lead + lowText());
    painter.drawText(QRect(bar.right() + 4, 0, highWidth, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, highText());
}

} // namespace kalent
