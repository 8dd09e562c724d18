#include "link/ReceiveDispatcher.h"

#include "link/SerialPort.h"

namespace kalent {

ReceiveDispatcher::ReceiveDispatcher(SerialPort &port, LinkCheck checkLink, QObject *parent)
    : QObject(parent), m_port(port), m_checkLink(std::move(checkLink))
{
    connect(&m_port, &SerialPort::commEvent, this, &ReceiveDispatcher::onCommEvent);
}

void ReceiveDispatcher::setReplyHandler(char code, ReplyHandler handler)
{
    m_handlers[static_cast<unsigned char>(code)] = std::move(handler);
}

void ReceiveDispatcher::onCommEvent()
{
    // With the line down nothing is read: what came stays queued for a later event.
    if (!m_checkLink())
        return;
    if (m_port.inBufferCount() == 0)
        return;
    const QByteArray piece = m_port.input();
    if (piece.isEmpty())
        m_inBuffer.append('\0');
    else if (m_inBuffer.size() + piece.size() > LongestReply)
        // No reply is this long: what was collected and the piece that overran it
        // are noise (a reply that starts in the middle of the piece is lost with it,
        // as noise in front of a reply loses the reply).
        m_inBuffer.clear();
    else
        m_inBuffer.append(piece);
    if (m_inBuffer.isEmpty())
        return;
    if (m_port.inBufferCount() != 0)
        return;

    const ReplyHandler &handler = m_handlers[static_cast<unsigned char>(m_inBuffer.at(0))];
    if (handler)
        handler(m_inBuffer);
    else
        m_inBuffer.clear();
}

} // namespace kalent
