#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "SimulatorSetup.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/LineSpeeds.h"
#include "link/SystemPorts.h"

#include <QCoreApplication>
#include <QTimer>

#include <optional>

#ifdef Q_OS_UNIX
#include "MeasurementData.h"
#include "PtyBridge.h"
#include "PtyLine.h"
#include "ReplayScript.h"
#include "TraceReplay.h"
#include "trace/ExchangeTrace.h"
#endif

namespace kalent {

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

#ifdef Q_OS_UNIX
namespace {

// simulate --trace FILE: the exchange as the line carried it, seen from the
// program's side (tx what it sent, rx what it was given), so it replays as is.
void traceLine(const CommandLine &commandLine, PtyLine &line, ExchangeTrace &trace)
{
    if (!commandLine.has(QStringLiteral("trace")))
        return;
    const QString error = trace.openFile(commandLine.value(QStringLiteral("trace")));
    if (!error.isEmpty())
        HeadlessRun::printError(error);
    QObject::connect(&trace, &ExchangeTrace::writeFailed, &HeadlessRun::printError);
    QObject::connect(&line, &PtyLine::received, &trace,
                     [&trace, &line](const QByteArray &bytes, int baud) {
                         trace.record(TraceRecord::Direction::Sent, baud, line.slavePath(), bytes);
                     });
    QObject::connect(
        &line, &PtyLine::written, &trace, [&trace, &line](const QByteArray &bytes, int baud) {
            trace.record(TraceRecord::Direction::Received, baud, line.slavePath(), bytes);
        });
}

// Runs until SIGINT or SIGTERM (caught since the program's start, so one that
// comes right after the path is printed ends the run cleanly too).
void runUntilStopped()
{
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

// simulate --pty --replay FILE: a recorded trace answers as the instrument.
int runReplay(const CommandLine &commandLine)
{
    const QString path = commandLine.value(QStringLiteral("replay"));
    QString error;
    std::unique_ptr<ReplayScript> script = ReplayScript::load(path, &error);
    if (!script) {
        HeadlessRun::printError(TraceReplay::refusedText(path, error));
        return 2;
    }
    // The line starts at the speed the recording's first command went at.
    const int firstBaud =
        script->firstBaud() > 0 ? script->firstBaud() : VirtualInstrument::DefaultBaud;
    SystemClock clock;
    const std::unique_ptr<VirtualInstrument> instrument =
        createReplayInstrument(clock, std::move(script));
    TraceReplay &replay = *instrument->feature<TraceReplay>();
    PtyBridge bridge(*instrument);
    if (!bridge.start(firstBaud)) {
        HeadlessRun::printError(
            QStringLiteral("Не удалось создать псевдотерминал: %1").arg(bridge.errorString()));
        return 1;
    }
    ExchangeTrace trace;
    traceLine(commandLine, bridge.line(), trace);
    QObject::connect(&replay, &TraceReplay::departed, [](const QString &report) {
        HeadlessRun::printError(TraceReplay::departureText(report));
    });
    bool countSaid = false;
    QObject::connect(&replay, &TraceReplay::finished, [&replay, &countSaid] {
        countSaid = true;
        HeadlessRun::printError(replay.endText());
    });
    HeadlessRun::printOut(bridge.slavePath());
    // A pty nobody was told of serves nobody: the run ends (the reason is said at the end).
    if (!StandardOutput::finish().isEmpty())
        return 1;
    replay.start();
    runUntilStopped();
    if (!countSaid)
        HeadlessRun::printError(replay.endText());
    return 0;
}

} // namespace
#endif

#ifdef Q_OS_UNIX
namespace {

// The longest notice period: a day (a timer counts milliseconds in an int).
constexpr double MaxNoticeSeconds = 86400;

// simulate's own options, checked before anything starts, with --replay too.
struct SimulateOptions
{
    double noticeSeconds = 0;
    int baud = VirtualInstrument::DefaultBaud;
    QString bootFault;
};

std::optional<SimulateOptions> simulateOptions(const CommandLine &commandLine, int *status)
{
    SimulateOptions options;
    *status = 2;
    if (commandLine.has(QStringLiteral("notices")) &&
        !secondsInRange(commandLine.value(QStringLiteral("notices")), 0.2, MaxNoticeSeconds,
                        &options.noticeSeconds)) {
        HeadlessRun::usageError(commandLine,
                                QStringLiteral("Параметру --notices нужно число секунд от 0,2 "
                                               "до %1.")
                                    .arg(MaxNoticeSeconds));
        return std::nullopt;
    }
    if (commandLine.has(QStringLiteral("baud"))) {
        bool ok = false;
        options.baud = commandLine.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || LineSpeeds::codeForBaud(options.baud) < 0) {
            QStringList speeds;
            for (const int baud : LineSpeeds::Bauds)
                speeds.append(QString::number(baud));
            HeadlessRun::usageError(commandLine, QStringLiteral("Скорость --baud: одна из %1.")
                                                     .arg(speeds.join(QStringLiteral(", "))));
            return std::nullopt;
        }
    }
    if (commandLine.has(QStringLiteral("boot-fault"))) {
        options.bootFault = commandLine.value(QStringLiteral("boot-fault"));
        if (options.bootFault != QLatin1String("early-report") &&
            options.bootFault != QLatin1String("no-report")) {
            HeadlessRun::usageError(
                commandLine, QStringLiteral("Сбой --boot-fault: early-report или no-report."));
            return std::nullopt;
        }
    }
    return options;
}

} // namespace
#endif

int runSimulate(const CommandLine &commandLine)
{
#ifdef Q_OS_UNIX
    int status = 0;
    const std::optional<SimulateOptions> options = simulateOptions(commandLine, &status);
    if (!options)
        return status;
    if (commandLine.has(QStringLiteral("replay")))
        return runReplay(commandLine);
    const double noticeSeconds = options->noticeSeconds;
    const int baud = options->baud;
    SystemClock clock;
    auto instrument = createBuiltInInstrument(clock);
    instrument->setBaud(baud);
    // --programming: as if switched on with the stylus held (the boot loader
    // then talks at 115200 whatever --baud said).
    if (!setUpSimulatedBootLoader(*instrument,
                                  commandLine.flags.contains(QStringLiteral("programming")),
                                  options->bootFault))
        return 2;
    PtyBridge bridge(*instrument);
    ExchangeTrace trace;
    traceLine(commandLine, bridge.line(), trace);
    if (!bridge.start()) {
        HeadlessRun::printError(
            QStringLiteral("Не удалось создать псевдотерминал: %1").arg(bridge.errorString()));
        return 1;
    }
    HeadlessRun::printOut(bridge.slavePath());
    if (!StandardOutput::finish().isEmpty())
        return 1;
    QObject::connect(instrument.get(), &VirtualInstrument::baudChanged, [](int newBaud) {
        HeadlessRun::printError(QStringLiteral("instrument speed: %1").arg(newBaud));
    });
    // --notices S: a measurement finishes every S seconds ("G"), and its results
    // are ready half a period later ("g"), so the two reads never meet.
    QTimer measured;
    QTimer resultsReady;
    resultsReady.setSingleShot(true);
    MeasurementData *data = instrument->feature<MeasurementData>();
    if (noticeSeconds > 0 && data) {
        const int periodMs = static_cast<int>(noticeSeconds * 1000);
        QObject::connect(&measured, &QTimer::timeout, [&, periodMs] {
            data->announceMeasurement(*instrument);
            HeadlessRun::printError(
                QStringLiteral("notice: measurement %1 finished").arg(data->measurementNumber()));
            resultsReady.start(periodMs / 2);
        });
        QObject::connect(&resultsReady, &QTimer::timeout, [&] {
            data->announceResults(*instrument);
            HeadlessRun::printError(
                QStringLiteral("notice: results %1 ready").arg(data->protocolNumber()));
        });
        measured.start(periodMs);
    }
    runUntilStopped();
    return 0;
#elif defined(Q_OS_WIN)
    Q_UNUSED(commandLine);
    // Windows has no pseudo-terminals; the same instrument runs inside the program.
    HeadlessRun::printError(
        QStringLiteral("simulate --pty недоступно в Windows: в ней нет псевдотерминалов. "
                       "Встроенный прибор работает внутри программы: --port sim."));
    return 1;
#else
    Q_UNUSED(commandLine);
    HeadlessRun::printError(
        QStringLiteral("Для simulate --pty нужна система с псевдотерминалами."));
    return 1;
#endif
}

} // namespace kalent
