#pragma once

#include <QByteArray>
#include <QStringList>

namespace kalent::test {

// One run of a program as a child process, with what it cost: its own processor
// time (from wait4, so only this child counts) against the wall time it lived,
// and its largest resident size.
struct ChildRun
{
    int exitCode = -1;
    bool finished = false;
    qint64 wallMs = 0;
    qint64 cpuMs = 0;
    qint64 maxRssKb = 0;
    QByteArray out;
    QByteArray err;

    double cpuShare() const { return wallMs > 0 ? double(cpuMs) / double(wallMs) : 0.0; }
    // Whether the run stayed below share of a processor once its start-up (loading
    // Qt, the translations, opening the port), which dominates a run of a few
    // tenths of a second on a loaded machine, is set aside. A spinning process
    // costs its whole wall time and fails this however short it lived.
    bool cpuBelow(double share, qint64 startUpMs = 150) const
    {
        return double(cpuMs) <= double(startUpMs) + share * double(wallMs);
    }
    QString errText() const { return QString::fromUtf8(err); }

    // Runs program with arguments; a child still alive after limitMs is killed
    // (finished stays false).
    static ChildRun run(const QString &program, const QStringList &arguments, int limitMs);
};

} // namespace kalent::test
