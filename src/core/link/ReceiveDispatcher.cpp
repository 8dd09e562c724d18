#include "link/ReceiveDispatcher.h"

#include "link/LineOwner.h"
#include "link/SerialPort.h"

namespace kalent {

ReceiveDispatcher::ReceiveDispatcher(SerialPort &port, LineOwner &owner, LinkCheck checkLink,
                                     QObject *parent)
    : QObject(parent), m_port(port), m_checkLink(std::move(checkLink)), m_owner(owner)
{
    connect(&m_port, &SerialPort::commEvent, this, &ReceiveDispatcher::onCommEvent);
    connect(&m_owner, &LineOwner::jobStarted, this, &ReceiveDispatcher::dropUnfinishedReply);
}

ReceiveDispatcher::~ReceiveDispatcher() = default;

void ReceiveDispatcher::subscribe(ReplyCode code, MessageHandler handler)
{
    m_handlers[static_cast<unsigned char>(code)].push_back(std::move(handler));
}

void ReceiveDispatcher::subscribeProgress(ProgressHandler handler)
{
    m_progressHandlers.push_back(std::move(handler));
}

void ReceiveDispatcher::dropUnfinishedReply()
{
    m_owner.stopWait(LineWait::PageCountRest);
    m_decoder.dropUnfinished();
}

void ReceiveDispatcher::deliver(const Message &message)
{
    // Listeners may subscribe while one runs: the list is walked by index.
    const auto &listeners = m_handlers[static_cast<unsigned char>(message.code)];
    for (size_t i = 0; i < listeners.size(); ++i)
        listeners[i](message);
}

void ReceiveDispatcher::dispatch(std::vector<ReplyEvent> events)
{
    // The events were all taken out before any is handled: a handler that
    // starts an exchange drops only a reply left unfinished, never a message
    // that came behind the one it handles.
    for (const ReplyEvent &event : events) {
        if (const auto *progress = std::get_if<ReplyProgress>(&event)) {
            // A reply no job asked for moves no bar; its whole is dropped below.
            if (!m_owner.awaits(progress->code))
                continue;
            m_owner.replyProgressed(*progress);
            for (size_t i = 0; i < m_progressHandlers.size(); ++i)
                m_progressHandlers[i](*progress);
            continue;
        }
        const Message &message = std::get<Message>(event);
        if (isNotice(message.code)) {
            m_owner.notice(message.code, [this, message] { deliver(message); });
            continue;
        }
        if (!m_owner.awaits(message.code)) {
            m_owner.dropUnasked(message);
            continue;
        }
        m_owner.replyArrived();
        deliver(message);
    }
}

void ReceiveDispatcher::onCommEvent()
{
    // With the line down nothing is read: what came stays queued for a later event.
    if (!m_checkLink())
        return;
    if (m_port.inBufferCount() == 0)
        return;
    m_decoder.feed(m_port.input());
    m_owner.bytesHeard();
    if (m_port.inBufferCount() != 0)
        return;
    dispatch(m_decoder.decode());
    // The count has no end mark: what came of it is taken once nothing more
    // comes for a moment (a line delivers in pieces).
    if (m_decoder.pageCountCutShort())
        m_owner.wait(LineWait::PageCountRest, PageCountRestMs, [this] { pageCountRestWaited(); });
}

void ReceiveDispatcher::pageCountRestWaited()
{
    if (std::optional<Message> count = m_decoder.flush())
        dispatch({*count});
}

} // namespace kalent
