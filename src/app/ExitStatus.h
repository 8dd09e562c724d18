#pragma once

namespace kalent {

// What the exit status says beyond the action's own result: a failure noticed
// on the way that the action did not end on (a journal line that could not be
// stored) and standard output that did not take everything. The action's own
// failure or usage error stands; a run that would have ended in success ends
// in 1 instead, and the reason for standard output is said on stderr.
namespace ExitStatus {
void noteFailure();
// The process's exit status for an action that returned actionStatus.
int settle(int actionStatus);
} // namespace ExitStatus

} // namespace kalent
