#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace kalent {

// SIGTERM and SIGINT as an event of the program's own, for the actions that run
// until stopped or must not be cut off mid-way (simulate --pty, flash, watch):
// they finish or cancel what they are doing, journal the outcome and exit.
// catchFromNow() takes the signals from the first moment, before the
// application exists; one that comes before anybody listens is kept and
// delivered as soon as a StopSignals object is made. Where the system has no
// such signals (Windows: the console's Ctrl-C is its own seam) nothing is caught.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; safe to call once, before any Qt object exists.
    static void catchFromNow();
    // Whether a stop signal has come, also before the notifier was made.
    static bool caught();

    // Delivers the signals as stopRequested() in the event loop.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopRequested();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kalent
