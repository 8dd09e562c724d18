#pragma once

#include <QObject>
#include <QtGlobal>

#include <memory>

namespace kalent {

// A one-timer seam over time. Every interval the program waits for (the contact
// search ticks, the boot wait, the transfer tick, the simulated line) runs on a
// Timer made by a Clock, so tests replace the clock and drive time exactly.
class Timer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Timer() override = default;

    // Starts (or restarts) the timer with the given interval in milliseconds.
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;

Q_SIGNALS:
    void timeout();
};

class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; never goes back.
    virtual qint64 nowMs() const = 0;
    // Nothing waits by blocking: every pause is a timer's step.
    virtual std::unique_ptr<Timer> createTimer() = 0;
};

} // namespace kalent
