#pragma once

#include "link/SerialPort.h"

#include <QByteArray>

#include <deque>
#include <memory>

namespace kalent {

class Clock;
class Timer;
class VirtualInstrument;

// A serial port wired to the built-in instrument inside the program. The line is
// modelled: bytes travel at the speed they were sent with (10 bits a byte) on the
// Clock, so replies arrive in pieces as on a real line, and bytesToWrite() counts
// what has not yet gone out (there is no system queue behind it), bytesWritten()
// following each piece onto the line. Knobs make opening fail or the device vanish.
class SimulatedPort : public SerialPort
{
    Q_OBJECT
public:
    static constexpr int LineTickMs = 1;

    SimulatedPort(VirtualInstrument &instrument, Clock &clock, QObject *parent = nullptr);
    ~SimulatedPort() override;

    QString portName() const override { return m_name; }
    void setPortName(const QString &name) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    bool setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    bool ctsHolding() const override;
    int inBufferCount() const override { return static_cast<int>(m_received.size()); }
    QByteArray input() override;
    void discardInput() override { m_received.clear(); }
    // What has not gone down the modelled line yet never reaches the instrument.
    void discardOutput() override { m_toInstrument.clear(); }
    void output(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override { return m_toInstrument.size(); }

    // Failure knobs.
    void setOpenFails(bool fails) { m_openFails = fails; }
    // The device goes away: the port closes, reads CTS down and cannot be
    // opened again until it comes back.
    void vanish();
    void comeBack() { m_openFails = false; }

    // Everything the program has written since the port was created (tests).
    const QByteArray &written() const { return m_written; }
    void clearWritten() { m_written.clear(); }

Q_SIGNALS:
    // The program opened the port: the instrument behind it can be heard from now.
    void opened();

private:
    struct Segment
    {
        QByteArray bytes;
        int baud;
    };

    int portBaud() const;
    void tick();
    void ensureTicking();
    void instrumentTransmitted(const QByteArray &bytes, int baud);

    VirtualInstrument &m_instrument;
    Clock &m_clock;
    std::unique_ptr<Timer> m_lineTimer;
    QString m_name = QStringLiteral("sim");
    QString m_settings = QStringLiteral("9600,n,8,1");
    QString m_error;
    bool m_open = false;
    bool m_openFails = false;

    QByteArray m_toInstrument; // written, still on the way out
    double m_outCredit = 0;
    std::deque<Segment> m_fromInstrument; // sent by the instrument, still on the line
    double m_inCredit = 0;
    qint64 m_lastTick = 0;
    QByteArray m_received; // arrived, waiting to be read
    QByteArray m_written;
};

} // namespace kalent
