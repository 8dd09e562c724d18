#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "StopSignals.h"
#include "journal/ServiceJournal.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"
#include "store/SessionReadings.h"
#include "watch/UnsavedReadings.h"
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
    // A folder that takes no file would lose every reading while the service
    // looks healthy: the service does not start on it.
    if (const QString why = session.dataFolder().cannotTakeFiles(); !why.isEmpty()) {
        HeadlessRun::printError(
            QStringLiteral("Папка данных %1 не принимает файлы: %2. Наблюдение не начато.")
                .arg(QDir::toNativeSeparators(session.dataFolder().path()), why));
        return 1;
    }
    QObject::connect(&session.journal(), &ServiceJournal::appendFailed, &HeadlessRun::printError);
    // Every reading saved goes into the store too; one it cannot take waits in the queue.
    std::unique_ptr<SessionReadings> readings;
    if (!attachReadings(run, commandLine, &readings))
        return 2;

    WatchService watch(session, portName);
    const auto printSaved = [](const QString &path) {
        HeadlessRun::printOut(QDir::toNativeSeparators(path));
    };
    QObject::connect(&watch, &WatchService::saved, printSaved);
    QObject::connect(&watch, &WatchService::message, &HeadlessRun::printError);
    // A reading whose file cannot be written is kept and written again; what
    // is still unsaved at the end is lost, journalled, and fails the exit status.
    UnsavedReadings unsaved(session.clock(), session.journal());
    QObject::connect(&session.reader(), &OpticalDensityReader::autoSaveFailed, &unsaved,
                     &UnsavedReadings::keep);
    QObject::connect(&session.results(), &ResultsProtocol::autoSaveFailed, &unsaved,
                     &UnsavedReadings::keep);
    QObject::connect(&unsaved, &UnsavedReadings::saved, printSaved);
    // The stored reading gets the file its late save wrote.
    if (readings)
        QObject::connect(&unsaved, &UnsavedReadings::saved, &readings->recorder(),
                         &ReadingRecorder::fileWrittenLater);
    QObject::connect(&unsaved, &UnsavedReadings::message, &HeadlessRun::printError);
    QObject::connect(&watch, &WatchService::stopped, [] { QCoreApplication::quit(); });

    StopSignals stopSignals;
    bool stopping = false;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, [&] {
        if (stopping)
            return;
        stopping = true;
        HeadlessRun::printError(QStringLiteral("Остановка: наблюдение завершается."));
        watch.stop();
    });
    QTimer::singleShot(0, &watch, &WatchService::start);
    QCoreApplication::exec();
    return unsaved.finish() > 0 ? 1 : 0;
}

} // namespace kalent
