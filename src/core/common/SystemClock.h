#pragma once

#include "common/Clock.h"

#include <QElapsedTimer>

namespace kalent {

// Real time: QTimer with Qt::PreciseTimer (coarse timers may fire up to 5% early).
class SystemClock : public Clock
{
public:
    SystemClock();
    qint64 nowMs() const override;
    std::unique_ptr<Timer> createTimer() override;

private:
    QElapsedTimer m_elapsed;
};

} // namespace kalent
