#include "link/ProgressWatch.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "link/Connection.h"
#include "link/ReceiveDispatcher.h"

namespace kalent {

ProgressWatch::ProgressWatch(Clock &clock, ReceiveDispatcher &dispatcher, MessagePane &pane,
                             Connection &connection, QObject *parent)
    : QObject(parent), m_clock(clock), m_dispatcher(dispatcher), m_pane(pane),
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
    connect(&m_connection, &Connection::panelChanged, this, [this] {
        if (m_connection.linkUp() != m_linkUp) {
            m_linkUp = m_connection.linkUp();
            progress();
        }
    });
}

qint64 ProgressWatch::searchCycleMs()
{
    // A probe and a step for each of the six speeds, then the tick that would
    // move on from the last one.
    return qint64(Connection::baudRates().size()) * 2 * Connection::SearchTickMs +
           Connection::SearchTickMs;
}

void ProgressWatch::start(qint64 limitMs)
{
    m_limitMs = limitMs;
    m_lastProgress = m_clock.nowMs();
    const std::optional<ReplyProgress> collecting = m_dispatcher.collecting();
    m_longestReply = collecting ? collecting->have : 0;
    m_highestProgress = m_pane.progress();
    m_linkUp = m_connection.linkUp();
    // A search already running keeps the time it started at.
    if (!m_connection.searching())
        m_searchStart = -1;
}

bool ProgressWatch::expired() const
{
    const qint64 now = m_clock.nowMs();
    if (now - m_lastProgress <= m_limitMs)
        return false;
    const bool searching = m_connection.searching() && m_connection.searchTimerActive();
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
