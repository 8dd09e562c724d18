#include "PtyInstrument.h"

#include "PtyBridge.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"

#include <QDeadlineTimer>

namespace kalent::test {

PtyInstrument::PtyInstrument(ContactFaults::Settings faults, SetUp setUp)
    : m_faults(faults), m_setUp(std::move(setUp))
{}

PtyInstrument::~PtyInstrument()
{
    quit();
    wait();
}

bool PtyInstrument::begin()
{
    start();
    // The pty is made at once; a generous bound for a busy machine.
    const QDeadlineTimer deadline(10000);
    while (!m_ready && !isFinished() && !deadline.hasExpired())
        QThread::msleep(2);
    return m_ready && !m_path.isEmpty();
}

void PtyInstrument::vanishNow()
{
    if (VirtualInstrument *instrument = m_instrument)
        QMetaObject::invokeMethod(instrument, &VirtualInstrument::dropLine, Qt::QueuedConnection);
}

void PtyInstrument::run()
{
    SystemClock clock;
    const std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    if (m_setUp)
        m_setUp(*instrument);
    ContactFaults faults(*instrument, m_faults);
    connect(&faults, &ContactFaults::probeHeard, [this](int count) { m_probes = count; });
    connect(instrument.get(), &VirtualInstrument::heard, [this](const QByteArray &bytes, int) {
        (m_reportSent ? m_bytesAfterReport : m_bytesBeforeReport) += bytes.size();
    });
    connect(instrument.get(), &VirtualInstrument::transmitted,
            [this](const QByteArray &bytes, int) {
                if (bytes == "L")
                    m_reportSent = true;
            });
    PtyBridge bridge(*instrument);
    if (bridge.start())
        m_path = bridge.slavePath();
    m_instrument = instrument.get();
    m_ready = true;
    if (!m_path.isEmpty())
        exec();
    m_instrument = nullptr;
}

} // namespace kalent::test
