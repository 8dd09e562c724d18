#include "StopSignals.h"

#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include <windows.h>

namespace kalent {

namespace {

// The console handler runs on a thread the system starts; the objects live in
// the event loop's thread. The lock keeps an object from being destroyed while
// a wake-up is posted to it.
std::atomic<bool> stopCaught{false};
std::mutex listenersLock;
std::vector<StopSignals *> listeners;
// A request that came while nobody listened; the next object delivers it.
bool undelivered = false;

// Set while no StopSignals object lives; a close event waits for it. Made once
// and kept: a handler thread may still be on its way to the wait when the run
// ends. It starts unset: a close while the program is still starting waits for
// the run that is about to begin, within the grace.
HANDLE noRunGoing()
{
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    return StopSignals::handleConsoleEvent(event) ? TRUE : FALSE;
}

} // namespace

void StopSignals::catchFromNow()
{
    static const bool installed = [] {
        noRunGoing();
        return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
    }();
    Q_UNUSED(installed);
}

bool StopSignals::caught()
{
    return stopCaught;
}

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    catchFromNow();
    const std::lock_guard<std::mutex> lock(listenersLock);
    listeners.push_back(this);
    ResetEvent(noRunGoing());
    if (undelivered) {
        undelivered = false;
        QMetaObject::invokeMethod(this, &StopSignals::drain, Qt::QueuedConnection);
    }
}

StopSignals::~StopSignals()
{
    const std::lock_guard<std::mutex> lock(listenersLock);
    listeners.erase(std::remove(listeners.begin(), listeners.end(), this), listeners.end());
    // A wake-up still queued for this object is discarded with it by Qt.
    if (listeners.empty())
        SetEvent(noRunGoing());
}

void StopSignals::drain()
{
    Q_EMIT stopRequested();
}

bool StopSignals::handleConsoleEvent(unsigned long event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return false; // left to the next handler, ultimately the system
    }
    stopCaught = true;
    {
        const std::lock_guard<std::mutex> lock(listenersLock);
        if (listeners.empty())
            undelivered = true;
        // Posted, not called: the objects belong to the event loop's thread.
        for (StopSignals *listener : listeners)
            QMetaObject::invokeMethod(listener, &StopSignals::drain, Qt::QueuedConnection);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning ends the process: first let the run stop in order.
        WaitForSingleObject(noRunGoing(), CloseGraceMs);
    }
    return true;
}

} // namespace kalent
