#pragma once

#include "store/ReadingStore.h"

#include <QAbstractTableModel>
#include <QVector>

namespace kalent {

// The stored readings as a list, newest first, read from the store a page at
// a time as the view scrolls (canFetchMore/fetchMore), so a store of a hundred
// thousand readings opens as fast as one of a hundred. The rows are summaries:
// the reading chosen is read whole from the store.
class HistoryListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int PageRows = 200;
    enum Column { Received, Kind, Port, Name, Files, ColumnCount };

    explicit HistoryListModel(ReadingStore &store, QObject *parent = nullptr);

    // Empties the list and reads its first page under the filter.
    void setFilter(const HistoryFilter &filter);
    const HistoryFilter &filter() const { return m_filter; }
    const Reading &summary(int row) const { return m_rows.at(row); }
    // Why the last read failed; empty when it did not.
    QString error() const { return m_error; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

Q_SIGNALS:
    void failed(const QString &message);

private:
    ReadingStore &m_store;
    HistoryFilter m_filter;
    QVector<Reading> m_rows;
    bool m_atEnd = true;
    QString m_error;
};

} // namespace kalent
