#pragma once

#include "link/SerialPort.h"

#include <optional>

namespace kalent {

class ExchangeTrace;

// A port that records every byte passing through it in an exchange trace and is
// otherwise the port it wraps: the program talks to it exactly as to the one
// port control. Bytes the program throws away unread are recorded as dropped.
//
// What is sent in one turn of the event loop becomes one record (the database
// write hands over a page a byte at a time): the bytes reach the port at once,
// as before; only their record waits, until the next read, the next turn, a
// change of speed or port, or SentRecordBytes.
class TracingPort : public SerialPort
{
    Q_OBJECT
public:
    static constexpr int SentRecordBytes = 64 * 1024;

    // Both stay owned by the caller and must outlive the tracing port.
    TracingPort(SerialPort &inner, ExchangeTrace &trace, QObject *parent = nullptr);
    ~TracingPort() override;

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
    // Records the bytes sent since the last record, if any.
    void recordSent();

    struct Sent
    {
        qint64 timeUs; // of the first byte
        int baud;
        QString port;
        QByteArray bytes;
    };

    SerialPort &m_inner;
    ExchangeTrace &m_trace;
    std::optional<Sent> m_sent;
    bool m_recordQueued = false;
};

} // namespace kalent
