#include "trace/TracingPort.h"

#include "trace/ExchangeTrace.h"

namespace kalent {

TracingPort::TracingPort(SerialPort &inner, ExchangeTrace &trace, QObject *parent)
    : SerialPort(parent), m_inner(inner), m_trace(trace)
{
    connect(&m_inner, &SerialPort::commEvent, this, &SerialPort::commEvent);
    connect(&m_inner, &SerialPort::bytesWritten, this, &SerialPort::bytesWritten);
}

QByteArray TracingPort::input()
{
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
    const QByteArray waiting = m_inner.isOpen() ? m_inner.input() : QByteArray();
    if (!waiting.isEmpty())
        m_trace.record(TraceRecord::Direction::Dropped, baudOfSettings(m_inner.settings()),
                       m_inner.portName(), waiting);
    m_inner.discardInput();
}

void TracingPort::output(const QByteArray &bytes)
{
    // Only what an open port takes goes on the line.
    if (m_inner.isOpen() && !bytes.isEmpty())
        m_trace.record(TraceRecord::Direction::Sent, baudOfSettings(m_inner.settings()),
                       m_inner.portName(), bytes);
    m_inner.output(bytes);
}

} // namespace kalent
