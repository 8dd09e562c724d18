#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "journal/ServiceJournal.h"
#include "watch/WatchService.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <csignal>

namespace kalent {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void signalStop(int)
{
    stopSignalled = 1;
}

} // namespace

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

    std::signal(SIGINT, signalStop);
    std::signal(SIGTERM, signalStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (!stopSignalled)
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
