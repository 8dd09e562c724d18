#include "trace/TracingPort.h"

#include "trace/ExchangeTrace.h"

namespace kalent {

TracingPort::TracingPort(SerialPort &inner, ExchangeTrace &trace, QObject *parent)
    : SerialPort(parent), m_inner(inner), m_trace(trace)
{
    connect(&m_inner, &SerialPort::commEvent, this, &SerialPort::commEvent);
    connect(&m_inner, &SerialPort::bytesWritten, this, &SerialPort::bytesWritten);
}

TracingPort::~TracingPort()
{
    recordSent();
}

void TracingPort::recordSent()
{
    if (!m_sent)
        return;
    const Sent sent = std::move(*m_sent);
    m_sent.reset();
    m_trace.record(TraceRecord::Direction::Sent, sent.baud, sent.port, sent.bytes, sent.timeUs);
}

QByteArray TracingPort::input()
{
    // What was sent comes before what is read in the trace: a replay matches
    // the command first and answers it after.
    recordSent();
    const QByteArray bytes = m_inner.input();
    if (!bytes.isEmpty())
        m_trace.record(TraceRecord::Direction::Received, baudOfSettings(m_inner.settings()),
                       m_inner.portName(), bytes);
    return bytes;
}

void TracingPort::discardInput()
{
    // What was waiting is read first so the trace still shows what the
    // instrument sent; the port then drops whatever it holds beyond that.
    recordSent();
    const QByteArray waiting = m_inner.isOpen() ? m_inner.input() : QByteArray();
    if (!waiting.isEmpty())
        m_trace.record(TraceRecord::Direction::Dropped, baudOfSettings(m_inner.settings()),
                       m_inner.portName(), waiting);
    m_inner.discardInput();
}

void TracingPort::output(const QByteArray &bytes)
{
    // Only what an open port takes goes on the line. The record is held before
    // the port takes the bytes, so a reply read at once still follows it.
    if (m_inner.isOpen() && !bytes.isEmpty()) {
        const int baud = baudOfSettings(m_inner.settings());
        const QString port = m_inner.portName();
        if (m_sent && (m_sent->baud != baud || m_sent->port != port ||
                       m_sent->bytes.size() + bytes.size() > SentRecordBytes))
            recordSent();
        if (!m_sent)
            m_sent = Sent{m_trace.elapsedUs(), baud, port, {}};
        m_sent->bytes += bytes;
        if (!m_recordQueued) {
            m_recordQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_recordQueued = false;
                    recordSent();
                },
                Qt::QueuedConnection);
        }
    }
    m_inner.output(bytes);
}

} // namespace kalent
