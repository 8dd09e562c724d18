#include "measurement/OpticalDensityGridModel.h"

#include "measurement/OpticalDensityReader.h"

namespace kalent {

OpticalDensityGridModel::OpticalDensityGridModel(const OpticalDensityReader &reader,
                                                 QObject *parent)
    : QAbstractTableModel(parent)
{
    connect(&reader, &OpticalDensityReader::tableReceived, this,
            [this, &reader] { show(reader.table()); });
}

void OpticalDensityGridModel::show(const PlateTable &table)
{
    m_shown = table;
    Q_EMIT dataChanged(index(0, 0), index(PlateTable::Rows - 1, PlateTable::Columns - 1));
}

void OpticalDensityGridModel::clear()
{
    show(PlateTable());
}

int OpticalDensityGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : PlateTable::Rows;
}

int OpticalDensityGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : PlateTable::Columns;
}

QVariant OpticalDensityGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const PlateValue &value = m_shown.value(index.row() + 1, index.column() + 1);
    switch (role) {
    case Qt::DisplayRole:
        return value.text;
    case NumberRole:
        return value.isNumber ? QVariant(value.number) : QVariant();
    default:
        return {};
    }
}

QVariant OpticalDensityGridModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return {};
    if (orientation == Qt::Horizontal)
        return section < PlateTable::Columns ? PlateTable::columnName(section + 1) : QVariant();
    return section < PlateTable::Rows ? PlateTable::rowName(section + 1) : QVariant();
}

Qt::ItemFlags OpticalDensityGridModel::flags(const QModelIndex &index) const
{
    // The grid only shows: no editing, no selection.
    return checkIndex(index, CheckIndexOption::IndexIsValid) ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

bool OpticalDensityGridModel::numberRange(double *low, double *high) const
{
    bool any = false;
    for (int row = 1; row <= PlateTable::Rows; ++row)
        for (int column = 1; column <= PlateTable::Columns; ++column) {
            const PlateValue &value = m_shown.value(row, column);
            if (!value.isNumber)
                continue;
            *low = any ? qMin(*low, value.number) : value.number;
            *high = any ? qMax(*high, value.number) : value.number;
            any = true;
        }
    return any;
}

} // namespace kalent
