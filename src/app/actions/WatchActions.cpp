#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "ShutdownSignals.h"
#include "journal/ServiceJournal.h"
#include "watch/WatchService.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

namespace kalent {

int runWatch(const CommandLine &commandLine)
{
    const QString portName = commandLine.value(QStringLiteral("port"));
    HeadlessRun run(commandLine);
    // The pages' running texts (byte counts, progress) are not for a service's
    // log: it says what it saved and what went wrong.
    run.setPaneEcho(false);
    Session &session = run.session();
    QObject::connect(&session.journal(), &ServiceJournal::appendFailed, &HeadlessRun::printError);

    WatchService watch(session, portName);
    QObject::connect(&watch, &WatchService::saved, [](const QString &path) {
        HeadlessRun::printOut(QDir::toNativeSeparators(path));
    });
    QObject::connect(&watch, &WatchService::message, &HeadlessRun::printError);
    QObject::connect(&watch, &WatchService::stopped, [] { QCoreApplication::quit(); });

    // Lives until the loop below has ended, that is until the watch has stopped:
    // on Windows the console's close waits for that.
    const ShutdownSignals shutdown;
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (!shutdown.requested())
            return;
        stopWatch.stop();
        HeadlessRun::printError(QStringLiteral("Остановка: наблюдение завершается."));
        watch.stop();
    });
    stopWatch.start(50);
    QTimer::singleShot(0, &watch, &WatchService::start);
    QCoreApplication::exec();
    return 0;
}

} // namespace kalent
