#include "measurement/OpticalDensityGridModel.h"

#include "measurement/OpticalDensityReader.h"

namespace kalent {

namespace {
constexpr int Rows = OpticalDensityReader::GridRows;
constexpr int Columns = OpticalDensityReader::GridColumns;
} // namespace

OpticalDensityGridModel::OpticalDensityGridModel(const OpticalDensityReader &reader,
                                                 QObject *parent)
    : QAbstractTableModel(parent), m_reader(reader), m_cells(Rows * Columns)
{
    takeCells();
    connect(&reader, &OpticalDensityReader::gridChanged, this, [this] {
        takeCells();
        Q_EMIT dataChanged(index(0, 0), index(Rows - 1, Columns - 1));
    });
}

void OpticalDensityGridModel::takeCells()
{
    for (int row = 0; row < Rows; ++row)
        for (int column = 0; column < Columns; ++column) {
            const QString text = m_reader.cell(column, row);
            PlateValue &cell = m_cells[row * Columns + column];
            // Headers are names, not values, even where they spell a number.
            if (row == 0 || column == 0)
                cell = PlateValue{text, false, 0};
            else
                cell = PlateValue::parse(text);
        }
}

int OpticalDensityGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Rows;
}

int OpticalDensityGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant OpticalDensityGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const PlateValue &cell = m_cells.at(index.row() * Columns + index.column());
    switch (role) {
    case Qt::DisplayRole:
        return cell.text;
    case NumberRole:
        return cell.isNumber ? QVariant(cell.number) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags OpticalDensityGridModel::flags(const QModelIndex &index) const
{
    // The grid only shows: no editing, no selection.
    return checkIndex(index, CheckIndexOption::IndexIsValid) ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

bool OpticalDensityGridModel::numberRange(double *low, double *high) const
{
    bool any = false;
    for (const PlateValue &cell : m_cells) {
        if (!cell.isNumber)
            continue;
        *low = any ? qMin(*low, cell.number) : cell.number;
        *high = any ? qMax(*high, cell.number) : cell.number;
        any = true;
    }
    return any;
}

} // namespace kalent
