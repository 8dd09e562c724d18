#pragma once

#include "CommandLine.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kalent {

// A headless action of the command line. run() returns the exit status:
// 0 success, 1 the operation failed or timed out, 2 a usage error.
struct Action
{
    QString name;
    QString usage;
    QStringList valueOptions; // besides the global --port and --data-dir
    QStringList flagOptions;
    int (*run)(const CommandLine &commandLine);
};

const std::vector<Action> &actions();
const Action *findAction(const QString &name);

// Actions, one function each, grouped by feature in actions/.
int runPorts(const CommandLine &commandLine);
int runContact(const CommandLine &commandLine);
int runSimulate(const CommandLine &commandLine);
int runReadOd(const CommandLine &commandLine);
int runReadProtocol(const CommandLine &commandLine);
int runFlash(const CommandLine &commandLine);

class VirtualInstrument;
// The built-in instrument's boot loader reports on stderr; with programmingMode
// it waits in programming mode from the start (nobody holds its stylus here).
void setUpSimulatedBootLoader(VirtualInstrument &instrument, bool programmingMode);
int runDbRead(const CommandLine &commandLine);
int runDbList(const CommandLine &commandLine);
int runDbAdd(const CommandLine &commandLine);
int runDbDelete(const CommandLine &commandLine);
int runDbWrite(const CommandLine &commandLine);
// The service journal and unattended collection.
int runJournal(const CommandLine &commandLine);
int runWatch(const CommandLine &commandLine);

} // namespace kalent
