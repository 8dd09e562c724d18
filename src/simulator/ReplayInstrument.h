#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QVector>

#include <array>
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
//
// The steps stay in the file: a whole pass checks it when it is opened (a
// malformed line is refused with its number) and counts the steps, then they
// are read one at a time while the replay serves them, so memory holds about one
// exchange, whatever the size of the trace.
class ReplayScript
{
public:
    struct Reply
    {
        qint64 delayMs = 0;
        QByteArray bytes;
    };
    struct Step
    {
        int line = 0; // the trace line of the step's first entry
        int baud = 0;
        QByteArray expected;
        QVector<Reply> replies;
    };
    // Where a step begins: its first entry's byte offset and line number.
    struct Position
    {
        qint64 offset = 0;
        int line = 1;
    };

    // Opens and checks a trace file (only a regular file, at most 256 MiB, no
    // line longer than 4 MiB).
    static std::unique_ptr<ReplayScript> load(const QString &path, QString *error);
    // The same for a trace held in memory.
    static std::unique_ptr<ReplayScript> parse(const QByteArray &text, QString *error);
    ~ReplayScript();

    int stepCount() const { return m_stepCount; }
    // The speed of the first command, or 0 when there is none.
    int firstBaud() const { return m_firstBaud; }
    // The step that begins at `at`, and in *next where the one after it begins;
    // nothing at the end of the trace or when the file can no longer be read.
    std::optional<Step> read(Position at, Position *next, QString *error = nullptr);

private:
    ReplayScript(std::unique_ptr<QIODevice> device, QString name);
    bool check(QString *error);

    std::unique_ptr<QIODevice> m_device;
    QString m_name;
    QByteArray m_line; // one line's buffer, reused
    int m_stepCount = 0;
    int m_firstBaud = 0;
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
    ReplayInstrument(std::unique_ptr<ReplayScript> script, Clock &clock, QObject *parent = nullptr);
    ~ReplayInstrument() override;

    // Sends the answers of a first step that expects nothing.
    void start();
    // Bytes the program sent at lineBaud.
    void hear(const QByteArray &bytes, int lineBaud);

    int stepsDone() const { return m_step; }
    // Steps whose answers went out (a step skipped by a departure is not one).
    int stepsAnswered() const { return m_answered; }
    int stepCount() const { return m_script->stepCount(); }
    int departures() const { return m_departures; }

Q_SIGNALS:
    void transmitted(const QByteArray &bytes);
    void departed(const QString &report);
    // Every step of the recording was answered (never when the trace could not
    // be read to its end).
    void finished();

private:
    void hearByte(char byte, int lineBaud);
    // Makes the step at `at` (number index) the one the program's bytes are
    // matched against.
    void enterStep(int index, ReplayScript::Position at);
    // Picks up at the next step after the current one that begins with byte.
    bool pickUpAt(char byte);
    void completeStep();
    void schedule();
    void sendDue();
    void depart(const QString &report);
    void finishWhenDone();

    std::unique_ptr<ReplayScript> m_script;
    Clock &m_clock;
    // The step being matched and where the one after it begins.
    std::optional<ReplayScript::Step> m_current;
    ReplayScript::Position m_nextAt;
    // What a search for a step beginning with a byte found, so that a program
    // that keeps sending bytes the recording does not have reads the rest of
    // the trace once per byte value, not once per byte.
    struct Lookahead
    {
        int from = -1;  // the step the search began after; -1: never searched
        int found = -1; // the step found, or -1 when none after `from` begins so
        ReplayScript::Position at;
    };
    std::array<Lookahead, 256> m_lookahead{};
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
    bool m_traceLost = false; // a step could not be read back: never "finished"
};

} // namespace kalent
