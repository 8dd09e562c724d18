// The firmware upload, measured two ways. Prints figures; asserts nothing.
//
// 1. A 1 MB image over the modelled 115200 line on the manual clock: how long
//    the upload takes against the line's own time for its bytes (the 100 ms tick
//    per block is the only overhead allowed), and whether the progress bar was
//    ever ahead of the bytes that had left the system.
// 2. The same flow on the real clock, headless and with the window (offscreen)
//    on the built-in instrument, as `--port sim` runs it: the process's CPU time
//    during the upload against the upload's wall time.
// 3. `flash` as its own process through the real serial code over a
//    pseudo-terminal: CPU time and context switches.
#include "BootLoader.h"
#include "DesktopServicesOpener.h"
#include "FeaturePages.h"
#include "MainWindow.h"
#include "ManualClock.h"
#include "MessagePane.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/DataFolder.h"
#include "common/SystemClock.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/FirmwareWizard.h"
#include "link/HostSerialPort.h"
#include "link/LineOwner.h"
#include "link/PortSelector.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <QProcess>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

using namespace kalent;

namespace {

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

void onManualClock()
{
    constexpr int ImageSize = 1024 * 1024;
    constexpr int Baud = 115200;

    ManualClock clock;
    auto instrument = createBuiltInInstrument(clock);
    BootLoader *loader = instrument->feature<BootLoader>();
    loader->enterProgrammingMode();
    SimulatedPort port(*instrument, clock);
    port.setSettings(QStringLiteral("115200,n,8,1"));
    port.open();
    MessagePane pane;
    // The engine sends as the upload job on the line's owner, as in the program.
    LineOwner line(clock);
    line.setPort(&port);
    line.begin(LineJob::FirmwareUpload);
    FirmwareUpload upload(port, line, pane, clock);
    const QByteArray image = pseudoRandomImage(ImageSize);

    int progressUpdates = 0;
    int aheadOfLine = 0;
    qint64 worstLeadBytes = 0;
    QObject::connect(&pane, &MessagePane::progressChanged, [&](int percent) {
        if (percent == 0)
            return;
        ++progressUpdates;
        const qint64 left = port.written().size() - port.bytesToWrite() - 6;
        const qint64 shown = static_cast<qint64>(percent) * ImageSize / 100;
        if (shown > left) {
            ++aheadOfLine;
            worstLeadBytes = std::max(worstLeadBytes, shown - left);
        }
    });
    bool finished = false;
    qint64 finishedAt = 0;
    qint64 queuedAtFinish = -1;
    QObject::connect(&upload, &FirmwareUpload::finished, [&] {
        finished = true;
        finishedAt = clock.nowMs();
        queuedAtFinish = port.bytesToWrite();
    });

    QElapsedTimer wall;
    wall.start();
    const qint64 start = clock.nowMs();
    upload.start(image);
    clock.advanceUntil([&] { return finished; }, 400000);
    clock.advance(100); // let the boot loader take the last bytes it heard
    const double wallMs = static_cast<double>(wall.elapsed());

    const qint64 bytesOnLine = ImageSize + 8;
    const double lineMs = bytesOnLine * 10.0 * 1000.0 / Baud;
    const int blocks = (ImageSize + FirmwareUpload::BlockSize - 1) / FirmwareUpload::BlockSize;
    const double allowedMs = (lineMs + blocks * double(FirmwareUpload::TickMs)) * 1.01;
    const double durationMs = static_cast<double>(finishedAt - start);
    const double overheadMs = durationMs - lineMs;

    std::printf("firmware upload, %d bytes at %d baud, %d blocks of at most %d, manual clock\n",
                ImageSize, Baud, blocks, FirmwareUpload::BlockSize);
    std::printf("  finished:                         %s\n", finished ? "yes" : "NO");
    std::printf("  boot loader:                      %s\n",
                qPrintable(BootLoader::describe(loader->lastResult())));
    std::printf("  bytes written / on the line:      %lld / %lld\n",
                static_cast<long long>(port.written().size()), static_cast<long long>(bytesOnLine));
    std::printf("  line time for the bytes:          %.1f ms\n", lineMs);
    std::printf("  upload took (simulated):          %.1f ms\n", durationMs);
    std::printf("  goal (line + %d ticks + 1 %%):   %.1f ms\n", blocks, allowedMs);
    std::printf("  duration / line time:             %.4f\n", durationMs / lineMs);
    std::printf("  duration / goal:                  %.4f\n", durationMs / allowedMs);
    std::printf("  overhead per block:               %.2f ms (tick %d ms)\n", overheadMs / blocks,
                FirmwareUpload::TickMs);
    std::printf(
        "  progress updates:                 %d, ahead of the line: %d (worst %lld bytes)\n",
        progressUpdates, aheadOfLine, static_cast<long long>(worstLeadBytes));
    std::printf("  bytes still queued at the finish: %lld\n",
                static_cast<long long>(queuedAtFinish));
    std::printf("  wall time of the simulation:      %.0f ms\n", wallMs);
}

double cpuSecondsOfProcess()
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

long contextSwitchesOfProcess()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
#else
    return 0;
#endif
}

void runUntil(const std::function<bool()> &done, int limitMs)
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
}

// The window's firmware page (or the wizard alone) on the real clock against the
// built-in instrument: the operator's steps, then the upload, measured.
void onRealClock(bool withWindow, int imageSize)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.tsk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pseudoRandomImage(imageSize)) != imageSize)
        return;
    file.close();

    SystemClock clock;
    auto instrument = createBuiltInInstrument(clock);
    SimulatedPort simPort(*instrument, clock);
    PortSelector port(std::make_unique<HostSerialPort>());
    port.addNamedPort(QStringLiteral("sim"), &simPort);
    Session session(clock, port, DataFolder::resolve(dir.path()));
    DesktopServicesOpener opener;
    std::unique_ptr<MainWindow> window;
    if (withWindow) {
        window = std::make_unique<MainWindow>(session, instrument.get());
        installFeaturePages(*window, session, opener, instrument.get());
    }
    session.connection().openFirstPort({QStringLiteral("sim")});
    if (window)
        window->show();
    FirmwareWizard &wizard = session.firmware();
    session.navigator().openPage(Page::Firmware);
    wizard.fileChosen(path);
    instrument->setPowered(false);
    runUntil([] { return false; }, 300);
    instrument->setStylusHeld(true);
    instrument->setPowered(true);
    instrument->setStylusHeld(false);
    runUntil([&] { return wizard.step() == WizardStep::Ready; }, 10000);
    if (wizard.step() != WizardStep::Ready) {
        std::printf("  step 3 never opened\n");
        return;
    }

    QElapsedTimer wall;
    const double cpuBefore = cpuSecondsOfProcess();
    const long switchesBefore = contextSwitchesOfProcess();
    wall.start();
    bool sent = false;
    QObject::connect(&wizard, &FirmwareWizard::uploadSent, [&sent] { sent = true; });
    wizard.startUpload(true);
    runUntil([&] { return sent; }, 120000);
    const double wallS = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpuS = cpuSecondsOfProcess() - cpuBefore;
    const long switches = contextSwitchesOfProcess() - switchesBefore;

    std::printf("firmware upload, %d bytes, real clock, %s\n", imageSize,
                withWindow ? "window (offscreen) with --port sim"
                           : "headless on the built-in instrument");
    std::printf("  sent:                             %s\n", sent ? "yes" : "NO");
    std::printf("  wall time:                        %.2f s\n", wallS);
    std::printf("  process CPU:                      %.3f s (%.1f %% of the wall time)\n", cpuS,
                100.0 * cpuS / wallS);
    std::printf("  context switches per second:      %.0f\n", switches / wallS);
}

#if defined(Q_OS_UNIX) && defined(KALENT_SERVICE_PATH)
// `flash --no-wait` as its own process through the real serial code, against
// the built-in instrument served on a pseudo-terminal by another process: the
// flash process's CPU time and context switches over its wall time.
void flashOverAPty(int imageSize)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.tsk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pseudoRandomImage(imageSize)) != imageSize)
        return;
    file.close();
    QProcess simulator;
    simulator.start(QStringLiteral(KALENT_SERVICE_PATH),
                    {QStringLiteral("simulate"), QStringLiteral("--pty"),
                     QStringLiteral("--programming"), QStringLiteral("--data-dir"), dir.path()});
    if (!simulator.waitForReadyRead(5000))
        return;
    const QByteArray pty = simulator.readLine().trimmed();
    const QByteArray program = KALENT_SERVICE_PATH;
    const QByteArray data = dir.path().toLocal8Bit();
    const QByteArray image = path.toLocal8Bit();
    std::vector<const char *> args = {program.constData(), "flash",           "--port",
                                      pty.constData(),     image.constData(), "--no-wait",
                                      "--data-dir",        data.constData(),  nullptr};
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr,
                    const_cast<char *const *>(args.data()), environ) != 0)
        return;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wallS = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpuS = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    simulator.terminate();
    simulator.waitForFinished(5000);
    std::printf("flash --no-wait, %d bytes, own process over a pseudo-terminal (HostSerialPort)\n",
                imageSize);
    std::printf("  exit status:                      %d\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    // A pseudo-terminal does not pace bytes by its speed: the wall time is the
    // 100 ms ticks and the process's own start and exit.
    std::printf("  wall time (start to exit):        %.2f s\n", wallS);
    std::printf("  process CPU:                      %.3f s (%.1f %% of the wall time)\n", cpuS,
                100.0 * cpuS / wallS);
    std::printf("  context switches per second:      %.0f\n",
                static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw) / wallS);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    onManualClock();
    // Large enough for several blocks, small enough to run in seconds.
    constexpr int RealClockImage = 40000;
    onRealClock(false, RealClockImage);
    onRealClock(true, RealClockImage);
#if defined(Q_OS_UNIX) && defined(KALENT_SERVICE_PATH)
    flashOverAPty(100000);
#endif
    return 0;
}
