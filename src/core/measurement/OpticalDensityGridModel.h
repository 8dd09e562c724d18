#pragma once

#include "measurement/PlateTable.h"

#include <QAbstractTableModel>
#include <QVector>

namespace kalent {

class OpticalDensityReader;

// StringGrid1 as a table model over the reader's table: 9 rows by 13 columns,
// row 0 and column 0 the headers ("1".."12", "A".."H"), the other cells the
// plate's values as the instrument sent them. Besides the text, a value cell
// that spells a number gives it as NumberRole, so what colours the plate reads
// the values, never the shown text back. Every change of the table is told as
// a change of the cells (the grid's shape never changes).
class OpticalDensityGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // A value cell's number (double); nothing for headers and non-numbers.
    static constexpr int NumberRole = Qt::UserRole + 1;

    explicit OpticalDensityGridModel(const OpticalDensityReader &reader, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static bool isHeader(const QModelIndex &index)
    {
        return index.row() == 0 || index.column() == 0;
    }
    // The lowest and highest number on the plate; false when it holds none.
    bool numberRange(double *low, double *high) const;

private:
    void takeCells();

    const OpticalDensityReader &m_reader;
    QVector<PlateValue> m_cells; // row by row, as the reader holds them
};

} // namespace kalent
