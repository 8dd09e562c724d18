#pragma once

#include <QLabel>
#include <QTimer>

class QDateTime;
class QLocale;

namespace kalent {

// RzClockStatus1: the long date and the long time of the system locale,
// refreshed every second. It is a display only; no behaviour depends on it.
class ClockStatus : public QLabel
{
    Q_OBJECT
public:
    explicit ClockStatus(QWidget *parent = nullptr);

    // "dddddd tt": the locale's long date, a blank, its long time without the
    // time zone.
    static QString format(const QDateTime &moment, const QLocale &locale);

private:
    void tick();

    QTimer m_timer;
};

} // namespace kalent
