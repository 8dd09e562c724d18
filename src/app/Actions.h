#pragma once

#include "CommandLine.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kalent {

// The headless actions, in the order --help lists them.
const std::vector<Action> &actions();
const Action *findAction(const QString &name);

// Actions, one function each, grouped by feature in actions/.
int runPorts(const CommandLine &commandLine);
int runContact(const CommandLine &commandLine);
int runSimulate(const CommandLine &commandLine);
int runReadOd(const CommandLine &commandLine);
int runReadProtocol(const CommandLine &commandLine);
// Whether the action draws pages (a PDF), which needs fonts and so a GUI
// application (offscreen where no window is wanted).
bool actionDrawsPages(const CommandLine &commandLine);
int runFlash(const CommandLine &commandLine);

class VirtualInstrument;
// The built-in instrument's boot loader reports on stderr; with programmingMode
// it waits in programming mode from the start (nobody holds its stylus here).
// fault ("", "early-report" or "no-report") sets its failure knob; false, with
// a message, for any other.
bool setUpSimulatedBootLoader(VirtualInstrument &instrument, bool programmingMode,
                              const QString &fault = {});
int runDbRead(const CommandLine &commandLine);
int runDbList(const CommandLine &commandLine);
int runDbAdd(const CommandLine &commandLine);
int runDbDelete(const CommandLine &commandLine);
int runDbWrite(const CommandLine &commandLine);
int runDbRestore(const CommandLine &commandLine);
// The service journal and unattended collection.
int runJournal(const CommandLine &commandLine);
int runWatch(const CommandLine &commandLine);
// The readings store: what was received, listed, shown and exported again.
int runHistory(const CommandLine &commandLine);
class HeadlessRun;
class SessionReadings;
// The store of an action's run (--store, or the file in its data folder), its
// failures said on stderr. False after a usage error (said); *readings stays
// null in a build without the store.
bool attachReadings(HeadlessRun &run, const CommandLine &commandLine,
                    std::unique_ptr<SessionReadings> *readings);

} // namespace kalent
