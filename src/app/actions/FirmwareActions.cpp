#include "Actions.h"
#include "BootLoader.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "StopSignals.h"
#include "VirtualInstrument.h"
#include "common/OperatorTexts.h"
#include "firmware/FirmwareWizard.h"
#include "link/LineOwner.h"
#include "link/SerialPort.h"

#include <optional>

namespace kalent {

namespace {
// How long the system may take to put its queue on the line before exiting.
constexpr int DrainMs = 5000;
} // namespace

bool setUpSimulatedBootLoader(VirtualInstrument &instrument, bool programmingMode,
                              const QString &fault)
{
    BootLoader *loader = instrument.feature<BootLoader>();
    if (!loader)
        return true;
    if (fault == QLatin1String("early-report")) {
        loader->setFault(BootLoader::Fault::StartsDuringUpload);
    } else if (fault == QLatin1String("no-report")) {
        loader->setFault(BootLoader::Fault::NeverReports);
    } else if (!fault.isEmpty()) {
        HeadlessRun::printError(QStringLiteral("Сбой --boot-fault: early-report или no-report."));
        return false;
    }
    QObject::connect(loader, &BootLoader::programmingModeChanged, [](bool on) {
        HeadlessRun::printError(on ? QStringLiteral("boot loader: programming mode")
                                   : QStringLiteral("boot loader: control program started"));
    });
    QObject::connect(loader, &BootLoader::uploadFinished, [loader](BootLoader::Result result) {
        if (result == BootLoader::Result::Accepted) {
            HeadlessRun::printError(QStringLiteral("boot loader: upload accepted, %1 bytes")
                                        .arg(loader->programImage().size()));
        } else {
            HeadlessRun::printError(QStringLiteral("boot loader: upload refused, %1")
                                        .arg(result == BootLoader::Result::BadLength
                                                 ? QStringLiteral("bad length")
                                                 : QStringLiteral("bad checksum")));
        }
    });
    if (programmingMode)
        loader->enterProgrammingMode();
    return true;
}

// The firmware page's own flow, driven from the command line: the file as
// chosen in the dialog, the wizard entered with the operator's word that the
// instrument waits in programming mode (step 3 at once), the load confirmed.
// The wizard then sends, follows the line and takes "L" as the restart only
// once every byte is on the line; the action waits on the upload's outcome.
int runFlash(const CommandLine &commandLine)
{
    const QString path = commandLine.positional.constFirst();
    // Waiting for the restart is the default; --wait-restart is still taken.
    const bool waitForRestart = !commandLine.flags.contains(QStringLiteral("no-wait"));
    HeadlessRun run(commandLine);
    // Nobody can hold the built-in instrument's stylus from here: it waits in
    // programming mode from the start.
    if (VirtualInstrument *instrument = run.simulator())
        setUpSimulatedBootLoader(*instrument, true);
    if (!run.openPort())
        return 1;

    Session &session = run.session();
    FirmwareWizard &wizard = session.firmware();
    wizard.fileChosen(path);
    wizard.enterInProgrammingMode();

    // SIGTERM, SIGINT, SIGHUP or Ctrl-C (caught since the program started): an
    // upload that can still be stopped stops before its next block, one whose
    // bytes are all with the port ends; either way the journal says how it
    // ended and the program exits.
    StopSignals stopSignals;
    bool stopAsked = StopSignals::caught();
    if (stopAsked) {
        HeadlessRun::printError(QStringLiteral("Остановка по сигналу: загрузка не начата."));
        return 1;
    }
    std::optional<JobOutcome> outcome;
    bool sent = false;
    QObject::connect(&wizard, &FirmwareWizard::uploadEnded, &wizard,
                     [&outcome](JobOutcome o) { outcome = o; });
    QObject::connect(&wizard, &FirmwareWizard::uploadSent, &wizard, [&sent] { sent = true; });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &wizard, [&] {
        stopAsked = true;
        wizard.stopForShutdown();
    });

    const FirmwareWizard::Start start = wizard.startUpload(true);
    if (start == FirmwareWizard::Start::NotInStepThree)
        HeadlessRun::printError(OperatorTexts::noLink());
    if (start != FirmwareWizard::Start::Started)
        return 1; // the file could not be sent; the pane said why

    const bool settled = run.waitFor([&] { return outcome.has_value() || sent; });
    // The action's own last line says how a wait it gives up ended; the
    // journal takes the cancel's words, the pane's echo does not repeat them.
    if (!settled && !outcome) {
        run.setPaneEcho(false);
        session.line().cancel(QStringLiteral("порт не принимает данные"));
        HeadlessRun::printError(QStringLiteral("Передача остановилась: порт не принимает данные."));
        return 1;
    }
    if (!outcome && waitForRestart && !stopAsked)
        run.waitFor([&] { return outcome.has_value() || stopAsked; });
    // The restart was not awaited or never came: the wait ends here, journalled.
    if (!outcome) {
        run.setPaneEcho(false);
        session.line().cancel(stopAsked ? FirmwareWizard::stopSignalReason()
                              : waitForRestart
                                  ? QStringLiteral("прибор не сообщил о запуске программы "
                                                   "управления")
                                  : QStringLiteral("перезапуск не ожидался"));
    }
    // Whatever happened, nothing written is left behind in the system's queue.
    session.port().drain(DrainMs);

    if (outcome == JobOutcome::Done)
        return 0;
    if (stopAsked) {
        HeadlessRun::printError(sent ? QStringLiteral("Остановка по сигналу: программа передана, "
                                                      "перезапуск прибора не подтверждён.")
                                     : QStringLiteral("Остановка по сигналу: загрузка прервана."));
        return 1;
    }
    if (sent && !waitForRestart) {
        HeadlessRun::printError(QStringLiteral(
            "Программа передана, перезапуск прибора не ожидался: результат не подтверждён."));
        return 0;
    }
    if (sent) {
        HeadlessRun::printError(
            QStringLiteral("Прибор не сообщил о запуске программы управления."));
    }
    return 1; // otherwise the wizard's own message is the last line
}

} // namespace kalent
