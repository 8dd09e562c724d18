#include "link/ProgressWatch.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "link/LineSpeeds.h"
#include "link/ReceiveDispatcher.h"

#include <algorithm>
#include <limits>

namespace kalent {

ProgressWatch::ProgressWatch(Clock &clock, LineOwner &line, ReceiveDispatcher &dispatcher,
                             MessagePane &pane, Connection &connection, QObject *parent)
    : QObject(parent), m_clock(clock), m_line(line), m_dispatcher(dispatcher), m_pane(pane),
      m_connection(connection)
{
    m_dispatcher.subscribeProgress([this](const ReplyProgress &reply) { replyGrew(reply); });
    connect(&m_pane, &MessagePane::progressChanged, this, [this](int percent) {
        if (percent > m_highestProgress && percent <= 100) {
            m_highestProgress = percent;
            progress();
        }
    });
    connect(&m_connection, &Connection::searchStarted, this, [this] {
        m_searchStart = m_clock.nowMs();
        progress();
    });
    connect(&m_connection, &Connection::searchAnswered, this, &ProgressWatch::progress);
    connect(&m_connection, &Connection::stateChanged, this, [this] {
        if (m_connection.lineUp() != m_linkUp) {
            m_linkUp = m_connection.lineUp();
            progress();
        }
    });
}

qint64 ProgressWatch::searchCycleMs()
{
    // A probe and a step for each of the six speeds, then the tick that would
    // move on from the last one.
    return qint64(LineSpeeds::Bauds.size()) * 2 * Connection::SearchTickMs +
           Connection::SearchTickMs;
}

void ProgressWatch::start(qint64 limitMs)
{
    m_limitMs = limitMs;
    m_lastProgress = m_clock.nowMs();
    const std::optional<ReplyProgress> collecting = m_dispatcher.collecting();
    m_longestReply = collecting ? collecting->have : 0;
    m_highestProgress = m_pane.progress();
    m_linkUp = m_connection.lineUp();
    // A search already running keeps the time it started at.
    if (!m_connection.searching())
        m_searchStart = -1;
    armCheck();
}

void ProgressWatch::stop()
{
    m_line.stopWait(LineWait::Timeout);
}

void ProgressWatch::armCheck()
{
    // The progress since it was armed moves the look on; a search not yet round
    // all six speeds is looked at again a tick later.
    const qint64 left = m_lastProgress + m_limitMs - m_clock.nowMs();
    const qint64 longest = qint64(std::numeric_limits<int>::max());
    const int ms = left > 0 ? int(std::min(left + 1, longest)) : Connection::SearchTickMs;
    m_line.wait(LineWait::Timeout, ms, [this] {
        if (expired())
            Q_EMIT timedOut();
        else
            armCheck();
    });
}

bool ProgressWatch::expired() const
{
    const qint64 now = m_clock.nowMs();
    if (now - m_lastProgress <= m_limitMs)
        return false;
    const bool searching = m_connection.state().probing();
    return !(searching && m_searchStart >= 0 && now - m_searchStart <= searchCycleMs());
}

void ProgressWatch::progress()
{
    m_lastProgress = m_clock.nowMs();
}

void ProgressWatch::replyGrew(const ReplyProgress &reply)
{
    // A reply whose length is not known (a protocol text nobody announced)
    // may be babble of any length.
    if (reply.have > m_longestReply && reply.have <= reply.need) {
        m_longestReply = reply.have;
        progress();
    }
}

} // namespace kalent
