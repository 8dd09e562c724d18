#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

#include <deque>
#include <memory>
#include <optional>

namespace kalent {

class Clock;
class Timer;

// A recorded exchange trace read as a script: each step is what the program sent
// (consecutive "tx" entries joined, with the speed it sent them at) and what the
// instrument answered after it, each piece with its delay from the step's last
// sent byte. The instrument's bytes before the first command form a step that
// expects nothing.
struct ReplayScript
{
    struct Reply
    {
        qint64 delayMs = 0;
        QByteArray bytes;
    };
    struct Step
    {
        int line = 0; // the trace line of the step's first command entry
        int baud = 0;
        QByteArray expected;
        QVector<Reply> replies;
    };
    QVector<Step> steps;

    // Refuses a malformed file with the number of the line at fault. The file is
    // read line by line (none longer than 4 MiB, the file at most 256 MiB, only
    // a regular file), so memory holds the script, not the text.
    static std::optional<ReplayScript> load(const QString &path, QString *error);
    static std::optional<ReplayScript> parse(const QByteArray &text, QString *error);
};

// Serves a replay script as an instrument: every command the program sends is
// matched byte by byte against the recording, and once a step's command is
// complete its answers go out at the recorded pace. Where the program departs
// from the recording (other bytes, another speed, more than was recorded) it is
// reported with the trace line; the replay then picks up at the next step that
// begins with what the program sent, or waits for one.
class ReplayInstrument : public QObject
{
    Q_OBJECT
public:
    ReplayInstrument(ReplayScript script, Clock &clock, QObject *parent = nullptr);
    ~ReplayInstrument() override;

    // Sends the answers of a first step that expects nothing.
    void start();
    // Bytes the program sent at lineBaud.
    void hear(const QByteArray &bytes, int lineBaud);

    int stepsDone() const { return m_step; }
    // Steps whose answers went out (a step skipped by a departure is not one).
    int stepsAnswered() const { return m_answered; }
    int stepCount() const { return static_cast<int>(m_script.steps.size()); }
    int departures() const { return m_departures; }

Q_SIGNALS:
    void transmitted(const QByteArray &bytes);
    void departed(const QString &report);
    // Every step of the recording was answered.
    void finished();

private:
    void hearByte(char byte, int lineBaud);
    void completeStep();
    void schedule();
    void sendDue();
    void depart(const QString &report);
    void finishWhenDone();

    ReplayScript m_script;
    Clock &m_clock;
    std::unique_ptr<Timer> m_timer;
    struct Pending
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    std::deque<Pending> m_pending;
    int m_step = 0;
    int m_matched = 0;
    int m_departures = 0;
    int m_answered = 0;
    bool m_finished = false;
};

} // namespace kalent
