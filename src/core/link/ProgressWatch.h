#pragma once

#include "link/ReplyEvents.h"

#include <QObject>

namespace kalent {

class Clock;
class Connection;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;

// Decides when a wait for the instrument has gone on too long: when the given
// time has passed without progress toward the awaited reply. Progress is
//  - a reply being collected growing longer than any before it in this wait,
//    as long as its length is known and not passed,
//  - the progress bar rising above any value it showed in this wait,
//  - the instrument's line going up or down (it restarts, it is switched on),
//  - a contact search starting (the first one, or again after a speed change),
//    and the instrument answering one.
// Noise is none of these for long: a line that babbles ends the wait as a
// silent one does. A contact search is never given up before it has probed
// every speed once.
//
// The wait runs on the line's owner's clock (its Timeout wait): timedOut() is
// said once the limit has passed without progress, and nothing polls.
class ProgressWatch : public QObject
{
    Q_OBJECT
public:
    ProgressWatch(Clock &clock, LineOwner &line, ReceiveDispatcher &dispatcher, MessagePane &pane,
                  Connection &connection, QObject *parent = nullptr);

    // One whole cycle of the contact search over the six speeds, with the tick
    // that takes the last answer.
    static qint64 searchCycleMs();

    // Begins a wait that may last limitMs without progress.
    void start(qint64 limitMs);
    // Ends the wait: timedOut() is no longer said.
    void stop();
    bool expired() const;
    qint64 lastProgressMs() const { return m_lastProgress; }

Q_SIGNALS:
    // The wait went on limitMs without progress.
    void timedOut();

private:
    // Looks when the wait would end without progress, and again then.
    void armCheck();
    void progress();
    void replyGrew(const ReplyProgress &reply);

    Clock &m_clock;
    LineOwner &m_line;
    ReceiveDispatcher &m_dispatcher;
    MessagePane &m_pane;
    Connection &m_connection;
    qint64 m_limitMs = 0;
    qint64 m_lastProgress = 0;
    qint64 m_searchStart = -1;
    int m_longestReply = 0;
    int m_highestProgress = 0;
    bool m_linkUp = false;
};

} // namespace kalent
