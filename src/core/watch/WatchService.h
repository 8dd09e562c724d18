#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <memory>

namespace kalent {

class Session;
class Timer;

// Unattended collection: keeps contact with the instrument on one port and
// follows its notices the way the reader and results pages' automatic chains do
// (the same flows, so the same names, bytes and safe writes): "measurement
// finished" reads the table and saves it under the instrument's name, "results
// ready" reads the protocol and saves it under its dated name. Reads run one at
// a time in the order the notices came. When the link goes (port closed, line
// down, a read left unanswered) it gets contact again after a growing pause and
// goes on with the read it was doing. stop() lets a read that is under way end
// (its file written whole) before stopped().
class WatchService : public QObject
{
    Q_OBJECT
public:
    static constexpr int ContactWaitMs = 8000;
    // How long a read waits to take the line, and to hear its result once the
    // line's owner ended it as done. While it holds the line, the owner's own
    // deadline decides: a reply that keeps coming, however slowly, may finish.
    static constexpr int ReadWaitMs = 10000;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LongestRetryMs = 30000;
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
    int queuedReads() const { return static_cast<int>(m_jobs.size()); }
    int nextRetryMs() const { return m_retryMs; }

Q_SIGNALS:
    // A file the chain saved (whole).
    void saved(const QString &path);
    // Something for the operator (stderr).
    void message(const QString &text);
    void stopped();

private:
    void connectNow();
    void contactCheck();
    void startSearch();
    void linkLost(const QString &why);
    void noticed(Job job);
    void runNextJob();
    void jobDone();
    void jobFailed(const QString &why);
    void pollLink();
    void finishStop();

    Session &m_session;
    QString m_portName;
    State m_state = State::Idle;
    std::unique_ptr<Timer> m_retryTimer;
    std::unique_ptr<Timer> m_contactTimer;
    std::unique_ptr<Timer> m_readTimer;
    std::unique_ptr<Timer> m_linkPoll;
    std::deque<Job> m_jobs;
    int m_attempts = 0;
    int m_retryMs = FirstRetryMs;
    // Getting contact: the probe at 115200 first, then the search.
    enum class ContactStep { Probe, Search };
    ContactStep m_contactStep = ContactStep::Search;
    qint64 m_contactDeadline = 0;
    bool m_stopRequested = false;
};

} // namespace kalent
