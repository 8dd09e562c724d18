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
    QString errText() const { return QString::fromUtf8(err); }

    // Runs program with arguments; a child still alive after limitMs is killed
    // (finished stays false).
    static ChildRun run(const QString &program, const QStringList &arguments, int limitMs);
};

} // namespace kalent::test
