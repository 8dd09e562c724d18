// The window's long transfers on the real clock: the composed window (offscreen)
// on the built-in instrument at 115200 baud, as `--port sim` runs it, reads and
// writes a 999-page database and uploads a 1 MB firmware image. For each it
// prints the process's processor time (getrusage) per page or block, the wall
// time against the line's own time for the bytes, and the process's share of a
// processor; the resident memory before and after. Asserts nothing.
//
//   bench_WindowTransfers [--show-trace] [--pages N] [--image BYTES]
//
// --show-trace opens the exchange trace window for the run (it is hidden, as
// the operator mostly leaves it, by default). The same flows headless on the
// same parts (no window, no trace kept in memory, as the command line runs
// them) give what the window adds per page, per block and to the share of a
// processor during an upload. The same flows run
// first headless on the manual clock: the modelled line's own time for each,
// its turnarounds included, which no processing can shorten.
#include "BootLoader.h"
#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "MainWindow.h"
#include "ManualClock.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "WindowComposition.h"
#include "common/DataFolder.h"
#include "common/SystemClock.h"
#include "database/DatabasePage.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/FirmwareWizard.h"
#include "link/Connection.h"
#include "navigation/PageNavigator.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace kalent;

namespace {

// Step 3 with the line up and a file: the load button would be enabled.
bool loadReady(const FirmwareWizard &wizard)
{
    const FirmwareState &state = wizard.state();
    return state.linkUp && state.step == WizardStep::Ready && state.file.found();
}

// Every byte of the image is on the line: the instrument writes it and restarts.
bool imageOnTheLine(const FirmwareWizard &wizard)
{
    const WizardStep step = wizard.step();
    return step == WizardStep::AwaitingRestart || step == WizardStep::Restarting ||
           step == WizardStep::RestartedUp;
}

constexpr int Baud = 115200;
constexpr double BytesPerSecond = Baud / 10.0;
constexpr int PageBytes = 529; // "r" or "m" and the 528 bytes of a page

double processorSeconds()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return 0;
#endif
}

// Resident memory now, in MB (Linux); 0 elsewhere.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

bool runUntil(const std::function<bool()> &done, int limitMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() > limitMs)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    return done();
}

QByteArray pseudoRandomImage(int size)
{
    QByteArray image(size, '\0');
    quint32 seed = 12345;
    for (char &c : image) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return image;
}

// How long each flow takes on the modelled line when processing takes no time.
struct ModelledTimes
{
    double readS = 0;
    double writeS = 0;
    double uploadS = 0;
};

// Switches the instrument on with the stylus held (programming mode): the
// boot loader stays silent and the wizard's step 3 opens.
void switchOnInProgrammingMode(VirtualInstrument &instrument)
{
    instrument.setStylusHeld(true);
    instrument.setPowered(true);
    instrument.setStylusHeld(false);
}

ModelledTimes onTheModelledLine(int pages, const QString &firmwarePath, const QString &dataDir)
{
    ModelledTimes times;
    ManualClock clock;
    auto instrument = createBuiltInInstrument(clock);
    SimulatedPort port(*instrument, clock);
    Session session(clock, port, DataFolder::resolve(dataDir));
    session.connection().openFirstPort({QStringLiteral("sim")});
    session.connection().searchWithFastestSpeed();
    if (!clock.advanceUntil([&] { return session.connection().atFastestSpeed(); }, 60000))
        return times;
    clock.advance(50);
    instrument->feature<DatabaseCommands>()->setImage(DemoDatabase::withPages(pages));
    DatabasePage &page = session.databasePage();
    qint64 start = clock.nowMs();
    page.readInstrumentList();
    if (clock.advanceUntil([&] { return page.readsCompleted() == 1; }, 3600000))
        times.readS = static_cast<double>(clock.nowMs() - start) / 1000.0;
    start = clock.nowMs();
    page.writeInstrumentList();
    if (clock.advanceUntil([&] { return page.writesCompleted() == 1; }, 3600000))
        times.writeS = static_cast<double>(clock.nowMs() - start) / 1000.0;

    session.navigator().openPage(Page::Firmware);
    FirmwareWizard &wizard = session.firmware();
    wizard.fileChosen(firmwarePath);
    instrument->setPowered(false);
    clock.advance(300);
    switchOnInProgrammingMode(*instrument);
    if (!clock.advanceUntil([&] { return loadReady(wizard); }, 20000))
        return times;
    start = clock.nowMs();
    wizard.startUpload(true);
    if (clock.advanceUntil([&] { return imageOnTheLine(wizard); }, 3600000))
        times.uploadS = static_cast<double>(clock.nowMs() - start) / 1000.0;
    return times;
}

// What a run measured, for the comparison of the window with the headless run.
struct Figures
{
    double readMsPerPage = 0;
    double writeMsPerPage = 0;
    double uploadMsPerBlock = 0;
    double uploadShare = 0;
};

// Processor and wall time from construction to report().
class Measure
{
public:
    Measure() : m_cpu(processorSeconds()) { m_wall.start(); }

    // lineS: the line's own time for the bytes of the transfer; modelledS: the
    // flow's time on the modelled line; units: pages or blocks.
    void report(const QByteArray &what, bool done, double lineS, double modelledS, int units,
                const char *unit) const
    {
        const double wallS = static_cast<double>(m_wall.elapsed()) / 1000.0;
        const double cpuS = processorSeconds() - m_cpu;
        std::printf("%s: %s\n", what.constData(), done ? "done" : "NOT DONE");
        std::printf("  processor:                  %.3f s, %.2f ms per %s (%d)\n", cpuS,
                    1000.0 * cpuS / units, unit, units);
        std::printf("  wall / line time:           %.2f s / %.2f s = %.4f\n", wallS, lineS,
                    wallS / lineS);
        if (modelledS > 0)
            std::printf("  wall / modelled line:       %.2f s / %.2f s = %.4f\n", wallS, modelledS,
                        wallS / modelledS);
        std::printf("  share of a processor:       %.2f %%\n", 100.0 * cpuS / wallS);
        std::printf("  resident memory after:      %.1f MB\n", residentMb());
        std::fflush(stdout);
    }
    double wallSeconds() const { return static_cast<double>(m_wall.elapsed()) / 1000.0; }
    double processorMsPer(int units) const { return 1000.0 * (processorSeconds() - m_cpu) / units; }
    double processorShare() const
    {
        return (processorSeconds() - m_cpu) / (static_cast<double>(m_wall.elapsed()) / 1000.0);
    }

private:
    double m_cpu;
    QElapsedTimer m_wall;
};

// Switches the instrument on with the stylus held (programming mode) and waits
// for the wizard's step 3.
bool toProgrammingMode(Session &session, VirtualInstrument &instrument, const QString &path)
{
    FirmwareWizard &wizard = session.firmware();
    wizard.fileChosen(path);
    instrument.setPowered(false);
    runUntil([] { return false; }, 300);
    switchOnInProgrammingMode(instrument);
    return runUntil([&] { return loadReady(wizard); }, 20000);
}

int blocksOf(int imageSize)
{
    return (imageSize + FirmwareUpload::BlockSize - 1) / FirmwareUpload::BlockSize;
}

// The line's own time for an upload: its bytes (marker, length, image,
// checksum) and the 100 ms pause the protocol sets after each block.
double uploadLineSeconds(int imageSize)
{
    return (imageSize + 8) / BytesPerSecond + blocksOf(imageSize) * FirmwareUpload::TickMs / 1000.0;
}

// The read, the write and the upload on a session whose instrument holds
// `pages` pages, each measured; `who` names the run in the report.
Figures transfers(const char *who, Session &session, VirtualInstrument &instrument, int pages,
                  int imageSize, const QString &firmwarePath, const ModelledTimes &modelled)
{
    Figures figures;
    const auto what = [who](const char *transfer) {
        return QByteArray(transfer) + ", " + who;
    };
    instrument.feature<DatabaseCommands>()->setImage(DemoDatabase::withPages(pages));
    DatabasePage &page = session.databasePage();
    const int limitMs = 20 * 60 * 1000;
    {
        // Opening the page checks the link first, which holds the line for a
        // while: asked again until it starts, and measured from there.
        runUntil(
            [&] {
                page.readInstrumentList();
                return page.readInProgress();
            },
            10000);
        Measure measure;
        // When the last page came: the rest is making the list and showing it.
        double lastPageS = 0;
        const QMetaObject::Connection lastPage =
            QObject::connect(&page.service().transfer(), &DatabaseTransfer::pageReceived,
                             [&](int pageNo, int pageCount) {
                                 if (pageNo == pageCount)
                                     lastPageS = measure.wallSeconds();
                             });
        const bool done = runUntil([&] { return page.readsCompleted() == 1; }, limitMs);
        QObject::disconnect(lastPage);
        // Sent "R" and a "r" per page; received "R" and 4 characters, and the pages.
        const double lineS = (1 + 5 + pages * (1 + PageBytes)) / BytesPerSecond;
        measure.report(what("database read"), done, lineS, modelled.readS, pages, "page");
        std::printf("  last page in at:            %.2f s\n", lastPageS);
        figures.readMsPerPage = measure.processorMsPer(pages);
    }
    {
        runUntil(
            [&] {
                page.writeInstrumentList();
                return page.writeInProgress() || page.writeWaitingForBackup();
            },
            10000);
        Measure measure;
        const bool done = runUntil([&] { return page.writesCompleted() == 1; }, limitMs);
        // Sent "M" and the count, and the pages; received a "m" per page and one more.
        const double lineS = (3 + pages * PageBytes + pages + 1) / BytesPerSecond;
        measure.report(what("database write"), done, lineS, modelled.writeS, pages, "page");
        figures.writeMsPerPage = measure.processorMsPer(pages);
    }

    session.navigator().openPage(Page::Firmware);
    if (!toProgrammingMode(session, instrument, firmwarePath)) {
        std::printf("firmware: step 3 never opened\n");
        return figures;
    }
    FirmwareWizard &wizard = session.firmware();
    Measure measure;
    wizard.startUpload(true);
    const bool done = runUntil([&] { return imageOnTheLine(wizard); }, limitMs);
    measure.report(what("firmware upload"), done, uploadLineSeconds(imageSize), modelled.uploadS,
                   blocksOf(imageSize), "block");
    figures.uploadMsPerBlock = measure.processorMsPer(blocksOf(imageSize));
    figures.uploadShare = measure.processorShare();
    return figures;
}

Figures window(bool showTrace, int pages, int imageSize, const QString &firmwarePath,
               const QString &dataDir, const ModelledTimes &modelled)
{
    std::printf("resident memory at the start:  %.1f MB\n", residentMb());
    WindowComposition composition({QStringLiteral("sim"), std::nullopt, dataDir, {}, {}});
    composition.start();
    Session &session = composition.session();
    if (showTrace) {
        if (auto *open =
                composition.window().findChild<QAction *>(QStringLiteral("actionShowTrace")))
            open->trigger();
    }
    session.connection().searchWithFastestSpeed();
    if (!runUntil([&] { return session.connection().atFastestSpeed(); }, 60000)) {
        std::printf("no contact with the built-in instrument\n");
        return {};
    }
    session.navigator().openPage(Page::Database);
    runUntil([] { return false; }, 300);
    std::printf("resident memory, window up:    %.1f MB\n", residentMb());
    std::printf("exchange trace window:         %s\n\n", showTrace ? "shown" : "hidden");
    std::fflush(stdout);
    return transfers("window", session, *composition.instrument(), pages, imageSize, firmwarePath,
                     modelled);
}

// The same flows without a window, as the command line runs them (the trace
// keeps nothing in memory), on a smaller list and image: the baseline of the
// simulated line and the core, which the window adds to.
Figures headless(int pages, int imageSize, const QString &firmwarePath, const QString &dataDir)
{
    SystemClock clock;
    auto instrument = createBuiltInInstrument(clock);
    SimulatedPort simPort(*instrument, clock);
    ExchangeTrace trace;
    trace.setKeepRecent(false);
    TracingPort port(simPort, trace);
    Session session(clock, port, DataFolder::resolve(dataDir));
    session.connection().openFirstPort({QStringLiteral("sim")});
    session.connection().searchWithFastestSpeed();
    if (!runUntil([&] { return session.connection().atFastestSpeed(); }, 60000))
        return {};
    return transfers("headless", session, *instrument, pages, imageSize, firmwarePath, {});
}

bool writeImage(const QString &path, int size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pseudoRandomImage(size)) == size;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool showTrace = false;
    int pages = 999;
    int imageSize = 1024 * 1024;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--show-trace"))
            showTrace = true;
        else if (args[i] == QLatin1String("--pages") && i + 1 < args.size())
            pages = args[++i].toInt();
        else if (args[i] == QLatin1String("--image") && i + 1 < args.size())
            imageSize = args[++i].toInt();
    }
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.tsk"));
    const QString small = dir.filePath(QStringLiteral("small.tsk"));
    const int headlessSize = qMin(imageSize, 256 * 1024);
    const int headlessPages = qMin(pages, 200);
    if (!writeImage(big, imageSize) || !writeImage(small, headlessSize))
        return 1;
    std::printf("window transfers at %d baud: %d pages, %d-byte firmware image\n", Baud, pages,
                imageSize);
    const ModelledTimes modelled =
        onTheModelledLine(pages, big, dir.filePath(QStringLiteral("modelled")));
    std::printf("on the modelled line (manual clock): read %.2f s, write %.2f s, upload %.2f s\n",
                modelled.readS, modelled.writeS, modelled.uploadS);
    const Figures withWindow =
        window(showTrace, pages, imageSize, big, dir.filePath(QStringLiteral("window")), modelled);
    std::printf("\n");
    const Figures without =
        headless(headlessPages, headlessSize, small, dir.filePath(QStringLiteral("headless")));
    std::printf("\nwhat the window adds to the headless run:\n");
    std::printf("  processor per page read:    %.2f ms (%.2f ms with it, %.2f ms headless)\n",
                withWindow.readMsPerPage - without.readMsPerPage, withWindow.readMsPerPage,
                without.readMsPerPage);
    std::printf("  processor per page written: %.2f ms (%.2f ms with it, %.2f ms headless)\n",
                withWindow.writeMsPerPage - without.writeMsPerPage, withWindow.writeMsPerPage,
                without.writeMsPerPage);
    std::printf("  processor per block sent:   %.2f ms (%.2f ms with it, %.2f ms headless)\n",
                withWindow.uploadMsPerBlock - without.uploadMsPerBlock, withWindow.uploadMsPerBlock,
                without.uploadMsPerBlock);
    std::printf("  share of a processor during an upload: %.2f %% (%.2f %% with it, %.2f %% "
                "headless)\n",
                100.0 * (withWindow.uploadShare - without.uploadShare),
                100.0 * withWindow.uploadShare, 100.0 * without.uploadShare);
    return 0;
}
