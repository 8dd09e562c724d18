#pragma once

#include <QAbstractListModel>

namespace kalent {

class ExchangeTrace;
struct TraceRecord;

// The exchange trace's recent records as a list, oldest first: one row per
// record the trace keeps in memory (time, direction, speed, bytes). It copies
// no record and keeps no rendering: a row's hex or text line is made when a
// view asks for it, which a view does only for the rows it paints. The rows
// follow the trace only when catchUp() is called; recording costs the model
// nothing, so whoever shows it catches up at the screen's pace and not at all
// while nobody looks. A row whose record the trace's bounds dropped before the
// catch-up shows nothing (never another record). Lines are cut after
// ShownBytes bytes and say the record's length; the whole lines are roles too.
class TraceListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        TimeUsRole = Qt::UserRole + 1, // qint64
        DirectionRole,                 // TraceRecord::Direction as int
        BaudRole,                      // int
        BytesRole,                     // QByteArray, whole
        HexLineRole,                   // QString, cut (also Qt::DisplayRole)
        TextLineRole,                  // QString, cut
        WholeHexLineRole,              // QString
        WholeTextLineRole,             // QString
    };
    static constexpr int ShownBytes = 128;

    explicit TraceListModel(const ExchangeTrace &trace, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Brings the rows to the records the trace keeps now: those it dropped go
    // from the top, new ones are appended (one removal and one insertion at
    // most; a reset when no row survives). Returns whether the rows changed.
    bool catchUp();
    // Whether the trace holds records the rows do not show yet, or dropped some they do.
    bool behind() const;

    // The trace's number of the record in row 0 (see ExchangeTrace::firstRecentNumber):
    // a record's row is its number less this.
    qint64 firstNumber() const { return m_firstNumber; }

    // The record a row shows; null when the trace has dropped it.
    const TraceRecord *record(int row) const;

    // A record as a line: time, direction, speed and the bytes in hex, or as
    // windows-1251 text with control bytes shown as <xx>. With shownBytes >= 0,
    // a longer record is cut there and the line ends with its whole length.
    static QString hexLine(const TraceRecord &record, int shownBytes = -1);
    static QString textLine(const TraceRecord &record, int shownBytes = -1);

private:
    const ExchangeTrace &m_trace;
    qint64 m_firstNumber = 0; // the trace's number of the record in row 0
    int m_rows = 0;
};

} // namespace kalent
