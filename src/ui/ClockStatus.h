#pragma once

#include <QLabel>
#include <QTimer>

class QDateTime;
class QFontMetrics;
class QLocale;

namespace kalent {

// RzClockStatus1: the long date and the long time of the system locale,
// refreshed every second, in a fixed width: what does not fit gives way to a
// shorter date, never the time (the whole text is in the tooltip). It is a
// display only; no behaviour depends on it.
class ClockStatus : public QLabel
{
    Q_OBJECT
public:
    static constexpr int Width = 164;

    explicit ClockStatus(QWidget *parent = nullptr);

    // "dddddd tt": the locale's long date, a blank, its long time without the
    // time zone.
    static QString format(const QDateTime &moment, const QLocale &locale);
    // What is shown in the given width of text.
    static QString fitted(const QDateTime &moment, const QLocale &locale,
                          const QFontMetrics &metrics, int width);

private:
    void tick();

    QTimer m_timer;
};

} // namespace kalent
