#pragma once

#include "link/SerialPort.h"

#include <QSerialPort>
#include <QTimer>

#include <memory>

namespace kalent {

// A real serial device (or a pseudo-terminal) through QSerialPort.
// QSerialPort has no signal for CTS, so the line is polled every 50 ms while the
// port is open; the same poll notices a device that hung up, which QSerialPort
// leaves readable with nothing to read. A device without modem lines (a pty, some adapters) counts
// as a three-wire line with CTS up. A device that disappears, a read that fails and end of file (a
// pty whose other end closed) all close the port, which then reads as CTS down; the receiver hears
// about it through commEvent(). The input QSerialPort holds for the program is bounded.
class HostSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit HostSerialPort(QObject *parent = nullptr);
    // Drives a QSerialPort the caller owns (a test's, which can raise the
    // errors a real device raises only rarely) instead of one of its own.
    explicit HostSerialPort(QSerialPort &port, QObject *parent = nullptr);
    ~HostSerialPort() override;

    QString portName() const override;
    void setPortName(const QString &name) override;
    bool open() override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    bool setSettings(const QString &settings) override;
    QString settings() const override;
    bool ctsHolding() const override;
    int inBufferCount() const override;
    QByteArray input() override;
    void discardInput() override;
    void discardOutput() override;
    void output(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;
    // The system's output queue (TIOCOUTQ where the system has it).
    qint64 bytesQueuedInSystem() const override;
    // QSerialPort's buffer out, then tcdrain where the system has it.
    // How often the open port looks at its lines (CTS, a hang-up, the device
    // node): unattended collection on a quiet line is content with less.
    void setLineCheckMs(int ms) { m_linePoll.setInterval(ms); }
    bool drain(int timeoutMs) override;

private:
    void init();
    void pollLines();
    void onError(QSerialPort::SerialPortError error);
    // Closes the port from the event loop and raises commEvent().
    void deviceGone();
    bool readCts();

    std::unique_ptr<QSerialPort> m_ownPort;
    QSerialPort &m_port;
    QTimer m_linePoll;
    QString m_givenName; // as asked for: QSerialPort keeps only the short name
    QString m_settings = QStringLiteral("9600,n,8,1");
    QString m_lastError;
    bool m_cts = false;
    bool m_threeWire = false;
    // Counts the opens, so a close queued for a device that went away never
    // closes a port opened after it.
    quint64 m_openCount = 0;
    bool m_closePending = false;
};

} // namespace kalent
