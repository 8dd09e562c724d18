#pragma once

#include "ManualClock.h"
#include "ReplyMessages.h"
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
    // Reads the instrument's database list as its button does; true once the
    // read has completed (the list taken).
    bool readInstrumentList();
    // Lets the line go quiet (everything written delivered, every reply read).
    void settle(qint64 ms = 50) { clock.advance(ms); }
};

// The path of a file under tests/data.
QString testDataPath(const QString &name);

// Whether this Windows build runs under Wine rather than Windows: the few checks
// Wine cannot pass (where it differs from Windows, not our code) skip by name.
bool runningUnderWine();

// Makes a symbolic link at linkPath to target (a file or a folder) as the system
// does: symlink(2) on Linux, CreateSymbolicLinkW on Windows (QFile::link would
// make a shortcut there, which the file system does not follow). False when the
// system refuses, as Windows does without Developer Mode or administrator rights.
bool makeSymbolicLink(const QString &target, const QString &linkPath);

} // namespace kalent::test
