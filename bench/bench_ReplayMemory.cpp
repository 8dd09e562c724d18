// The replay's memory on a large trace: writes a trace of many table exchanges
// (default 200 MB), then checks it and serves every step on a manual clock, and
// prints the peak resident memory against the file's size and one exchange.
#include "ManualClock.h"
#include "ReplayScript.h"
#include "SimulatorSetup.h"
#include "TraceReplay.h"
#include "VirtualInstrument.h"
#include "trace/TraceRecord.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace kalent;

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 targetBytes = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 200) * 1024 * 1024;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.jsonl"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    // One exchange: D asked, a table of 96 densities answered in four reads.
    const QByteArray table(2400, 'T');
    qint64 timeUs = 0;
    int exchanges = 0;
    const auto entry = [&file](qint64 timeUs, TraceRecord::Direction direction,
                               const QByteArray &bytes) {
        TraceRecord record;
        record.timeUs = timeUs;
        record.direction = direction;
        record.baud = 115200;
        record.bytes = bytes;
        file.write(record.toJsonLine() + '\n');
    };
    while (file.size() < targetBytes) {
        entry(timeUs, TraceRecord::Direction::Sent, "D");
        for (int part = 0; part < 4; ++part)
            entry(timeUs += 1000, TraceRecord::Direction::Received, table.mid(part * 600, 600));
        timeUs += 1000;
        ++exchanges;
    }
    file.close();
    const long before = peakResidentKiB();

    QElapsedTimer timer;
    timer.start();
    QString error;
    std::unique_ptr<ReplayScript> script = ReplayScript::load(path, &error);
    if (!script) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double checkS = timer.nsecsElapsed() / 1e9;
    ManualClock clock;
    const std::unique_ptr<VirtualInstrument> instrument =
        createReplayInstrument(clock, std::move(script));
    const TraceReplay &replay = *instrument->feature<TraceReplay>();
    qint64 served = 0;
    QObject::connect(instrument.get(), &VirtualInstrument::transmitted,
                     [&served](const QByteArray &bytes, int) { served += bytes.size(); });
    timer.restart();
    for (int i = 0; i < exchanges; ++i) {
        instrument->hear("D", 115200);
        clock.advance(10);
    }
    const double serveS = timer.nsecsElapsed() / 1e9;
    std::printf("trace: %.0f MB, %d exchanges of %lld bytes\n", QFileInfo(path).size() / 1048576.0,
                exchanges, static_cast<long long>(table.size()));
    std::printf("answered: %d of %d, %lld bytes served\n", replay.stepsAnswered(),
                replay.stepCount(), static_cast<long long>(served));
    std::printf("check: %.1f s, serve: %.1f s\n", checkS, serveS);
    std::printf("peak resident memory: %.1f MB before the replay, %.1f MB after\n", before / 1024.0,
                peakResidentKiB() / 1024.0);
    return replay.stepsAnswered() == exchanges ? 0 : 1;
}
