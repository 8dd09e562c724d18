#pragma once

#include <QObject>
#include <QString>

#include "link/LineOwner.h"

#include <memory>

namespace kalent {

class Session;
class Timer;

// Unattended collection: keeps contact with the instrument on one port and
// follows its notices the way the reader and results pages' automatic chains do
// (the same flows, so the same names, bytes and safe writes): "measurement
// finished" reads the table and saves it under the instrument's name, "results
// ready" reads the protocol and saves it under its dated name. Each read is a
// job of the line's owner and ends as the owner says (its one deadline); the
// notices wait in the owner's one queue, which the service holds while it is not
// following (getting contact, waiting to retry, reading), and are served in the
// order they came. When the link goes (port closed, line down, a read left
// unanswered) the read under way gives the line up at once, and the service gets
// contact again after a growing pause and does that read again first, at most
// ReadAttempts times in all. stop() lets a read that is under way end (its file
// written whole) before stopped().
class WatchService : public QObject
{
    Q_OBJECT
public:
    static constexpr int ContactWaitMs = 8000;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LongestRetryMs = 30000;
    // How often the port looks at a quiet line (the service itself never does).
    static constexpr int LinkPollMs = 500;
    // A read that failed this often is given up (and said so).
    static constexpr int ReadAttempts = 3;

    enum class Job { Table, Protocol };
    enum class State { Idle, Connecting, Following, Reading, WaitingToRetry, Stopped };

    WatchService(Session &session, const QString &portName, QObject *parent = nullptr);
    ~WatchService() override;

    void start();
    void stop();
    State state() const { return m_state; }
    int nextRetryMs() const { return m_retryMs; }

Q_SIGNALS:
    // A file the chain saved (whole).
    void saved(const QString &path);
    // Something for the operator (stderr).
    void message(const QString &text);
    void stopped();

private:
    void connectNow();
    void contactEnded(bool reached);
    void linkLost(const QString &why);
    // A notice served by the line's owner (again: a read cut short, done again).
    void noticed(Job job, bool again = false);
    void startRead(Job job);
    void readEnded(const JobResult &result);
    // Notices wait with the line's owner unless the service follows.
    void moveTo(State state);
    void jobDone();
    void jobFailed(const QString &why);
    void finishStop();

    Session &m_session;
    QString m_portName;
    State m_state = State::Idle;
    std::unique_ptr<Timer> m_retryTimer;
    // The read under way (or cut, to be done again), and its attempts so far.
    Job m_read = Job::Table;
    int m_attempts = 0;
    // Counts the reads started, so a late word about an earlier one is ignored.
    quint64 m_readSerial = 0;
    int m_retryMs = FirstRetryMs;
    bool m_stopRequested = false;
};

} // namespace kalent
