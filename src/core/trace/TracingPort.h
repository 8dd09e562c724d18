#pragma once

#include "link/SerialPort.h"

namespace kalent {

class ExchangeTrace;

// A port that records every byte passing through it in an exchange trace and is
// otherwise the port it wraps: the program talks to it exactly as to the one
// port control. Bytes the program throws away unread are recorded as dropped.
class TracingPort : public SerialPort
{
    Q_OBJECT
public:
    // Both stay owned by the caller and must outlive the tracing port.
    TracingPort(SerialPort &inner, ExchangeTrace &trace, QObject *parent = nullptr);

    QString portName() const override { return m_inner.portName(); }
    void setPortName(const QString &name) override { m_inner.setPortName(name); }
    bool open() override { return m_inner.open(); }
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    QString errorString() const override { return m_inner.errorString(); }
    bool setSettings(const QString &settings) override { return m_inner.setSettings(settings); }
    QString settings() const override { return m_inner.settings(); }
    bool ctsHolding() const override { return m_inner.ctsHolding(); }
    int inBufferCount() const override { return m_inner.inBufferCount(); }
    QByteArray input() override;
    void discardInput() override;
    void discardOutput() override { m_inner.discardOutput(); }
    void output(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override { return m_inner.bytesToWrite(); }
    qint64 bytesQueuedInSystem() const override { return m_inner.bytesQueuedInSystem(); }
    bool drain(int timeoutMs) override { return m_inner.drain(timeoutMs); }

private:
    SerialPort &m_inner;
    ExchangeTrace &m_trace;
};

} // namespace kalent
