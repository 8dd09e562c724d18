#include "SimulatedPort.h"

#include "VirtualInstrument.h"
#include "common/Clock.h"

#include <algorithm>
#include <cmath>

namespace kalent {

namespace {
constexpr double BitsPerByte = 10.0; // start, 8 data, stop
}

SimulatedPort::SimulatedPort(VirtualInstrument &instrument, Clock &clock, QObject *parent)
    : SerialPort(parent), m_instrument(instrument), m_clock(clock), m_lineTimer(clock.createTimer())
{
    connect(m_lineTimer.get(), &Timer::timeout, this, &SimulatedPort::tick);
    connect(&m_instrument, &VirtualInstrument::transmitted, this,
            &SimulatedPort::instrumentTransmitted);
    connect(&m_instrument, &VirtualInstrument::lineDropped, this, &SimulatedPort::vanish);
    connect(&m_instrument, &VirtualInstrument::ctsChanged, this, [this] {
        if (m_open)
            Q_EMIT commEvent();
    });
}

SimulatedPort::~SimulatedPort() = default;

void SimulatedPort::setPortName(const QString &name)
{
    if (!m_open)
        m_name = name;
}

bool SimulatedPort::open()
{
    if (m_open)
        return true;
    if (m_openFails) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Устройство занято или отсутствует");
        return false;
    }
    m_error.clear();
    m_open = true;
    Q_EMIT opened();
    return true;
}

void SimulatedPort::close()
{
    m_open = false;
    m_received.clear();
    m_toInstrument.clear();
    m_fromInstrument.clear();
    m_lineTimer->stop();
}

void SimulatedPort::vanish()
{
    if (!m_open)
        return;
    close();
    m_openFails = true;
    m_error = QStringLiteral("Устройство отключено");
    Q_EMIT commEvent();
}

bool SimulatedPort::setSettings(const QString &settings)
{
    if (baudOfSettings(settings) <= 0)
        return false;
    m_settings = settings;
    return true;
}

bool SimulatedPort::ctsHolding() const
{
    return m_open && m_instrument.cts();
}

int SimulatedPort::portBaud() const
{
    return baudOfSettings(m_settings);
}

QByteArray SimulatedPort::input()
{
    QByteArray out;
    out.swap(m_received);
    return out;
}

void SimulatedPort::output(const QByteArray &bytes)
{
    if (!m_open || bytes.isEmpty())
        return;
    m_written.append(bytes);
    m_toInstrument.append(bytes);
    ensureTicking();
}

void SimulatedPort::instrumentTransmitted(const QByteArray &bytes, int baud)
{
    if (!m_open || bytes.isEmpty())
        return;
    m_fromInstrument.push_back({bytes, baud});
    ensureTicking();
}

void SimulatedPort::ensureTicking()
{
    if (m_lineTimer->isActive())
        return;
    m_lastTick = m_clock.nowMs();
    m_outCredit = 0;
    m_inCredit = 0;
    m_lineTimer->start(LineTickMs);
}

void SimulatedPort::tick()
{
    const qint64 now = m_clock.nowMs();
    const double elapsed = static_cast<double>(now - m_lastTick);
    m_lastTick = now;

    int sent = 0;
    if (!m_toInstrument.isEmpty()) {
        const int baud = portBaud();
        m_outCredit += elapsed * baud / 1000.0 / BitsPerByte;
        const int n =
            std::min<int>(static_cast<int>(std::floor(m_outCredit)), m_toInstrument.size());
        if (n > 0) {
            m_outCredit -= n;
            const QByteArray piece = m_toInstrument.left(n);
            m_toInstrument.remove(0, n);
            sent = n;
            m_instrument.hear(piece, baud);
        }
    } else {
        m_outCredit = 0;
    }

    QByteArray arrived;
    if (!m_fromInstrument.empty()) {
        // A recording (AnyBaud) goes at whatever speed the port is set to.
        const int headBaud = m_fromInstrument.front().baud;
        const int pace = headBaud == VirtualInstrument::AnyBaud ? portBaud() : headBaud;
        m_inCredit += elapsed * pace / 1000.0 / BitsPerByte;
        while (!m_fromInstrument.empty() && m_inCredit >= 1.0) {
            Segment &head = m_fromInstrument.front();
            const int n =
                std::min<int>(static_cast<int>(std::floor(m_inCredit)), head.bytes.size());
            arrived.append(garble(head.bytes.left(n), head.baud, portBaud()));
            head.bytes.remove(0, n);
            m_inCredit -= n;
            if (head.bytes.isEmpty())
                m_fromInstrument.pop_front();
        }
    } else {
        m_inCredit = 0;
    }

    if (m_toInstrument.isEmpty() && m_fromInstrument.empty())
        m_lineTimer->stop();
    if (!arrived.isEmpty() && m_open) {
        m_received.append(arrived);
        Q_EMIT commEvent();
    }
    if (sent > 0 && m_open)
        Q_EMIT bytesWritten(sent);
}

} // namespace kalent
