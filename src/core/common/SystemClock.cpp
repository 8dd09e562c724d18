#include "common/SystemClock.h"

#include <QTimer>

namespace kalent {

namespace {

class QtTimer : public Timer
{
public:
    QtTimer()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_timer.interval(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }

private:
    QTimer m_timer;
};

} // namespace

SystemClock::SystemClock()
{
    m_elapsed.start();
}

qint64 SystemClock::nowMs() const
{
    return m_elapsed.elapsed();
}

std::unique_ptr<Timer> SystemClock::createTimer()
{
    return std::make_unique<QtTimer>();
}

} // namespace kalent
