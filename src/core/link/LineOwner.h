#pragma once

#include "common/OperatorTexts.h"
#include "link/JobHandle.h"
#include "link/ReplyCode.h"
#include "link/ReplyEvents.h"

#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace kalent {

class Clock;
class SerialPort;
class Timer;

// The waits of the line's procedures that are no reply's silence limit: each
// is declared by its procedure and run by the line's owner on its clock.
enum class LineWait {
    SearchTick,      // the contact search's step: a probe, or the next speed
    SpeedChangeRest, // from the speed code to the search at the new speed
    ContactWindow,   // the fast contact's probe window, then its search's limit
    PageCountRest,   // a page count cut short is taken as it stands after it
    BootWait,        // the instrument switched on with the stylus reaches programming mode
    Timeout,         // the command line's --timeout: so long without progress ends its wait
};

// The line's owner runs the exchanges, one at a time. A feature takes the line
// for its job (refused while another job runs: no handle) and is handed the
// job's handle; the job ends exactly once (the handle's finished, then
// jobEnded), whichever way comes first: its owner's end, a cancel (cancelling,
// then the end), or its deadline. Only the job holding the line sends: every
// byte for the instrument goes out through send().
//
// The one clock of every exchange: the deadline is the silence limit the job
// declares; it restarts only when the awaited reply grows or a whole reply
// comes, so a line that stays silent, stops halfway or only babbles fails the
// job (NoAnswer, ReplyCut, Noise) with the words its owner gives for that
// silence. A job's timed steps (after()) run on the same clock and die with it.
//
// Only the job holding the line acts on a reply: one of a kind no job asked
// for is dropped (awaits(), replyUnasked), so a late or stray answer never
// ends, fills or restarts another exchange.
//
// The one notice queue: notices that come while a job runs (or while their
// user holds them) wait here and are served in order, each once, when the line
// is free, from the event loop, never inside the handler that ended the job.
// What a job's owner asks to run after the job (afterJob) is served first.
//
// The waits of the line's procedures (wait()) run on the same clock: the
// contact search's tick, the rest after a speed change, the boot wait. Each
// is one of a kind: declared again, it starts over; a job's end leaves them.
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

    // Where send() writes; without a port nothing is sent.
    void setPort(SerialPort *port) { m_port = port; }

    // Takes the line for job and hands back its handle; null while another job
    // runs (nothing changes). silenceMs 0: the job has no deadline. silence:
    // the words its deadline gives (noAnswer() when none is given).
    JobHandle *begin(LineJob job, int silenceMs = 0, SilenceReason silence = {});
    // The running job's handle (null on a free line).
    JobHandle *handle() const { return m_handle; }
    // The running job goes on as the next step of the same exchange (the table
    // is whole, the file name follows); the line is never free in between, and
    // the exchange ends once, as the job it became.
    void handOver(LineJob from, LineJob to, int silenceMs = 0);
    // Gives the line back; ignored unless job is the one running. A failure
    // without a reason of its own is an answer that cannot be taken.
    void end(LineJob job, JobOutcome outcome, const QString &reason = QString());
    void end(LineJob job, const JobResult &result);
    // Asks the running job's owner to stop it (cancelling()), and frees the
    // line whatever the owner did.
    void cancel(const QString &reason, JobReason why = JobReason::Cancelled);

    // Sends bytes for job; false (nothing sent) unless job holds the line.
    bool send(LineJob job, const QByteArray &bytes);
    // A probe that is no job of its own: sent on a free line or during the
    // contact search, false otherwise.
    bool sendProbe(const QByteArray &bytes);
    // Runs step after ms on the owner's clock, unless the job that asked has
    // ended by then (the next step of an exchange, never a blocking wait).
    void after(int ms, std::function<void()> step);

    // Runs then after ms on the owner's clock, in place of the same wait still
    // running; the procedure that declared it stops it when it moves on.
    void wait(LineWait which, int ms, std::function<void()> then);
    void stopWait(LineWait which);
    bool waiting(LineWait which) const;

    // What came from the instrument, as the dispatcher saw it: bytes of any
    // kind, a reply growing, and a whole reply (notices are neither).
    void bytesHeard();
    void replyProgressed(const ReplyProgress &progress);
    void replyArrived();
    // Whether a reply of this code is for the running job to act on. The
    // contact answer is the search's, or the link's on a free line (the "?"
    // probe); the restart report and the notices are the instrument's own.
    bool awaits(ReplyCode code) const;
    // A reply no job asked for: nobody acts on it; it is only said.
    void dropUnasked(const Message &reply) { Q_EMIT replyUnasked(reply.bytes); }
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
    // Bytes a job no longer (or never) holding the line tried to send: dropped.
    void sendRefused(kalent::LineJob job, const QByteArray &bytes);
    // A whole reply no job asked for was dropped (its progress moved nothing).
    void replyUnasked(const QByteArray &bytes);
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
    void stop(const JobResult &result);
    void restartDeadline();
    void serveNotices();
    // Serving starts from the event loop when something may be served.
    void scheduleServing();

    std::unique_ptr<Timer> m_deadline;
    std::unique_ptr<Timer> m_serve;
    std::unique_ptr<Timer> m_step;
    struct Wait
    {
        std::unique_ptr<Timer> timer;
        std::function<void()> then;
    };
    std::array<Wait, size_t(LineWait::Timeout) + 1> m_waits;
    std::function<void()> m_nextStep;
    SerialPort *m_port = nullptr;
    LineJob m_job = LineJob::None;
    JobHandle *m_handle = nullptr;
    // Since the job began (or its deadline last restarted): what came.
    bool m_progressed = false;
    bool m_bytesSinceProgress = false;
    int m_longestReply = 0;
    // While a job is being stopped: why (its owner's end keeps that reason).
    std::optional<JobReason> m_stopping;
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
