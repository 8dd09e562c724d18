#pragma once

#include <QWidget>

namespace kalent {

// The heat map's key: the colour scale from the lowest to the highest density
// on the plate, with the two values written at its ends.
class HeatMapLegend : public QWidget
{
    Q_OBJECT
public:
    explicit HeatMapLegend(QWidget *parent = nullptr);

    void setRange(double low, double high);
    double low() const { return m_low; }
    double high() const { return m_high; }
    // The texts at the ends, three decimals as the grid shows them.
    QString lowText() const;
    QString highText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_low = 0;
    double m_high = 0;
};

} // namespace kalent
