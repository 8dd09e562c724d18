#pragma once

#include <QColor>
#include <QWidget>

namespace kalent {

// A 3-pixel horizontal line with an arrow head at its right end, pointing the
// operator from a step's text at the picture of the instrument's screen.
class ArrowLine : public QWidget
{
    Q_OBJECT
public:
    explicit ArrowLine(const QColor &colour, QWidget *parent = nullptr);

    QColor colour() const { return m_colour; }
    QSize sizeHint() const override { return {41, 20}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};

} // namespace kalent
