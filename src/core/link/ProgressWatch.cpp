#include "link/ProgressWatch.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "link/Connection.h"
#include "link/LineSpeeds.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

namespace kalent {

ProgressWatch::ProgressWatch(Clock &clock, SerialPort &port, ReceiveDispatcher &dispatcher,
                             MessagePane &pane, Connection &connection,
                             AnnouncedLength protocolLength, QObject *parent)
    : QObject(parent), m_clock(clock), m_dispatcher(dispatcher), m_pane(pane),
      m_connection(connection), m_protocolLength(std::move(protocolLength))
{
    // Connected after the dispatcher, so the buffer is seen as the event left it.
    connect(&port, &SerialPort::commEvent, this, &ProgressWatch::afterCommEvent);
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
    m_longestReply = m_dispatcher.inBuffer().size();
    m_highestProgress = m_pane.progress();
    m_linkUp = m_connection.lineUp();
    // A search already running keeps the time it started at.
    if (!m_connection.searching())
        m_searchStart = -1;
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

int ProgressWatch::longestCollecting(char code) const
{
    // Only the replies that complete at a length collect; the others are handled
    // at once and never grow.
    switch (code) {
    case ReceiveDispatcher::FileName:
        return 19;
    case ReceiveDispatcher::DensityBlock:
        return 873;
    case ReceiveDispatcher::ProtocolLength:
        return 6;
    case ReceiveDispatcher::DatabasePage:
        return 529;
    case ReceiveDispatcher::ProtocolText:
        return m_protocolLength ? m_protocolLength() : 0;
    default:
        return 0;
    }
}

void ProgressWatch::afterCommEvent()
{
    const QByteArray &collected = m_dispatcher.inBuffer();
    if (collected.isEmpty())
        return;
    const int length = static_cast<int>(collected.size());
    if (length > m_longestReply && length <= longestCollecting(collected.at(0))) {
        m_longestReply = length;
        progress();
    }
}

} // namespace kalent
