#include "SessionAssembly.h"

#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "link/HostSerialPort.h"

namespace kalent {

namespace {

const QString BuiltInPortName = QStringLiteral("sim");

} // namespace

SessionAssembly::SessionAssembly(const Options &options)
    : m_port(std::make_unique<HostSerialPort>())
{
    if (options.portName == BuiltInPortName) {
        m_instrument = createBuiltInInstrument(m_clock);
        m_simPort = std::make_unique<SimulatedPort>(*m_instrument, m_clock);
        m_port.addNamedPort(BuiltInPortName, m_simPort.get());
    }
    m_trace.setKeepRecent(options.keepRecentTrace);
    m_session =
        std::make_unique<Session>(m_clock, m_tracingPort, DataFolder::resolve(options.dataDir));
}

SessionAssembly::~SessionAssembly() = default;

} // namespace kalent
