#include "HeatMapGridModel.h"

#include "HeatMapScale.h"
#include "measurement/OpticalDensityGridModel.h"

#include <QBrush>

namespace kalent {

HeatMapGridModel::HeatMapGridModel(OpticalDensityGridModel &grid, QObject *parent)
    : QIdentityProxyModel(parent), m_grid(grid)
{
    // Connected before the proxy forwards the change: the range is new before
    // any view asks for the new colours.
    connect(&grid, &QAbstractItemModel::dataChanged, this,
            [this] { m_hasNumbers = m_grid.numberRange(&m_low, &m_high); });
    m_hasNumbers = m_grid.numberRange(&m_low, &m_high);
    setSourceModel(&grid);
}

void HeatMapGridModel::setHeatMap(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    recolour();
}

void HeatMapGridModel::recolour()
{
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                       {Qt::BackgroundRole, Qt::ForegroundRole});
}

bool HeatMapGridModel::range(double *low, double *high) const
{
    if (!m_on || !m_hasNumbers)
        return false;
    *low = m_low;
    *high = m_high;
    return true;
}

QVariant HeatMapGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::BackgroundRole && role != Qt::ForegroundRole)
        return QIdentityProxyModel::data(index, role);
    const QVariant number = mapToSource(index).data(OpticalDensityGridModel::NumberRole);
    // Whatever is not a number keeps the grid's own look.
    if (!m_on || !number.isValid())
        return role == Qt::BackgroundRole ? QVariant(QBrush(cellBackground())) : QVariant();
    const double t = m_high > m_low ? (number.toDouble() - m_low) / (m_high - m_low) : 0.5;
    const QColor background = HeatMapScale::colourAt(t);
    if (role == Qt::BackgroundRole)
        return QBrush(background);
    return QBrush(HeatMapScale::textOn(background));
}

} // namespace kalent
