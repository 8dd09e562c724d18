#include "ShutdownSignals.h"

#include <atomic>

#include <windows.h>

namespace kalent {

namespace {

// The console handler runs on a thread of its own that the system starts.
std::atomic<bool> stopRequested{false};

// Set when the run has finished; the close handler waits for it. Made once and
// kept: a handler thread may still be on its way to the wait when the run ends.
HANDLE runFinished()
{
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    return ShutdownSignals::handleConsoleEvent(event) ? TRUE : FALSE;
}

} // namespace

ShutdownSignals::ShutdownSignals()
{
    stopRequested = false;
    ResetEvent(runFinished());
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

ShutdownSignals::~ShutdownSignals()
{
    SetEvent(runFinished());
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

bool ShutdownSignals::requested() const
{
    return stopRequested;
}

bool ShutdownSignals::handleConsoleEvent(unsigned long event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopRequested = true;
        return true;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Returning ends the process: first let the run stop in order.
        stopRequested = true;
        WaitForSingleObject(runFinished(), CloseGraceMs);
        return true;
    default:
        return false;
    }
}

} // namespace kalent
