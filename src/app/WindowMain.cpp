#include "WindowMain.h"

#include "DesktopServicesOpener.h"
#include "FeaturePages.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "TFormMainKalS_D7.h"
#include "TraceWindow.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"
#include "link/PortOrder.h"
#include "link/PortSelector.h"
#include "link/SystemPorts.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace kalent {

bool displayAvailable()
{
#ifdef Q_OS_LINUX
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

QStringList startupPorts(const QStringList &systemPorts, const QString &preferred)
{
    QStringList ports = inPortOrder(systemPorts);
    ports.removeAll(preferred);
    if (!preferred.isEmpty())
        ports.prepend(preferred);
    return ports;
}

int runWindow(const CommandLine &commandLine)
{
    const QString portName = commandLine.value(QStringLiteral("port"));
    SystemClock clock;
    std::unique_ptr<VirtualInstrument> instrument;
    std::unique_ptr<SimulatedPort> simPort;
    if (portName == QLatin1String("sim")) {
        instrument = createBuiltInInstrument(clock);
        simPort = std::make_unique<SimulatedPort>(*instrument, clock);
    }
    PortSelector port(std::make_unique<HostSerialPort>());
    if (simPort)
        port.addNamedPort(portName, simPort.get());
    // Every byte passes the trace: the trace window shows it, --trace also files it.
    ExchangeTrace trace;
    if (commandLine.has(QStringLiteral("trace"))) {
        const QString error = trace.openFile(commandLine.value(QStringLiteral("trace")));
        if (!error.isEmpty())
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
    }
    TracingPort tracingPort(port, trace);
    Session session(clock, tracingPort,
                    DataFolder::resolve(commandLine.value(QStringLiteral("data-dir"))));

    DesktopServicesOpener opener;
    // Built before the start-up so it mirrors every message and link check.
    TFormMainKalS_D7 window(session, instrument.get());
    installFeaturePages(window, session, opener, instrument.get());
    installTraceWindow(window, trace);
    QObject::connect(&trace, &ExchangeTrace::writeFailed, &session.pane(), &MessagePane::setText);

    session.connection().setPortLister(&systemPortNames);
    session.connection().formCreate(startupPorts(systemPortNames(), portName));

    window.show();
    return QApplication::exec();
}

} // namespace kalent
