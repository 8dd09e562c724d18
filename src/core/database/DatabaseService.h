#pragma once

#include "database/DatabaseTransfer.h"
#include "database/DatabaseWriteInput.h"
#include "link/LineOwner.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace kalent {

class Clock;
class Connection;
class DataFolder;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The database's jobs with the instrument: the read, the write, the backup
// saved before a write and the restore of a backup. Each job runs on the line's
// owner and ends exactly once (jobEnded); every way out of a write (a refused
// page, silence, "Контакт", a lost port, cancel() with its reason) ends it
// through the same path, so the pane and the journal say the same words and
// the bar goes back to 0.
//
// A write takes its input whole when asked for (DatabaseWriteInput) and holds
// it until it ends; when it must first read the instrument's database for its
// backup it waits in the state WaitingForBackup, and a read that fails drops it
// with the reason. The backup is the read's image as the instrument sent it.
class DatabaseService : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle, Reading, WaitingForBackup, Writing };
    // The service's state as one value: the job and, while a write waits or
    // runs, what it writes.
    struct State
    {
        Phase phase = Phase::Idle;
        std::optional<DatabaseWriteInput> write;
    };

    DatabaseService(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                    Connection &connection, MessagePane &pane, Clock &clock,
                    const DataFolder &dataFolder, QObject *parent = nullptr);
    ~DatabaseService() override;

    const State &state() const { return m_state; }
    Phase phase() const { return m_state.phase; }
    // A write waits for its backup read or runs: the lists it was taken from
    // must not change under the operator's eyes.
    bool writeAhead() const
    {
        return m_state.phase == Phase::WaitingForBackup || m_state.phase == Phase::Writing;
    }
    DatabaseTransfer &transfer() { return m_transfer; }
    // From the page-count request until the read completes or fails.
    bool reading() const { return m_transfer.reading(); }

    // Where a write's opening journal line goes; without it the line is only
    // announced (journalEvent) and the write always starts.
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_journalGate = std::move(gate);
    }
    // Whether every write first saves the instrument's current database under
    // backups/ (on unless the command line says --no-backup).
    void setBackupBeforeWrite(bool on) { m_backupBeforeWrite = on; }
    // How the operator asks for a write without a backup where this runs (an
    // option, a menu entry): named when the backup's read fails.
    void setNoBackupWay(const QString &how) { m_noBackupWay = how; }

    // Starts a read of the instrument's database; false (the pane says why)
    // when the port is closed or the line is busy.
    bool read();
    // Starts the write of input (after the read of its backup when needed);
    // false when refused at once (the pane says why).
    bool write(DatabaseWriteInput input);
    // Stops the running read or write, or drops the write waiting for its
    // backup, with the reason the pane and the journal give.
    void cancel(const QString &reason);

    int readsCompleted() const { return m_readsCompleted; }
    int readsFailed() const { return m_readsFailed; }
    int writesCompleted() const { return m_writesCompleted; }

Q_SIGNALS:
    void stateChanged();
    // A read went out (the operator's, a write's backup or its read-back): the
    // instrument list is about to be replaced.
    void readStarted();
    // A read came whole and passed the checks: image as the instrument sent it.
    void readDone(const QByteArray &image, int pagesReceived);
    // A read ended without a list; noPages: the instrument announced none
    // (nothing is said and nothing shown changes).
    void readFailed(bool noPages);
    // A read or a write ended (after readDone or readFailed for a read).
    void jobEnded(kalent::LineJob job, kalent::JobOutcome outcome, const QString &why);
    // A write was asked for but never started (why says so, as the pane does).
    void writeNotStarted(const QString &why);
    // The read-back after a write ended: Done only when the instrument holds
    // exactly the pages sent; otherwise why names the first page that differs
    // (or the read-back that failed). The pane and the journal say the same.
    void writeChecked(kalent::JobOutcome outcome, const QString &why);
    // A line for the service journal.
    void journalEvent(const QString &line);

private:
    void setPhase(Phase phase);
    void readEnded(JobOutcome outcome, const QByteArray &image, const QString &why);
    // The read's own end; true when its image passed the checks.
    bool finishRead(JobOutcome outcome, const QByteArray &image, const QString &why);
    void checkWritten(const DatabaseWriteInput &written, const QByteArray &readBack);
    void failRead(const QString &text, JobOutcome outcome);
    void pageReceived(int pageNo, int pageCount);
    // Saves the last complete read as the backup, then starts the write.
    void backUpAndWrite();
    void startWrite(const QString &backupNote);
    // readFailed: the instrument's database could not be read for the backup.
    void refuseWrite(const QString &why, bool readFailed = false);
    void writeEnded(JobOutcome outcome, const QString &why);
    QString journalLine(const QString &result, const QString &backupNote) const;
    static QString journalLine(const DatabaseWriteInput &input, const QString &result,
                               const QString &backupNote);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    DatabaseTransfer m_transfer;
    std::function<QString(const QString &line)> m_journalGate;
    bool m_backupBeforeWrite = true;
    QString m_noBackupWay = QStringLiteral("об этом нужно попросить явно");

    State m_state;
    QString m_backupNote; // the running write's backup, as its journal lines name it
    QString m_backupPath; // and its file (empty: none was saved)
    // A write the instrument took whole, until its read-back is compared with it.
    std::optional<DatabaseWriteInput> m_written;
    // The last complete read of this connection as the instrument sent it (empty:
    // none since the port opened or the search began): what a backup saves.
    QByteArray m_lastRead;
    int m_readsCompleted = 0;
    int m_readsFailed = 0;
    int m_writesCompleted = 0;
};

} // namespace kalent
