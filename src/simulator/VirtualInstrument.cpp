#include "VirtualInstrument.h"

#include "LinkCommands.h"
#include "common/Clock.h"

#include <algorithm>

namespace kalent {

QByteArray garble(const QByteArray &bytes, int fromBaud, int toBaud)
{
    if (fromBaud == toBaud || fromBaud == VirtualInstrument::AnyBaud ||
        toBaud == VirtualInstrument::AnyBaud)
        return bytes;
    QByteArray out(bytes.size(), '\0');
    for (int i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        // The high bit set keeps garbage out of the ASCII command and reply codes.
        out[i] = static_cast<char>(0x80 | ((b * 37 + fromBaud / 100 + toBaud / 300) & 0x7F));
    }
    return out;
}

VirtualInstrument::VirtualInstrument(Clock &clock, QObject *parent)
    : QObject(parent), m_clock(clock)
{
    addFeature(std::make_unique<LinkCommands>());
}

VirtualInstrument::~VirtualInstrument() = default;

void VirtualInstrument::addFeature(std::unique_ptr<InstrumentFeature> feature)
{
    m_features.push_back(std::move(feature));
}

void VirtualInstrument::emitCts(bool before)
{
    if (cts() != before)
        Q_EMIT ctsChanged(cts());
}

void VirtualInstrument::setPowered(bool on)
{
    if (on == m_powered)
        return;
    const bool before = cts();
    m_powered = on;
    m_heard.clear();
    m_ctsHeldDown = false;
    m_delayed.clear();
    emitCts(before);
    Q_EMIT powerChanged(on);
    for (const auto &f : m_features) {
        if (on)
            f->poweredOn(*this, m_stylusHeld);
        else
            f->poweredOff(*this);
    }
}

void VirtualInstrument::setStylusHeld(bool held)
{
    m_stylusHeld = held;
}

void VirtualInstrument::holdCtsDown(bool down)
{
    const bool before = cts();
    m_ctsHeldDown = down;
    emitCts(before);
}

void VirtualInstrument::setBaud(int baud)
{
    if (baud == m_baud)
        return;
    m_baud = baud;
    Q_EMIT baudChanged(baud);
}

void VirtualInstrument::hear(const QByteArray &bytes, int lineBaud)
{
    if (!m_powered || bytes.isEmpty())
        return;
    Q_EMIT heard(bytes, lineBaud);
    m_lineBaud = lineBaud;
    m_heard.append(garble(bytes, lineBaud, m_baud));
    process();
}

void VirtualInstrument::process()
{
    while (m_exclusive && !m_heard.isEmpty()) {
        const int n = m_exclusive->consume(*this, m_heard);
        if (n <= 0)
            return;
        m_heard.remove(0, std::min<int>(n, m_heard.size()));
    }
    while (!m_heard.isEmpty()) {
        bool waiting = false;
        bool used = false;
        for (const auto &f : m_features) {
            const int n = f->consume(*this, m_heard);
            if (n == InstrumentFeature::NeedMore) {
                waiting = true;
                break;
            }
            if (n > 0) {
                m_heard.remove(0, std::min<int>(n, m_heard.size()));
                used = true;
                break;
            }
        }
        if (waiting)
            return;
        if (!used)
            m_heard.remove(0, 1); // a byte nobody understands is dropped
    }
}

void VirtualInstrument::setDataReplyFault(DataReplyFault fault, const QByteArray &noise,
                                          int byteGapMs)
{
    m_dataFault = fault;
    m_dataNoise = noise;
    m_byteGapMs = byteGapMs;
}

void VirtualInstrument::send(const QByteArray &bytes)
{
    if (m_silent || !m_powered)
        return;
    QByteArray reply = m_noise + bytes;
    if (m_cutAfter >= 0) {
        reply.truncate(m_cutAfter);
        m_cutAfter = -1;
    }
    const DataReplyFault fault = bytes.size() > 1 ? m_dataFault : DataReplyFault::None;
    switch (fault) {
    case DataReplyFault::None:
        break;
    case DataReplyFault::Withheld:
        return;
    case DataReplyFault::NoiseInside:
        reply.insert(reply.size() / 2, m_dataNoise);
        break;
    case DataReplyFault::HalfThenSilence:
        reply.truncate(reply.size() / 2);
        break;
    case DataReplyFault::HalfThenLineDrops:
        reply.truncate(reply.size() / 2);
        // A moment for the half to leave before the device goes.
        later(m_replyDelayMs + 50, [this] { dropLine(); });
        break;
    case DataReplyFault::ByteByByte:
        for (int i = 0; i < reply.size(); ++i) {
            const QByteArray byte = reply.mid(i, 1);
            later(m_replyDelayMs + i * m_byteGapMs, [this, byte] { transmit(byte); });
        }
        return;
    }
    if (m_replyDelayMs <= 0) {
        transmit(reply);
        return;
    }
    later(m_replyDelayMs, [this, reply] { transmit(reply); });
}

void VirtualInstrument::transmit(const QByteArray &reply)
{
    Q_EMIT transmitted(reply, m_baud);
}

void VirtualInstrument::later(int ms, std::function<void()> action)
{
    if (ms <= 0) {
        action();
        return;
    }
    auto timer = m_clock.createTimer();
    timer->setSingleShot(true);
    Timer *raw = timer.get();
    connect(raw, &Timer::timeout, this, [this, raw, action = std::move(action)] {
        if (m_powered)
            action();
        // Finished timers are dropped later, never from inside their own signal.
        QMetaObject::invokeMethod(
            this,
            [this, raw] {
                m_delayed.erase(std::remove_if(m_delayed.begin(), m_delayed.end(),
                                               [raw](const auto &t) { return t.get() == raw; }),
                                m_delayed.end());
            },
            Qt::QueuedConnection);
    });
    m_delayed.push_back(std::move(timer));
    raw->start(ms);
}

void VirtualInstrument::sendRaw(const QByteArray &bytes)
{
    if (!m_powered)
        return;
    Q_EMIT transmitted(bytes, m_baud);
}

} // namespace kalent
