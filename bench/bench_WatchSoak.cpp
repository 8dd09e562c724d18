// Soak of unattended collection: the built program's watch follows the built-in
// instrument on a pseudo-terminal that sends both notices every few seconds.
// Prints the notices sent and the files saved, and the watch process's memory
// and open descriptors early and at the end (Linux /proc).
//
//   bench_WatchSoak [SECONDS=300] [NOTICE_PERIOD=3]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

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

void pump(QProcess &p, QByteArray &out)
{
    p.waitForReadyRead(100);
    out += p.readAllStandardOutput();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 300;
    const QString period = argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("3");
    QTemporaryDir dir;

    QProcess sim;
    sim.start(Service, {QStringLiteral("simulate"), QStringLiteral("--pty"),
                        QStringLiteral("--notices"), period});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(10000))
        return 1;
    const QString pty = QString::fromUtf8(sim.readLine()).trimmed();

    QProcess watch;
    watch.start(Service, {QStringLiteral("watch"), QStringLiteral("--port"), pty,
                          QStringLiteral("--data-dir"), dir.path()});
    if (!watch.waitForStarted())
        return 1;

    QByteArray saved;
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 earlyKb = -1;
    int earlyFds = -1;
    qint64 peakKb = 0;
    while (elapsed.elapsed() < seconds * 1000LL) {
        pump(watch, saved);
        sim.readAllStandardOutput();
        const qint64 kb = residentKb(watch.processId());
        peakKb = qMax(peakKb, kb);
        // "Early" is after the first minute's worth of warm-up (or a tenth).
        if (earlyKb < 0 && elapsed.elapsed() > qMin<qint64>(60000, seconds * 100LL)) {
            earlyKb = kb;
            earlyFds = openDescriptors(watch.processId());
        }
    }
    const qint64 lateKb = residentKb(watch.processId());
    const int lateFds = openDescriptors(watch.processId());
    watch.terminate();
    watch.waitForFinished(15000);
    saved += watch.readAllStandardOutput();
    sim.terminate();
    sim.waitForFinished(5000);
    const QString simLog = QString::fromUtf8(sim.readAllStandardError());

    const int tablesNoticed = static_cast<int>(simLog.count(QStringLiteral("finished")));
    const int resultsNoticed = static_cast<int>(simLog.count(QStringLiteral("ready")));
    int tablesSaved = 0;
    int protocolsSaved = 0;
    QSet<QByteArray> distinct;
    for (const QByteArray &line : saved.split('\n')) {
        if (line.isEmpty())
            continue;
        distinct.insert(line);
        (line.endsWith(".xls") ? tablesSaved : protocolsSaved) += 1;
    }
    std::printf("soak %d s, notices every %s s\n", seconds, qPrintable(period));
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
