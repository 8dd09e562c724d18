#include "ContactFaults.h"

#include "VirtualInstrument.h"
#include "common/Clock.h"

namespace kalent {

namespace {
// Babble at about the pace of a line at 115200: 115 bytes every 10 ms.
constexpr int BabbleEveryMs = 10;
constexpr int BabbleBytes = 115;
} // namespace

ContactFaults::ContactFaults(VirtualInstrument &instrument, Settings settings, QObject *parent)
    : QObject(parent), m_instrument(instrument), m_settings(settings),
      m_timer(instrument.clock().createTimer())
{
    connect(&instrument, &VirtualInstrument::heard, this, &ContactFaults::heard);
    connect(&instrument, &VirtualInstrument::transmitted, this,
            [this](const QByteArray &bytes, int) { transmitted(bytes); });
    connect(m_timer.get(), &Timer::timeout, this, [this] {
        if (m_babbling) {
            m_instrument.sendRaw(noise(BabbleBytes));
        } else if (m_settings.floodAfterContact > 0) {
            m_instrument.sendRaw("D" + noise(m_settings.floodAfterContact - 1));
        } else {
            m_instrument.sendRaw("D");
            startBabbling();
        }
    });
}

ContactFaults::~ContactFaults() = default;

// Noise that is no reply code: bytes above 127.
QByteArray ContactFaults::noise(qint64 count)
{
    QByteArray out(static_cast<qsizetype>(count), Qt::Uninitialized);
    for (char &byte : out) {
        m_seed = m_seed * 1103515245u + 12345u;
        byte = static_cast<char>(0x80 | ((m_seed >> 16) & 0x7f));
    }
    return out;
}

void ContactFaults::heard(const QByteArray &bytes, int lineBaud)
{
    for (char byte : bytes) {
        if (byte != 'B')
            continue;
        Q_EMIT probeHeard(++m_probes);
        if (m_settings.dropLineAtProbe > 0 && m_probes >= m_settings.dropLineAtProbe &&
            lineBaud != m_instrument.baud()) {
            // Not from inside the line's own read: the carrier closes its end.
            QMetaObject::invokeMethod(
                &m_instrument, [this] { m_instrument.dropLine(); }, Qt::QueuedConnection);
        }
    }
}

void ContactFaults::transmitted(const QByteArray &bytes)
{
    if (m_contact || bytes != "B")
        return;
    m_contact = true;
    if (!m_settings.babbleAfterContact && m_settings.floodAfterContact <= 0)
        return;
    m_instrument.setDataReplyFault(VirtualInstrument::DataReplyFault::Withheld);
    m_timer->setSingleShot(true);
    m_timer->start(AfterContactMs);
}

void ContactFaults::startBabbling()
{
    m_babbling = true;
    m_timer->setSingleShot(false);
    m_timer->start(BabbleEveryMs);
}

} // namespace kalent
