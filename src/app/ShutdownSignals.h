#pragma once

namespace kalent {

// The request from outside to end an unattended run (watch): SIGINT or SIGTERM
// on POSIX systems; on Windows the console's Ctrl-C, Ctrl-Break and close events
// (and log-off or shutdown where the console gets them). While one object lives
// the requests are caught and only recorded; the run polls requested() from its
// event loop and stops in order (a handler may do no more than set a flag).
//
// Windows ends a process as soon as its handler returns from a close, log-off or
// shutdown event, so there the handler waits (for at most the few seconds Windows
// grants) until this object is destroyed, that is, until the run has finished
// what it was writing.
class ShutdownSignals
{
public:
    ShutdownSignals();
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals &) = delete;
    ShutdownSignals &operator=(const ShutdownSignals &) = delete;

    bool requested() const;

#ifdef _WIN32
    // What the system's console handler does with an event; public so that a test
    // can deliver one as Windows would, from another thread.
    static bool handleConsoleEvent(unsigned long event);
    // How long a close event waits for the run to finish.
    static constexpr unsigned long CloseGraceMs = 4500;
#endif
};

} // namespace kalent
