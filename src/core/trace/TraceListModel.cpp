#include "trace/TraceListModel.h"

#include "common/Cp1251.h"
#include "trace/ExchangeTrace.h"

namespace kalent {

namespace {

QString prefix(const TraceRecord &record)
{
    const char *arrow = record.direction == TraceRecord::Direction::Sent       ? "->"
                        : record.direction == TraceRecord::Direction::Received ? "<-"
                        : record.direction == TraceRecord::Direction::Unasked  ? "<?"
                                                                               : "<x";
    return QStringLiteral("%1  %2 %3  ")
        .arg(static_cast<double>(record.timeUs) / 1e6, 12, 'f', 6)
        .arg(QLatin1String(arrow))
        .arg(record.baud, 6);
}

// The bytes a line shows, and what it says after them when it is cut.
QByteArray shown(const TraceRecord &record, int shownBytes)
{
    return shownBytes >= 0 ? record.bytes.left(shownBytes) : record.bytes;
}

QString cutNote(const TraceRecord &record, int shownBytes)
{
    if (shownBytes < 0 || record.bytes.size() <= shownBytes)
        return {};
    return QStringLiteral(" … (всего байт: %1)").arg(record.bytes.size());
}

} // namespace

TraceListModel::TraceListModel(const ExchangeTrace &trace, QObject *parent)
    : QAbstractListModel(parent), m_trace(trace), m_firstNumber(trace.firstRecentNumber()),
      m_rows(static_cast<int>(trace.recent().size()))
{}

int TraceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

const TraceRecord *TraceListModel::record(int row) const
{
    if (row < 0 || row >= m_rows)
        return nullptr;
    const qint64 at = m_firstNumber + row - m_trace.firstRecentNumber();
    if (at < 0 || at >= static_cast<qint64>(m_trace.recent().size()))
        return nullptr;
    return &m_trace.recent()[static_cast<std::size_t>(at)];
}

QVariant TraceListModel::data(const QModelIndex &index, int role) const
{
    const TraceRecord *r = index.isValid() ? record(index.row()) : nullptr;
    if (!r)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case HexLineRole:
        return hexLine(*r, ShownBytes);
    case TextLineRole:
        return textLine(*r, ShownBytes);
    case WholeHexLineRole:
        return hexLine(*r);
    case WholeTextLineRole:
        return textLine(*r);
    case TimeUsRole:
        return r->timeUs;
    case DirectionRole:
        return static_cast<int>(r->direction);
    case BaudRole:
        return r->baud;
    case BytesRole:
        return r->bytes;
    default:
        return {};
    }
}

QHash<int, QByteArray> TraceListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(TimeUsRole, "timeUs");
    names.insert(DirectionRole, "direction");
    names.insert(BaudRole, "baud");
    names.insert(BytesRole, "bytes");
    names.insert(HexLineRole, "hexLine");
    names.insert(TextLineRole, "textLine");
    names.insert(WholeHexLineRole, "wholeHexLine");
    names.insert(WholeTextLineRole, "wholeTextLine");
    return names;
}

bool TraceListModel::behind() const
{
    return m_firstNumber != m_trace.firstRecentNumber() ||
           m_rows != static_cast<int>(m_trace.recent().size());
}

bool TraceListModel::catchUp()
{
    if (!behind())
        return false;
    const qint64 first = m_trace.firstRecentNumber();
    const qint64 end = first + static_cast<qint64>(m_trace.recent().size());
    if (m_rows == 0) {
        m_firstNumber = first; // no row to move: the new ones are simply inserted
    } else if (first >= m_firstNumber + m_rows) {
        // Nothing shown is kept any more: the views start over.
        beginResetModel();
        m_firstNumber = first;
        m_rows = static_cast<int>(end - first);
        endResetModel();
        return true;
    }
    if (first > m_firstNumber) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(first - m_firstNumber) - 1);
        m_rows -= static_cast<int>(first - m_firstNumber);
        m_firstNumber = first;
        endRemoveRows();
    }
    if (end > m_firstNumber + m_rows) {
        beginInsertRows(QModelIndex(), m_rows, static_cast<int>(end - m_firstNumber) - 1);
        m_rows = static_cast<int>(end - m_firstNumber);
        endInsertRows();
    }
    return true;
}

QString TraceListModel::hexLine(const TraceRecord &record, int shownBytes)
{
    return prefix(record) + QString::fromLatin1(shown(record, shownBytes).toHex(' ').toUpper()) +
           cutNote(record, shownBytes);
}

QString TraceListModel::textLine(const TraceRecord &record, int shownBytes)
{
    const QByteArray bytes = shown(record, shownBytes);
    // One character per byte in windows-1251: the control bytes are found in the
    // decoded text at the bytes' own places.
    const QString decoded = Cp1251::decode(bytes);
    QString line = prefix(record);
    line.reserve(line.size() + decoded.size());
    for (int i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x20 || byte == 0x7F)
            line += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0'));
        else
            line += decoded.at(i);
    }
    return line + cutNote(record, shownBytes);
}

} // namespace kalent
