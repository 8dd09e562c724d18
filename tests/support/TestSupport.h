#pragma once

#include "ManualClock.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace kalent::test {

// The program's core wired to the built-in instrument over the modelled line, on a
// manual clock, with a private data folder. Records every message-pane text.
class SimRig
{
public:
    SimRig();
    ~SimRig();

    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument;
    SimulatedPort port;
    QTemporaryDir dataDir;
    Session session;
    QStringList statusLog;

    Connection &link() { return session.connection(); }
    // Start-up with the built-in instrument as the only port.
    void startUp();
    bool runUntil(const std::function<bool()> &done, qint64 maxMs = 30000);
    // Start-up, then the search with the request for 115200 until it is done.
    bool connectFast();
    // Lets the line go quiet (everything written delivered, every reply read).
    void settle(qint64 ms = 50) { clock.advance(ms); }
};

// The path of a file under tests/data.
QString testDataPath(const QString &name);

} // namespace kalent::test
