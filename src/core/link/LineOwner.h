#pragma once

#include "common/OperatorTexts.h"
#include "link/ReplyCode.h"

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

// The line's owner runs the exchanges, one at a time. A feature takes the line
// for its job (refused while another job runs) and ends it with its outcome;
// the job ends exactly once (jobEnded), whichever way comes first: its owner's
// end, a cancel (cancelling, then jobEnded), or its deadline. The deadline is
// the one silence deadline of every exchange: a job that hears nothing from
// the instrument for its silenceMs fails, with the reason its owner gives for
// that silence; any byte that arrives restarts the wait.
//
// The one notice queue: notices that come while a job runs (or while their
// user holds them) wait here and are served in order, each once, when the line
// is free, from the event loop, never inside the handler that ended the job.
// What a job's owner asks to run after the job (afterJob) is served first.
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

    // What a job's silence means, said when its deadline passes.
    using SilenceReason = std::function<QString()>;
    static QString noAnswer() { return OperatorTexts::noReply(); }

    // Takes the line for job; false while another job runs (nothing changes).
    // silenceMs 0: the job has no deadline. silence: the reason its deadline
    // gives (noAnswer() when none is given).
    bool begin(LineJob job, int silenceMs = 0, SilenceReason silence = {});
    // The running job goes on as the next step of the same exchange (the table
    // is whole, the file name follows); the line is never free in between, and
    // the exchange ends once, as the job it became.
    void handOver(LineJob from, LineJob to, int silenceMs = 0);
    // Gives the line back; ignored unless job is the one running.
    void end(LineJob job, JobOutcome outcome, const QString &reason = QString());
    // Asks the running job's owner to stop it (cancelling()), and frees the
    // line whatever the owner did.
    void cancel(const QString &reason);

    // Bytes came from the instrument: the running job's deadline starts again.
    void heardFromInstrument();
    // A notice: served now on a free line with nothing waiting, otherwise in
    // turn once the line is free.
    void notice(ReplyCode code, std::function<void()> serve);
    // A notice served again before any other (a read cut short is done again
    // once its user is ready).
    void noticeAgain(ReplyCode code, std::function<void()> serve);
    // Runs then from the event loop once the line is free, before any notice and
    // even while notices are held: what follows a job once all that ended it is done.
    void afterJob(std::function<void()> then);
    // While held, notices wait even on a free line (their user is getting
    // contact again); released, they are served in order.
    void holdNotices(bool held);
    bool noticesHeld() const { return m_held; }
    int queuedNotices() const { return static_cast<int>(m_notices.size()); }
    // Whether a notice of this kind waits its turn.
    bool noticeWaiting(ReplyCode code) const;

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
    struct Notice
    {
        ReplyCode code;
        std::function<void()> serve;
    };

    void deadlinePassed();
    // Asks the running job's owner to stop it, and ends it unless the owner did.
    void stop(JobOutcome outcome, const QString &reason);
    void serveNotices();
    // Serving starts from the event loop when something may be served.
    void scheduleServing();

    std::unique_ptr<Timer> m_deadline;
    std::unique_ptr<Timer> m_serve;
    LineJob m_job = LineJob::None;
    // Counts the jobs begun: a job's end that comes after another job began
    // (a listener started the next one) never ends that one.
    quint64 m_serial = 0;
    int m_silenceMs = 0;
    SilenceReason m_silence;
    bool m_held = false;
    std::deque<std::function<void()>> m_afterJob;
    std::deque<Notice> m_notices;
};

} // namespace kalent

Q_DECLARE_METATYPE(kalent::LineJob)
Q_DECLARE_METATYPE(kalent::JobOutcome)
