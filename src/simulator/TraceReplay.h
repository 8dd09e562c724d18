#pragma once

#include "InstrumentFeature.h"
#include "ReplayScript.h"

#include <QObject>

#include <array>
#include <deque>
#include <memory>
#include <optional>

namespace kalent {

class Timer;

// The built-in instrument answering from a recorded trace: every command the
// program sends is matched byte by byte against the recording, and once a
// step's command is complete its answers go out at the recorded pace. Where the
// program departs from the recording (other bytes, another speed, more than was
// recorded) it is reported with the trace line; the replay then picks up at the
// next step that begins with what the program sent, or waits for one.
//
// It takes the whole line (no other feature hears it) on an instrument set to
// VirtualInstrument::AnyBaud, so it hears the bytes as sent, with their speed,
// and its answers reach the line as recorded; see createReplayInstrument().
class TraceReplay : public QObject, public InstrumentFeature
{
    Q_OBJECT
public:
    TraceReplay(InstrumentControl &instrument, std::unique_ptr<ReplayScript> script,
                QObject *parent = nullptr);
    ~TraceReplay() override;

    // Sends the answers of a first step that expects nothing.
    void start();

    int consume(InstrumentControl &instrument, const QByteArray &heard) override;

    int stepsDone() const { return m_step; }
    // Steps whose answers went out (a step skipped by a departure is not one).
    int stepsAnswered() const { return m_answered; }
    int stepCount() const { return m_script->stepCount(); }
    int departures() const { return m_departures; }

    // What the operator is told, the same on a pseudo-terminal and in-process:
    // why a file cannot be served, a departure, and how far the replay came.
    static QString refusedText(const QString &path, const QString &why);
    static QString departureText(const QString &report);
    QString endText() const;

Q_SIGNALS:
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

    InstrumentControl &m_instrument;
    std::unique_ptr<ReplayScript> m_script;
    // The step being matched and where the one after it begins.
    std::optional<ReplayScript::Step> m_current;
    ReplayScript::Position m_nextAt;
    // What a search for a step beginning with a byte found, so that a program
    // that keeps sending bytes the recording does not have reads the rest of
    // the trace once per byte value, not once per byte. It must answer exactly
    // as a fresh search from the current step would.
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
