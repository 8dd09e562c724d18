#include "IndicatorCheckBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace kalent {

IndicatorCheckBox::IndicatorCheckBox(QWidget *parent) : QCheckBox(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
}

void IndicatorCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_HasFocus);
    option.state |= QStyle::State_ReadOnly;
    // The box is filled like a read-only field's background, not like an input;
    // the caption keeps its colour, it is the state being shown.
    option.palette.setBrush(QPalette::Base, option.palette.brush(QPalette::Window));
    painter.drawControl(QStyle::CE_CheckBox, option);
}

// Mouse and keys are taken and dropped here, so the toggle never starts.
void IndicatorCheckBox::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void IndicatorCheckBox::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void IndicatorCheckBox::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

void IndicatorCheckBox::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
}

void IndicatorCheckBox::keyReleaseEvent(QKeyEvent *event)
{
    event->ignore();
}

bool IndicatorCheckBox::hitButton(const QPoint &) const
{
    return false;
}

} // namespace kalent
