#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace kalent {

// A panel that draws a black drop shadow, 6 pixels deep, behind some of its
// child panels each time it paints (RzPanel6 behind RzPanel7).
class ShadowPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ShadowDepth = 6;

    using QWidget::QWidget;
    // Shadows are drawn in the order the panels were added.
    void addShadowed(QWidget *child);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QPointer<QWidget>> m_shadowed;
};

} // namespace kalent
