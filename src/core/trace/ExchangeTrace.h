#pragma once

#include "trace/TraceRecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>

#include <deque>

namespace kalent {

// The running record of every byte exchanged with the instrument: the most recent
// entries kept in memory for the trace window (bounded in count and in bytes; none
// where nobody looks, as in the headless actions) and, once a file is given,
// appended to it one JSON line per entry, each handed to the system whole as it
// is recorded. Only a regular file (or nothing yet) is a trace file: a FIFO or a
// device is refused at openFile. A file that cannot be opened or written never
// stops the exchange: the failure is reported once, in Russian with its reason
// (openFile's answer or writeFailed), the file is left ending with a whole line
// (a line taken in part is cut off), and the trace goes on in memory.
class ExchangeTrace : public QObject
{
    Q_OBJECT
public:
    static constexpr int KeptInMemory = 20000;
    static constexpr qint64 KeptBytes = 4 * 1024 * 1024;

    explicit ExchangeTrace(QObject *parent = nullptr);

    // Whether recent() keeps entries (on by default).
    void setKeepRecent(bool keep);

    // Appends to the file (creating it); writes the run's "start" entry. Returns
    // an empty string on success, otherwise the Russian sentence saying why.
    QString openFile(const QString &path);
    QString filePath() const { return m_file.fileName(); }
    bool writingFile() const { return m_file.isOpen(); }

    // timeUs: when the bytes passed, on elapsedUs()'s clock; -1 for now.
    void record(TraceRecord::Direction direction, int baud, const QString &port,
                const QByteArray &bytes, qint64 timeUs = -1);
    // Microseconds since the trace started: the clock of every record.
    qint64 elapsedUs() const { return m_elapsed.nsecsElapsed() / 1000; }
    const std::deque<TraceRecord> &recent() const { return m_recent; }
    // Records are numbered from 0 in the order recorded; recent() holds those
    // from this number on. It only grows, so a reader that remembers numbers
    // knows which of its records the bounds have dropped since it last looked.
    qint64 firstRecentNumber() const
    {
        return m_recordedCount - static_cast<qint64>(m_recent.size());
    }

Q_SIGNALS:
    void recorded(const TraceRecord &record);
    // The file stopped taking entries; said once, the trace goes on in memory.
    void writeFailed(const QString &message);

private:
    // Empty, or the failure (the file is then closed).
    QString append(const TraceRecord &record);

    QElapsedTimer m_elapsed;
    QFile m_file;
    std::deque<TraceRecord> m_recent;
    qint64 m_recordedCount = 0;
    qint64 m_recentBytes = 0;
    bool m_keepRecent = true;
};

} // namespace kalent
