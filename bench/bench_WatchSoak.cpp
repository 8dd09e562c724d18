// Soak of unattended collection: the built program's watch follows the built-in
// instrument (served on a pseudo-terminal from this process) that finishes a
// measurement every few seconds and has its results ready half a period later.
// Prints the notices sent against the files saved, and the watch process's memory
// and open descriptors after warm-up and at the end (Linux /proc).
//
//   bench_WatchSoak [SECONDS=300] [NOTICE_PERIOD=3]

#include "MeasurementData.h"
#include "PtyBridge.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace kalent;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

int openDescriptors(qint64 pid)
{
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                                .size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 300;
    const double period = argc > 2 ? QByteArray(argv[2]).toDouble() : 3.0;
    const int periodMs = static_cast<int>(period * 1000);
    QTemporaryDir dir;

    SystemClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    MeasurementData *data = instrument->feature<MeasurementData>();
    PtyBridge bridge(*instrument);
    if (!data || !bridge.start())
        return 1;

    QProcess watch;
    QByteArray saved;
    QObject::connect(&watch, &QProcess::readyReadStandardOutput,
                     [&] { saved += watch.readAllStandardOutput(); });
    watch.setProcessChannelMode(QProcess::SeparateChannels);
    watch.start(Service, {QStringLiteral("watch"), QStringLiteral("--port"), bridge.slavePath(),
                          QStringLiteral("--data-dir"), dir.path()});
    if (!watch.waitForStarted())
        return 1;

    int tablesNoticed = 0;
    int resultsNoticed = 0;
    QTimer measured;
    QTimer resultsReady;
    resultsReady.setSingleShot(true);
    QObject::connect(&measured, &QTimer::timeout, [&] {
        data->announceMeasurement(*instrument);
        ++tablesNoticed;
        resultsReady.start(periodMs / 2);
    });
    QObject::connect(&resultsReady, &QTimer::timeout, [&] {
        data->announceResults(*instrument);
        ++resultsNoticed;
    });
    // A notice sent before the watch has contact goes out at another speed and is
    // heard by nobody: the notices start once it has.
    QByteArray messages;
    QObject::connect(&watch, &QProcess::readyReadStandardError, [&] {
        messages += watch.readAllStandardError();
        if (!measured.isActive() && tablesNoticed == 0 &&
            QString::fromUtf8(messages).contains(QStringLiteral("Есть контакт")))
            measured.start(periodMs);
    });

    qint64 earlyKb = -1;
    int earlyFds = -1;
    qint64 peakKb = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const qint64 kb = residentKb(watch.processId());
        peakKb = qMax(peakKb, kb);
        // Warm-up: the first minute, or a tenth of a shorter run.
        if (earlyKb < 0 && elapsed.elapsed() > qMin<qint64>(60000, seconds * 100LL)) {
            earlyKb = kb;
            earlyFds = openDescriptors(watch.processId());
        }
        if (elapsed.elapsed() >= seconds * 1000LL + 30000) {
            std::fprintf(stderr, "the watch never had contact\n");
            QCoreApplication::quit();
        }
        if (elapsed.elapsed() >= seconds * 1000LL && measured.isActive()) {
            // No more notices; the last ones get their time to be read.
            measured.stop();
            QTimer::singleShot(periodMs + 3000, &app, &QCoreApplication::quit);
        }
    });
    sample.start(1000);
    QCoreApplication::exec();

    const qint64 lateKb = residentKb(watch.processId());
    const int lateFds = openDescriptors(watch.processId());
    watch.terminate();
    watch.waitForFinished(15000);
    saved += watch.readAllStandardOutput();

    int tablesSaved = 0;
    int protocolsSaved = 0;
    QSet<QByteArray> distinct;
    for (const QByteArray &line : saved.split('\n')) {
        if (line.isEmpty())
            continue;
        distinct.insert(line);
        (line.endsWith(".xls") ? tablesSaved : protocolsSaved) += 1;
    }
    std::printf("soak %d s, notices every %.1f s\n", seconds, period);
    std::printf("tables:    %d noticed, %d saved\n", tablesNoticed, tablesSaved);
    std::printf("protocols: %d noticed, %d saved\n", resultsNoticed, protocolsSaved);
    std::printf("distinct files: %lld of %d lines\n", static_cast<long long>(distinct.size()),
                tablesSaved + protocolsSaved);
    std::printf("watch RSS: %lld kB after warm-up, %lld kB at the end (peak %lld kB), ratio %.3f\n",
                static_cast<long long>(earlyKb), static_cast<long long>(lateKb),
                static_cast<long long>(peakKb),
                earlyKb > 0 ? static_cast<double>(lateKb) / static_cast<double>(earlyKb) : 0.0);
    std::printf("watch open descriptors: %d after warm-up, %d at the end\n", earlyFds, lateFds);
    std::printf("watch exit: %s %d\n",
                watch.exitStatus() == QProcess::NormalExit ? "normal" : "crashed",
                watch.exitCode());
    return 0;
}
