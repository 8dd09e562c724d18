#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace kalent {

// The request from outside to stop, as an event of the program's own, for the
// actions that run until stopped or must not be cut off mid-way (simulate --pty,
// flash, watch): they finish or cancel what they are doing, journal the outcome
// and exit. On Linux the requests are SIGTERM, SIGINT and
// SIGHUP; on Windows the
// console's Ctrl-C and Ctrl-Break, its close, and log-off or shutdown where the
// console gets them.
//
// catchFromNow() takes the requests from the first moment, before the
// application exists; one that comes before anybody listens is kept and
// delivered as soon as a StopSignals object is made. A handler may do no more
// than set a flag and wake the event loop.
//
// Windows ends a process as soon as its handler returns from a close, log-off
// or shutdown event, so there the handler waits, at most CloseGraceMs, until
// the StopSignals object is destroyed: until the run has finished what it was
// writing.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; safe to call more than once, and before any Qt
    // object exists.
    static void catchFromNow();
    // Whether a stop request has come, also before any object listened.
    static bool caught();

    // Delivers the requests as stopRequested() in this thread's event loop.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

#ifdef Q_OS_WIN
    // What the system's console handler does with an event, on the system's
    // thread; public so that a test can deliver one as Windows would.
    static bool handleConsoleEvent(unsigned long event);
    // How long a close, log-off or shutdown event waits for the run to finish:
    // below the five seconds Windows grants before it ends the process.
    static constexpr unsigned long CloseGraceMs = 4500;
#endif

Q_SIGNALS:
    void stopRequested();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kalent
