#pragma once

#include "common/SystemClock.h"
#include "link/PortSelector.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QString>

#include <memory>

namespace kalent {

class Session;
class SimulatedPort;
class TraceReplay;
class VirtualInstrument;

// The one composition root of a run of the program, for the window, the
// command line and watch alike: a real clock, the built-in instrument behind
// the port name "sim" (only when that is the port asked for), the port
// control, the exchange trace every byte passes, and the Session on the data
// folder. Built in this order and taken down in the reverse one.
class SessionAssembly
{
public:
    struct Options
    {
        QString portName;            // "sim" puts the built-in instrument behind that name
        QString dataDir;             // empty: the default data folder
        bool keepRecentTrace = true; // false: the trace goes to its file only
        // With "sim": a recorded trace answers behind that name instead of the
        // built-in instrument, from the moment the port first opens.
        QString replayFile;
        // How often a system port looks at its lines while open (0: its own
        // pace, quick enough for the window's indicator).
        int lineCheckMs = 0;
    };

    explicit SessionAssembly(const Options &options);
    ~SessionAssembly();
    SessionAssembly(const SessionAssembly &) = delete;
    SessionAssembly &operator=(const SessionAssembly &) = delete;

    Clock &clock() { return m_clock; }
    // The port control itself, under the trace.
    SerialPort &port() { return m_port; }
    ExchangeTrace &trace() { return m_trace; }
    Session &session() { return *m_session; }
    // The built-in instrument with its knobs, when the port is "sim"; null
    // otherwise, and when a recorded trace answers instead.
    VirtualInstrument *instrument() const { return m_replay ? nullptr : m_instrument.get(); }
    // The recorded trace answering behind "sim", or null.
    TraceReplay *replay() const { return m_replay; }
    // Why the replay file could not be served (it is then not behind "sim"); empty when it is.
    QString replayError() const { return m_replayError; }

private:
    SystemClock m_clock;
    std::unique_ptr<VirtualInstrument> m_instrument;
    TraceReplay *m_replay = nullptr; // a feature of m_instrument
    QString m_replayError;
    std::unique_ptr<SimulatedPort> m_simPort;
    PortSelector m_port;
    ExchangeTrace m_trace;
    TracingPort m_tracingPort{m_port, m_trace};
    std::unique_ptr<Session> m_session;
};

} // namespace kalent
