#include "WindowComposition.h"

#include "ApplicationIcon.h"
#include "DesktopServicesOpener.h"
#include "FeaturePages.h"
#include "MainWindow.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "TraceWindow.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"
#include "link/PortOrder.h"
#include "link/PortSelector.h"
#include "link/SystemPorts.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QGuiApplication>

namespace kalent {

// In the order they are built; each refers only to those before it, so they go
// in the reverse order, the window first.
struct WindowComposition::Parts
{
    explicit Parts(const QString &portName)
    {
        if (portName == QLatin1String("sim")) {
            instrument = createBuiltInInstrument(clock);
            simPort = std::make_unique<SimulatedPort>(*instrument, clock);
            port.addNamedPort(portName, simPort.get());
        }
    }

    SystemClock clock;
    std::unique_ptr<VirtualInstrument> instrument;
    std::unique_ptr<SimulatedPort> simPort;
    PortSelector port{std::make_unique<HostSerialPort>()};
    // Every byte passes the trace: the trace window shows it, a trace file files it.
    ExchangeTrace trace;
    TracingPort tracingPort{port, trace};
    std::unique_ptr<Session> session;
    DesktopServicesOpener opener;
    std::unique_ptr<MainWindow> window;
};

WindowComposition::WindowComposition(const Options &options)
    : m_parts(std::make_unique<Parts>(options.portName)), m_portName(options.portName)
{
    Parts &p = *m_parts;
    if (options.traceFile)
        m_traceError = p.trace.openFile(*options.traceFile);
    p.session =
        std::make_unique<Session>(p.clock, p.tracingPort, DataFolder::resolve(options.dataDir));
    // Every window of the program (the dialogs, the trace window, the simulator's
    // panel) carries the program's icon, the main window its own as well.
    QGuiApplication::setWindowIcon(ApplicationIcon::icon());
    // Built before the start-up so it mirrors every message and link check.
    p.window = std::make_unique<MainWindow>(*p.session, p.instrument.get());
    p.window->setWindowIcon(ApplicationIcon::icon());
    installFeaturePages(*p.window, *p.session, p.opener, p.instrument.get());
    installTraceWindow(*p.window, p.trace);
    QObject::connect(&p.trace, &ExchangeTrace::writeFailed, &p.session->pane(),
                     &MessagePane::setText);
}

WindowComposition::~WindowComposition() = default;

QStringList WindowComposition::startupPorts(const QStringList &systemPorts,
                                            const QString &preferred)
{
    QStringList ports = inPortOrder(systemPorts);
    ports.removeAll(preferred);
    if (!preferred.isEmpty())
        ports.prepend(preferred);
    return ports;
}

void WindowComposition::start()
{
    Connection &connection = m_parts->session->connection();
    connection.setPortLister(&systemPortNames);
    connection.formCreate(startupPorts(systemPortNames(), m_portName));
    m_parts->window->show();
}

MainWindow &WindowComposition::window()
{
    return *m_parts->window;
}

Session &WindowComposition::session()
{
    return *m_parts->session;
}

ExchangeTrace &WindowComposition::trace()
{
    return m_parts->trace;
}

VirtualInstrument *WindowComposition::instrument()
{
    return m_parts->instrument.get();
}

} // namespace kalent
