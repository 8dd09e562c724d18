#include "ManualClock.h"

#include <algorithm>

namespace kalent {

class ManualClock::ManualTimer : public Timer
{
public:
    explicit ManualTimer(ManualClock &clock) : m_clock(clock) { m_clock.registerTimer(this); }
    ~ManualTimer() override { m_clock.unregisterTimer(this); }

    void start(int intervalMs) override
    {
        m_interval = std::max(0, intervalMs);
        m_due = m_clock.m_now + m_interval;
        m_sequence = ++m_clock.m_startSequence;
        m_active = true;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int interval() const override { return m_interval; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }

    void fire()
    {
        if (m_singleShot) {
            m_active = false;
        } else {
            // As Qt does: a late timer does not fire again for the ticks it missed.
            // A zero interval still moves on, so a zero timer cannot pin time.
            const int step = std::max(1, m_interval);
            m_due += step;
            if (m_due < m_clock.m_now)
                m_due = m_clock.m_now + step;
            m_sequence = ++m_clock.m_startSequence;
        }
        Q_EMIT timeout();
    }

    ManualClock &m_clock;
    qint64 m_due = 0;
    quint64 m_sequence = 0;
    int m_interval = 0;
    bool m_active = false;
    bool m_singleShot = false;
};

std::unique_ptr<Timer> ManualClock::createTimer()
{
    return std::make_unique<ManualTimer>(*this);
}

void ManualClock::registerTimer(ManualTimer *timer)
{
    m_timers.push_back(timer);
}

void ManualClock::unregisterTimer(ManualTimer *timer)
{
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), timer), m_timers.end());
}

ManualClock::ManualTimer *ManualClock::nextDue(qint64 limit) const
{
    ManualTimer *best = nullptr;
    for (ManualTimer *t : m_timers) {
        if (!t->m_active || t->m_due > limit)
            continue;
        if (!best || t->m_due < best->m_due ||
            (t->m_due == best->m_due && t->m_sequence < best->m_sequence))
            best = t;
    }
    return best;
}

void ManualClock::advance(qint64 ms)
{
    const qint64 target = m_now + std::max<qint64>(0, ms);
    while (ManualTimer *timer = nextDue(target)) {
        m_now = std::max(m_now, timer->m_due);
        timer->fire();
    }
    m_now = std::max(m_now, target);
}

bool ManualClock::advanceUntil(const std::function<bool()> &done, qint64 maxMs)
{
    for (qint64 passed = 0; passed < maxMs; ++passed) {
        if (done())
            return true;
        advance(1);
    }
    return done();
}

} // namespace kalent
