#include "Actions.h"
#include "BootLoader.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "VirtualInstrument.h"
#include "firmware/FirmwareUpload.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

namespace kalent {

void setUpSimulatedBootLoader(VirtualInstrument &instrument, bool programmingMode)
{
    BootLoader *loader = instrument.feature<BootLoader>();
    if (!loader)
        return;
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
}

int runFlash(const CommandLine &commandLine)
{
    if (commandLine.positional.size() != 1) {
        HeadlessRun::printError(QStringLiteral(
            "usage: kalent-service flash --port NAME FILE.tsk [--wait-restart] [--timeout S]"));
        return 2;
    }
    const QString path = commandLine.positional.constFirst();
    HeadlessRun run(commandLine);
    // Nobody can hold the built-in instrument's stylus from here: it waits in
    // programming mode from the start.
    if (VirtualInstrument *instrument = run.simulator())
        setUpSimulatedBootLoader(*instrument, true);
    if (!run.openPort())
        return 1;

    Session &session = run.session();
    // As entering the firmware page does: 115200 directly, no exchange.
    session.connection().setFastestSpeedDirectly();

    QByteArray image;
    const QString error = FirmwareUpload::readImage(path, &image);
    if (!error.isEmpty()) {
        HeadlessRun::printError(error);
        return 1;
    }
    if (!session.port().ctsHolding()) {
        HeadlessRun::printError(QStringLiteral("Нет связи с прибором"));
        return 1;
    }

    const auto journal = [&](const QString &result) {
        session.journal().append(ServiceJournal::firmwareUpload(path, image, result));
    };
    FirmwareUpload upload(session.port(), session.pane(), session.clock());
    bool sent = false;
    bool lineLost = false;
    bool restarted = false;
    QObject::connect(&upload, &FirmwareUpload::finished, [&sent] { sent = true; });
    QObject::connect(
        &session.connection(), &Connection::instrumentControlsEnabled, &upload, [&](bool up) {
            if (up || !upload.running())
                return;
            upload.halt();
            lineLost = true;
            session.pane().setText(QStringLiteral("Перепрограммирование прибора отменено."));
        });
    session.dispatcher().setReplyHandler(ReceiveDispatcher::StartupReport,
                                         [&restarted](QByteArray &buffer) {
                                             restarted = true;
                                             buffer.clear();
                                         });
    session.dispatcher().clearInBuffer();
    journal(QStringLiteral("начата"));
    upload.start(image);

    if (!run.waitFor([&] { return sent || lineLost; })) {
        upload.halt();
        journal(QStringLiteral("остановлена: порт не принимает данные"));
        HeadlessRun::printError(QStringLiteral("Передача остановилась: порт не принимает данные."));
        return 1;
    }
    if (lineLost) {
        journal(QStringLiteral("отменена: нет связи с прибором"));
        return 1;
    }
    if (!commandLine.flags.contains(QStringLiteral("wait-restart"))) {
        journal(QStringLiteral("передана целиком; перезапуск не ожидался"));
        return 0;
    }
    if (!run.waitFor([&restarted] { return restarted; })) {
        journal(QStringLiteral("передана целиком; перезапуск прибора не подтверждён"));
        HeadlessRun::printError(
            QStringLiteral("Прибор не сообщил о запуске программы управления."));
        return 1;
    }
    journal(QStringLiteral("передана целиком; перезапуск прибора подтверждён"));
    session.pane().setText(QStringLiteral("Перепрограммирование прибора завершено"));
    return 0;
}

} // namespace kalent
