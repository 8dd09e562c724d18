#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace kalent {

class Clock;
class Timer;

// Every exchange the program runs with the instrument.
enum class LineJob {
    None,
    ContactSearch, // the search over the speeds, with the speed change that rides on it
    Table,         // "G" until the optical-density table is whole
    FileName,      // "D" until the table's file name came
    Protocol,      // "g" until the protocol text is whole (or announced empty)
    DatabaseRead,  // "R" until the last page
    DatabaseWrite, // "M" until the instrument took the last page
    FirmwareUpload // the marker until the instrument restarted
};

enum class JobOutcome { Done, Failed, Cancelled };

// The line's owner: one exchange at a time. A feature takes the line for its
// job (refused while another job runs), and gives it back with the outcome.
// A job that hears nothing from the instrument for its deadline ends as
// failed; any byte that arrives restarts the wait. Notices that come while a
// job runs wait here and are served in order once the line is free (from the
// event loop, never inside the handler that ended the job).
class LineOwner : public QObject
{
    Q_OBJECT
public:
    // How long a table, file name or protocol waits for the instrument's next
    // byte before the job is given up (the instrument only answers).
    static constexpr int ReplySilenceMs = 10000;

    explicit LineOwner(Clock &clock, QObject *parent = nullptr);
    ~LineOwner() override;

    bool busy() const { return m_job != LineJob::None; }
    LineJob job() const { return m_job; }
    // A write to the instrument's memory is running: a database write or a
    // firmware upload. Nothing else may go on the line until it ends.
    bool writing() const
    {
        return m_job == LineJob::DatabaseWrite || m_job == LineJob::FirmwareUpload;
    }

    // Takes the line for job; false while another job runs (nothing changes).
    // silenceMs 0: the job has no deadline of its own.
    bool begin(LineJob job, int silenceMs = 0);
    // The running job goes on as the next step of the same exchange (the table
    // is whole, the file name follows); the line is never free in between.
    void handOver(LineJob from, LineJob to, int silenceMs = 0);
    // Gives the line back; ignored unless job is the one running.
    void end(LineJob job, JobOutcome outcome, const QString &reason = QString());
    // Asks the running job's owner to stop it (cancelling()), and frees the
    // line whatever the owner did.
    void cancel(const QString &reason);

    // Bytes came from the instrument: the running job's deadline starts again.
    void heardFromInstrument();
    // A notice: served now on a free line, otherwise after the running job.
    void notice(std::function<void()> serve);
    int queuedNotices() const { return static_cast<int>(m_notices.size()); }

    static QString jobName(LineJob job);
    // What the operator reads when an exchange is refused while another runs.
    QString busyText() const;

Q_SIGNALS:
    void busyChanged(bool busy);
    void jobStarted(kalent::LineJob job);
    void jobEnded(kalent::LineJob job, kalent::JobOutcome outcome, const QString &reason);
    // The running job is to stop now (the operator, a lost port, a deadline):
    // its owner ends it with the reason, says so and resets what it shows.
    void cancelling(kalent::LineJob job, kalent::JobOutcome outcome, const QString &reason);

private:
    void deadlinePassed();
    void serveNotices();

    std::unique_ptr<Timer> m_deadline;
    std::unique_ptr<Timer> m_serve;
    LineJob m_job = LineJob::None;
    int m_silenceMs = 0;
    std::deque<std::function<void()>> m_notices;
};

} // namespace kalent

Q_DECLARE_METATYPE(kalent::LineJob)
Q_DECLARE_METATYPE(kalent::JobOutcome)
