#include "SessionAssembly.h"

#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "TraceReplay.h"
#include "VirtualInstrument.h"
#include "link/HostSerialPort.h"
#include "link/LineOwner.h"

namespace kalent {

namespace {

const QString BuiltInPortName = QStringLiteral("sim");

} // namespace

namespace {
std::unique_ptr<HostSerialPort> hostPort(int lineCheckMs)
{
    auto port = std::make_unique<HostSerialPort>();
    if (lineCheckMs > 0)
        port->setLineCheckMs(lineCheckMs);
    return port;
}
} // namespace

SessionAssembly::SessionAssembly(const Options &options) : m_port(hostPort(options.lineCheckMs))
{
    if (options.portName == BuiltInPortName) {
        if (options.replayFile.isEmpty()) {
            m_instrument = createBuiltInInstrument(m_clock);
        } else if (std::unique_ptr<ReplayScript> script =
                       ReplayScript::load(options.replayFile, &m_replayError)) {
            m_instrument = createReplayInstrument(m_clock, std::move(script));
            m_replay = m_instrument->feature<TraceReplay>();
        } else {
            m_replayError = TraceReplay::refusedText(options.replayFile, m_replayError);
        }
    }
    if (m_instrument) {
        m_simPort = std::make_unique<SimulatedPort>(*m_instrument, m_clock);
        m_port.addNamedPort(BuiltInPortName, m_simPort.get());
        // What a recording's first step says unasked goes out once somebody listens.
        if (m_replay)
            QObject::connect(m_simPort.get(), &SimulatedPort::opened, m_replay, &TraceReplay::start,
                             Qt::SingleShotConnection);
    }
    m_trace.setKeepRecent(options.keepRecentTrace);
    m_session =
        std::make_unique<Session>(m_clock, m_tracingPort, DataFolder::resolve(options.dataDir));
    // A reply no exchange asked for is dropped unheard: the trace says so beside its bytes.
    QObject::connect(&m_session->line(), &LineOwner::replyUnasked, &m_trace,
                     [this](const QByteArray &bytes) {
                         m_trace.record(TraceRecord::Direction::Unasked,
                                        baudOfSettings(m_tracingPort.settings()),
                                        m_tracingPort.portName(), bytes);
                     });
}

SessionAssembly::~SessionAssembly() = default;

} // namespace kalent
