#pragma once

#include <QObject>
#include <QString>

namespace kalent {

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

// Why a job ended as it did, as a value every edge renders in its own words.
enum class JobReason {
    None,      // done
    Refused,   // the instrument answered that it will not
    BadReply,  // an answer came whole but cannot be taken
    NoAnswer,  // nothing toward the reply came within the job's silence limit
    ReplyCut,  // the reply began and then stopped coming
    Noise,     // bytes came, but none of them brought the reply on
    LineGone,  // the port closed under the job (the device went away)
    Cancelled, // someone stopped it: the operator, a page, another port, the exit
};

struct JobResult
{
    JobOutcome outcome = JobOutcome::Done;
    JobReason reason = JobReason::None;
    // The reason as its job words it (the pane's and the journal's text).
    QString details;

    bool operator==(const JobResult &other) const
    {
        return outcome == other.outcome && reason == other.reason && details == other.details;
    }
};

// One exchange started on the line's owner, as a network request's reply is:
// progress while it runs and exactly one finished() with its result, given to
// whoever holds the handle. The owner makes, runs and ends it; the handle is
// deleted later, from the event loop, once it has finished.
class JobHandle : public QObject
{
    Q_OBJECT
public:
    // The job as it is now (a table whose file name follows becomes FileName).
    LineJob job() const { return m_job; }
    bool isFinished() const { return m_finished; }
    const JobResult &result() const { return m_result; }

Q_SIGNALS:
    // The awaited reply grew: have bytes of need (need -1 while not known).
    void progressed(int have, int need);
    void finished(const kalent::JobResult &result);

private:
    friend class LineOwner;
    JobHandle(LineJob job, QObject *parent) : QObject(parent), m_job(job) {}
    void finish(const JobResult &result);

    LineJob m_job;
    bool m_finished = false;
    JobResult m_result;
};

} // namespace kalent

Q_DECLARE_METATYPE(kalent::LineJob)
Q_DECLARE_METATYPE(kalent::JobOutcome)
Q_DECLARE_METATYPE(kalent::JobReason)
Q_DECLARE_METATYPE(kalent::JobResult)
