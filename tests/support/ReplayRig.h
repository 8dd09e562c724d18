#pragma once

#include "ManualClock.h"
#include "ReplayScript.h"
#include "SimulatorSetup.h"
#include "TraceReplay.h"
#include "VirtualInstrument.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <memory>

namespace kalent::test {

// One trace entry as the trace file holds it.
inline QByteArray traceEntry(qint64 timeUs, const char *dir, int baud, const QByteArray &bytes)
{
    return QByteArrayLiteral("{\"t_us\":") + QByteArray::number(timeUs) + ",\"dir\":\"" + dir +
           "\",\"baud\":" + QByteArray::number(baud) + ",\"hex\":\"" + bytes.toHex() + "\"}\n";
}

// The built-in instrument replaying a trace on a manual clock, with everything
// it sent and every departure it reported.
struct ReplayRig
{
    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument;
    TraceReplay *replay = nullptr;
    QByteArray sent;
    QStringList departures;
    int finished = 0;

    explicit ReplayRig(std::unique_ptr<ReplayScript> script)
        : instrument(createReplayInstrument(clock, std::move(script))),
          replay(instrument->feature<TraceReplay>())
    {
        QObject::connect(instrument.get(), &VirtualInstrument::transmitted,
                         [this](const QByteArray &bytes, int) { sent += bytes; });
        QObject::connect(replay, &TraceReplay::departed,
                         [this](const QString &report) { departures.append(report); });
        QObject::connect(replay, &TraceReplay::finished, [this] { ++finished; });
    }

    static std::unique_ptr<ReplayScript> parse(const QByteArray &trace)
    {
        QString error;
        std::unique_ptr<ReplayScript> script = ReplayScript::parse(trace, &error);
        if (!script)
            qWarning("%s", qPrintable(error));
        return script;
    }

    // The program sends bytes at baud; the line is given time to answer.
    void hear(const QByteArray &bytes, int baud, qint64 thenMs = 0)
    {
        instrument->hear(bytes, baud);
        clock.advance(thenMs);
    }
};

} // namespace kalent::test
