#pragma once

#include "measurement/PlateTable.h"

#include <QAbstractTableModel>

namespace kalent {

class OpticalDensityReader;

// The reader page's grid as a table model over the reader's PlateTable: 8 rows by 12
// columns of the plate's values as the instrument sent them, the headers ("A"
// to "H", "1" to "12") from headerData(). Besides the text, a value that spells
// a number gives it as NumberRole, so what colours the plate reads the values,
// never the shown text back. The grid shows the table each time one arrives;
// clear() empties it (every showing of the reader page) while the reader keeps
// the table for saving. Every change is told as a change of the cells (the
// grid's shape never changes).
class OpticalDensityGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // A value cell's number (double); nothing for non-numbers.
    static constexpr int NumberRole = Qt::UserRole + 1;

    explicit OpticalDensityGridModel(const OpticalDensityReader &reader, QObject *parent = nullptr);
    // A grid that shows only what it is given (a reading from the store).
    explicit OpticalDensityGridModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Empties the 96 value cells.
    void clear();
    void show(const PlateTable &table);
    // The lowest and highest number on the plate; false when it holds none.
    bool numberRange(double *low, double *high) const;

private:
    PlateTable m_shown;
};

} // namespace kalent
