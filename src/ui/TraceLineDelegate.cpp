#include "TraceLineDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace kalent {

TraceLineDelegate::TraceLineDelegate(int role, int longestLineChars, QObject *parent)
    : QStyledItemDelegate(parent), m_role(role), m_longestLineChars(longestLineChars)
{}

void TraceLineDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    // Not initStyleOption: it would ask the model for the display role as well,
    // a second rendering of the line nobody sees.
    QStyleOptionViewItem line = option;
    line.index = index;
    line.features |= QStyleOptionViewItem::HasDisplay;
    line.text = index.data(m_role).toString();
    line.textElideMode = Qt::ElideNone;
    line.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &line, painter, widget);
}

QSize TraceLineDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QFontMetrics metrics(option.font);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // The style's text margin on either side, as CE_ItemViewItem leaves it.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return {metrics.horizontalAdvance(QLatin1Char('0')) * m_longestLineChars + 2 * margin + 2,
            metrics.height() + 2};
}

} // namespace kalent
