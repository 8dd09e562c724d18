#pragma once

#include <QColor>
#include <QIdentityProxyModel>

namespace kalent {

class OpticalDensityGridModel;

// How the plate's grid looks: the grid model's cells with their backgrounds. The
// values stand on the grid's cream (the headers are the view's); with the heat
// map on, every value that is a number takes its colour on the scale from the
// plate's lowest to its highest number (one value all over the plate sits in
// the middle), with black or white text, whichever stands out. Reads the
// numbers the grid model gives, never the cells' text.
class HeatMapGridModel : public QIdentityProxyModel
{
    Q_OBJECT
public:
    explicit HeatMapGridModel(OpticalDensityGridModel &grid, QObject *parent = nullptr);

    void setHeatMap(bool on);
    bool heatMap() const { return m_on; }
    // The range the colours span; false when the map shows nothing.
    bool range(double *low, double *high) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    static QColor cellBackground() { return QColor(0xFF, 0xFF, 0xF0); }

private:
    void recolour();

    OpticalDensityGridModel &m_grid;
    bool m_on = false;
    bool m_hasNumbers = false;
    double m_low = 0;
    double m_high = 0;
};

} // namespace kalent
