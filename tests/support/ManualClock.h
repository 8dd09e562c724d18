#pragma once

#include "common/Clock.h"

#include <QPointer>

#include <functional>
#include <vector>

namespace kalent {

// Time that moves only when told to. Timers fire in due order while advance()
// walks forward, so timer-driven behaviour is tested exactly and fast. Used by
// the tests and the benchmarks; never part of the program.
class ManualClock : public Clock
{
public:
    qint64 nowMs() const override { return m_now; }
    std::unique_ptr<Timer> createTimer() override;

    // Moves time forward by ms, firing every timer that falls due on the way.
    void advance(qint64 ms);
    // Advances 1 ms at a time until done() holds or maxMs have passed; true if done.
    bool advanceUntil(const std::function<bool()> &done, qint64 maxMs);

private:
    class ManualTimer;
    friend class ManualTimer;

    void registerTimer(ManualTimer *timer);
    void unregisterTimer(ManualTimer *timer);
    ManualTimer *nextDue(qint64 limit) const;

    qint64 m_now = 0;
    quint64 m_startSequence = 0;
    std::vector<ManualTimer *> m_timers;
};

} // namespace kalent
