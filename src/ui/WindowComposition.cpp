#include "WindowComposition.h"

#include "ApplicationIcon.h"
#include "DesktopServicesOpener.h"
#include "FeaturePages.h"
#include "HistoryWindow.h"
#include "MainWindow.h"
#include "Session.h"
#include "SessionAssembly.h"
#include "TraceWindow.h"
#include "VirtualInstrument.h"
#include "link/PortOrder.h"
#include "link/SystemPorts.h"
#include "store/SessionReadings.h"
#include "trace/ExchangeTrace.h"

#include <QGuiApplication>

namespace kalent {

// In the order they are built; each refers only to those before it, so they go
// in the reverse order, the window first.
struct WindowComposition::Parts
{
    explicit Parts(const WindowComposition::Options &options)
        : assembly({options.portName, options.dataDir, true, options.replayFile})
    {}

    // The clock, the port control (with the built-in instrument behind "sim"),
    // the trace every byte passes (the trace window shows it, a trace file files
    // it) and the Session: as the command line builds them.
    SessionAssembly assembly;
    DesktopServicesOpener opener;
    // Every reading received goes into the store beside its files.
    std::unique_ptr<SessionReadings> readings;
    std::unique_ptr<MainWindow> window;
};

WindowComposition::WindowComposition(const Options &options)
    : m_parts(std::make_unique<Parts>(options)), m_portName(options.portName)
{
    Parts &p = *m_parts;
    Session &session = p.assembly.session();
    if (options.traceFile)
        m_traceError = p.assembly.trace().openFile(*options.traceFile);
    // Every window of the program (the dialogs, the trace window, the simulator's
    // panel) carries the program's icon, the main window its own as well.
    QGuiApplication::setWindowIcon(ApplicationIcon::icon());
    // Built before the start-up so it mirrors every message and link check.
    VirtualInstrument *instrument = p.assembly.instrument();
    p.window = std::make_unique<MainWindow>(session, instrument);
    p.window->setWindowIcon(ApplicationIcon::icon());
    installFeaturePages(*p.window, session, p.opener, instrument);
    installTraceWindow(*p.window, p.assembly.trace());
    p.readings = SessionReadings::attach(session, options.storeUrl, &m_storeError);
    if (p.readings) {
        // Said once on the pane (and in the journal) until the store is back.
        QObject::connect(&p.readings->recorder(), &ReadingRecorder::message, &session.pane(),
                         &MessagePane::setText);
        installHistoryWindow(*p.window, p.readings->location(), &p.readings->keeper());
    }
    QObject::connect(&p.assembly.trace(), &ExchangeTrace::writeFailed, &session.pane(),
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
    Connection &connection = m_parts->assembly.session().connection();
    connection.setPortLister(&systemPortNames);
    connection.openFirstPort(startupPorts(systemPortNames(), m_portName));
    if (m_parts->readings)
        m_parts->readings->keeper().start();
    m_parts->window->show();
}

MainWindow &WindowComposition::window()
{
    return *m_parts->window;
}

Session &WindowComposition::session()
{
    return m_parts->assembly.session();
}

ExchangeTrace &WindowComposition::trace()
{
    return m_parts->assembly.trace();
}

VirtualInstrument *WindowComposition::instrument()
{
    return m_parts->assembly.instrument();
}

TraceReplay *WindowComposition::replay()
{
    return m_parts->assembly.replay();
}

} // namespace kalent
