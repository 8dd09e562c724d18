// A 1 MB firmware image sent over the modelled 115200 line on the manual clock:
// how long the upload takes against the line's own time for its bytes (the
// 100 ms tick per block is the only overhead allowed), and whether the progress
// bar was ever ahead of the bytes that had left the program. Prints figures;
// asserts nothing.
#include "BootLoader.h"
#include "MessagePane.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/ManualClock.h"
#include "firmware/FirmwareUpload.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace kalent;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
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
    FirmwareUpload upload(port, pane, clock);

    QByteArray image(ImageSize, '\0');
    quint32 seed = 12345;
    for (char &c : image) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }

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
    QObject::connect(&upload, &FirmwareUpload::finished, [&] {
        finished = true;
        finishedAt = clock.nowMs();
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
    const double allowedMs = lineMs + blocks * double(FirmwareUpload::TickMs);
    const double durationMs = static_cast<double>(finishedAt - start);
    const double overheadMs = durationMs - lineMs;

    std::printf("firmware upload, %d bytes at %d baud, %d blocks of at most %d\n", ImageSize, Baud,
                blocks, FirmwareUpload::BlockSize);
    std::printf("  finished:                         %s\n", finished ? "yes" : "NO");
    std::printf("  boot loader:                      %s\n",
                qPrintable(BootLoader::describe(loader->lastResult())));
    std::printf("  bytes written / on the line:      %lld / %lld\n",
                static_cast<long long>(port.written().size()), static_cast<long long>(bytesOnLine));
    std::printf("  line time for the bytes:          %.1f ms\n", lineMs);
    std::printf("  upload took (simulated):          %.1f ms\n", durationMs);
    std::printf("  allowed (line + %d ticks):       %.1f ms\n", blocks, allowedMs);
    std::printf("  duration / line time:             %.4f\n", durationMs / lineMs);
    std::printf("  duration / allowed:               %.4f\n", durationMs / allowedMs);
    std::printf("  overhead per block:               %.2f ms (tick %d ms)\n", overheadMs / blocks,
                FirmwareUpload::TickMs);
    std::printf(
        "  progress updates:                 %d, ahead of the line: %d (worst %lld bytes)\n",
        progressUpdates, aheadOfLine, static_cast<long long>(worstLeadBytes));
    std::printf("  wall time of the simulation:      %.0f ms\n", wallMs);
    return 0;
}
