#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/SystemPorts.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>

#ifdef Q_OS_UNIX
#include "PtyBridge.h"
#endif

namespace kalent {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

} // namespace

int runPorts(const CommandLine &)
{
    for (const QString &name : systemPortNames())
        HeadlessRun::printOut(name);
    HeadlessRun::printOut(QStringLiteral("sim"));
    return 0;
}

int runContact(const CommandLine &commandLine)
{
    HeadlessRun run(commandLine);
    if (!run.establishFastLink())
        return 1;
    HeadlessRun::printOut(QStringLiteral("115200"));
    return 0;
}

int runSimulate(const CommandLine &commandLine)
{
#ifdef Q_OS_UNIX
    int baud = VirtualInstrument::DefaultBaud;
    if (commandLine.has(QStringLiteral("baud"))) {
        const QList<int> allowed = {4800, 9600, 19200, 38400, 57600, 115200};
        baud = commandLine.value(QStringLiteral("baud")).toInt();
        if (!allowed.contains(baud)) {
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Скорость --baud: одна из 4800, 9600, 19200, 38400, "
                                            "57600, 115200."));
        }
    }
    SystemClock clock;
    auto instrument = createBuiltInInstrument(clock);
    instrument->setBaud(baud);
    // --programming: as if switched on with the stylus held (the boot loader
    // then talks at 115200 whatever --baud said).
    if (!setUpSimulatedBootLoader(*instrument,
                                  commandLine.flags.contains(QStringLiteral("programming")),
                                  commandLine.value(QStringLiteral("boot-fault"))))
        return 2;
    PtyBridge bridge(*instrument);
    if (!bridge.start()) {
        HeadlessRun::printError(
            QStringLiteral("Не удалось создать псевдотерминал: %1").arg(bridge.errorString()));
        return 1;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    HeadlessRun::printOut(bridge.slavePath());
    QObject::connect(instrument.get(), &VirtualInstrument::baudChanged, [](int newBaud) {
        HeadlessRun::printError(QStringLiteral("instrument speed: %1").arg(newBaud));
    });
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopWatch.start(50);
    QCoreApplication::exec();
    return 0;
#else
    Q_UNUSED(commandLine);
    HeadlessRun::printError(
        QStringLiteral("Для simulate --pty нужна система с псевдотерминалами."));
    return 1;
#endif
}

} // namespace kalent
