#pragma once

#include <QString>
#include <QStringList>

namespace kalent {

// Where the link to the instrument stands. Each value says what runs on the
// line and which of the two link timers belongs to it; Connection::moveTo is
// the one place a phase changes.
enum class LinkPhase {
    // No answer from the instrument: before the first search, after a search
    // that ended without one (stopped, or its port closed).
    NoContact,
    // A search runs (its timer ticks): the next tick sends "B" at the present speed.
    ProbeDue,
    // A search runs: "B" went out; the next tick moves on to the next speed.
    AwaitingAnswer,
    // A search halted by a line drop: nothing more goes out, but a late answer
    // still counts as contact.
    SearchHalted,
    // The instrument answered "B".
    InContact,
    // The speed code went out after the answer; the search starts again at
    // 4800 shortly (the restart timer runs).
    ChangingSpeed,
};

// The link as one value: what the link service knows and every view of it is
// derived from. Speeds are bauds; 0 where none was set yet.
struct LinkState
{
    // The ports to choose from, and the one chosen (open or to be opened).
    QStringList ports;
    QString portName = QStringLiteral("COM1");
    // The port as the link last saw it: a port that closed itself reads
    // closed here only once the link noticed.
    bool portOpen = false;
    // The instrument's line (CTS) as the last link check found it.
    bool lineUp = false;
    LinkPhase phase = LinkPhase::NoContact;
    // A search was asked for by "Контакт" or a page and neither answered nor
    // stopped: the operator may stop it. Not the line's phase: it stands while
    // a search waits for the line to come up, and the speed box's search does
    // not set it.
    bool searchAskedFor = false;
    // The speed the port is set to now.
    int lineBaud = 0;
    // The speed the instrument last answered at, or the port opened at: the
    // speed the link returns to when a search is stopped.
    int agreedBaud = 9600;
    // The speed of the last probe, answer or opening; 0 before the first.
    int reportedBaud = 0;
    // A speed the operator or a page asked for, carried out at the next answer.
    // It outlives searches that do not start (line down) and stays pending
    // when the instrument already answers at that speed.
    int requestedBaud = 4800;
    bool speedChangeRequested = false;
    // The operator chose another port and no answer came since: the wizard is
    // not told of a line drop that is only the port change.
    bool portChanged = false;
    // A database write or a firmware upload holds the line: nothing of the
    // link's may go out until it ends.
    bool lineWritten = false;

    // The instrument has answered (a speed change after the answer included).
    bool contact() const
    {
        return phase == LinkPhase::InContact || phase == LinkPhase::ChangingSpeed;
    }
    // A search probes the speeds (its timer ticks).
    bool probing() const
    {
        return phase == LinkPhase::ProbeDue || phase == LinkPhase::AwaitingAnswer;
    }
    // A search runs or is halted (a late answer still ends it).
    bool searching() const { return probing() || phase == LinkPhase::SearchHalted; }
    // The instrument answered at 115200 and no speed change is under way.
    bool atFastestSpeed() const;

    bool operator==(const LinkState &o) const;
    bool operator!=(const LinkState &o) const { return !(*this == o); }
};

} // namespace kalent
