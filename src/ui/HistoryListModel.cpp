#include "HistoryListModel.h"

#include <QDir>

namespace kalent {

HistoryListModel::HistoryListModel(ReadingStore &store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store)
{}

void HistoryListModel::setFilter(const HistoryFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    m_rows.clear();
    m_atEnd = false;
    m_error.clear();
    endResetModel();
    fetchMore({});
}

int HistoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool HistoryListModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void HistoryListModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_atEnd)
        return;
    std::optional<HistoryCursor> after;
    if (!m_rows.isEmpty())
        after = HistoryCursor{m_rows.last().receivedAt.toMSecsSinceEpoch(), m_rows.last().id};
    QVector<Reading> page;
    m_error = m_store.find(m_filter, &page, true, after, PageRows);
    if (!m_error.isEmpty()) {
        m_atEnd = true;
        Q_EMIT failed(m_error);
        return;
    }
    m_atEnd = page.size() < PageRows;
    if (page.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + page.size() - 1));
    m_rows += page;
    endInsertRows();
}

QVariant HistoryListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
        return {};
    const Reading &r = m_rows.at(index.row());
    switch (index.column()) {
    case Received:
        return r.receivedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    case Kind:
        return r.kind == Reading::Kind::Table ? QStringLiteral("Таблица")
                                              : QStringLiteral("Протокол");
    case Port:
        return r.port;
    case Name:
        if (r.kind == Reading::Kind::Protocol && !r.name.isEmpty())
            return r.protocolDate.isEmpty()
                       ? QStringLiteral("№%1").arg(r.name)
                       : QStringLiteral("№%1 от %2").arg(r.name, r.protocolDate);
        return r.name;
    case Files: {
        QStringList names;
        for (const QString &file : r.files)
            names.append(QDir::toNativeSeparators(file));
        return names.join(QStringLiteral("; "));
    }
    default:
        return {};
    }
}

QVariant HistoryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Received:
        return QStringLiteral("Принято");
    case Kind:
        return QStringLiteral("Вид");
    case Port:
        return QStringLiteral("Порт");
    case Name:
        return QStringLiteral("Имя");
    case Files:
        return QStringLiteral("Файлы");
    default:
        return {};
    }
}

} // namespace kalent
