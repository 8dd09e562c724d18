#include "ElidingLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace kalent {

ElidingLabel::ElidingLabel(Qt::TextElideMode mode, QWidget *parent) : QLabel(parent), m_mode(mode)
{
    setTextFormat(Qt::PlainText);
}

void ElidingLabel::setWholeText(const QString &text)
{
    setText(text);
    updateTip();
}

void ElidingLabel::setWholeTip(const QString &tip)
{
    m_tip = tip;
    updateTip();
}

QStringList ElidingLabel::shownLines() const
{
    const int width = contentsRect().width();
    const QFontMetrics metrics = fontMetrics();
    QStringList lines = text().split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = metrics.elidedText(line, m_mode, width);
    return lines;
}

bool ElidingLabel::isElided() const
{
    return shownLines() != text().split(QLatin1Char('\n'));
}

QSize ElidingLabel::minimumSizeHint() const
{
    // Room for the ellipsis and a character on each side of it.
    const QSize natural = QLabel::minimumSizeHint();
    const QMargins margins = contentsMargins();
    const int least = fontMetrics().horizontalAdvance(QStringLiteral("W…W")) + margins.left() +
                      margins.right() + 2 * frameWidth();
    return {std::min(natural.width(), least), natural.height()};
}

void ElidingLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                          shownLines().join(QLatin1Char('\n')), foregroundRole());
}

void ElidingLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateTip();
}

void ElidingLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange)
        updateTip();
}

void ElidingLabel::updateTip()
{
    setToolTip(isElided() ? (m_tip.isEmpty() ? text() : m_tip) : QString());
}

} // namespace kalent
