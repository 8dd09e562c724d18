#include "WindowMain.h"

#include "BootLoader.h"
#include "BootLoaderView.h"
#include "DesktopServicesOpener.h"
#include "ReaderPage.h"
#include "ResultsPage.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorPanel.h"
#include "SimulatorSetup.h"
#include "TFormMainKalS_D7.h"
#include "TFrameBDTS.h"
#include "TFrameSoftVir.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"
#include "link/PortSelector.h"

#include <QApplication>
#include <QSerialPortInfo>

#include <algorithm>
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
    QStringList ports = systemPorts;
    std::sort(ports.begin(), ports.end());
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
    Session session(clock, port,
                    DataFolder::resolve(commandLine.value(QStringLiteral("data-dir"))));

    // Built before the start-up so it mirrors every message and link check.
    TFormMainKalS_D7 window(session, instrument.get());
    DesktopServicesOpener opener;
    TFrameSoftVir *firmwareFrame = nullptr;
    window.setFrameFactory(1, [&session, &firmwareFrame](QWidget *parent) -> QWidget * {
        firmwareFrame = new TFrameSoftVir(session, parent);
        return firmwareFrame;
    });
    // The firmware page finishes its action once the page is shown: file search,
    // the wizard's step, the layout.
    QObject::connect(&session.navigator(), &PageNavigator::actionExecuted, &window,
                     [&firmwareFrame](int index) {
                         if (index == PageNavigator::FirmwarePage && firmwareFrame) {
                             firmwareFrame->beforeShow();
                             firmwareFrame->afterShow();
                         }
                     });
    window.setFrameFactory(
        2, [&session](QWidget *parent) -> QWidget * { return new TFrameBDTS(session, parent); });
    window.setPageContent(3, new ReaderPage(session, opener));
    window.setPageContent(4, new ResultsPage(session));
    if (instrument && window.simulatorPanel()) {
        if (auto *bootLoader = instrument->feature<BootLoader>())
            window.simulatorPanel()->addSection(new BootLoaderView(*bootLoader));
    }

    QStringList systemPorts;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        systemPorts.append(info.systemLocation());
    session.connection().formCreate(startupPorts(systemPorts, portName));

    window.show();
    return QApplication::exec();
}

} // namespace kalent
