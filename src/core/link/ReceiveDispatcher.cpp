#include "link/ReceiveDispatcher.h"

#include "link/LineOwner.h"
#include "link/SerialPort.h"

namespace kalent {

ReceiveDispatcher::ReceiveDispatcher(SerialPort &port, LinkCheck checkLink, QObject *parent)
    : QObject(parent), m_port(port), m_checkLink(std::move(checkLink))
{
    connect(&m_port, &SerialPort::commEvent, this, &ReceiveDispatcher::onCommEvent);
}

void ReceiveDispatcher::subscribe(char code, ReplyHandler handler)
{
    m_handlers[static_cast<unsigned char>(code)].push_back(std::move(handler));
}

void ReceiveDispatcher::deliver(const QByteArray &message)
{
    // Listeners may subscribe while one runs: the list is walked by index.
    const auto &listeners = m_handlers[static_cast<unsigned char>(message.at(0))];
    for (size_t i = 0; i < listeners.size(); ++i) {
        QByteArray copy = message;
        listeners[i](copy);
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
    Q_EMIT bytesArrived();
    if (m_decoder.pending().isEmpty())
        return;
    if (m_port.inBufferCount() != 0)
        return;

    // Every whole message is taken out before any is handled: a handler that
    // starts an exchange empties the buffer, and that must drop only a reply
    // left unfinished, never a message that came behind the one it handles.
    // The protocol text's length comes from a length reply handled on the way,
    // so the rest is decoded again after each round.
    for (;;) {
        std::vector<QByteArray> messages;
        while (std::optional<QByteArray> message = m_decoder.next(protocolLength()))
            messages.push_back(std::move(*message));
        if (messages.empty())
            break;
        for (const QByteArray &message : messages) {
            if (m_owner && isNotice(message.at(0)))
                m_owner->notice([this, message] { deliver(message); });
            else
                deliver(message);
        }
    }
    // A reply still collecting is shown to its listeners (the table's length
    // and bar, the page count's wait for its rest).
    if (!m_decoder.pending().isEmpty())
        deliver(m_decoder.pending());
}

} // namespace kalent
