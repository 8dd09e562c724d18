#include "ClockStatus.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace kalent {

ClockStatus::ClockStatus(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("RzClockStatus1"));
    setAlignment(Qt::AlignCenter);
    setMinimumWidth(164);
    connect(&m_timer, &QTimer::timeout, this, &ClockStatus::tick);
    m_timer.start(1000);
    tick();
}

QString ClockStatus::format(const QDateTime &moment, const QLocale &locale)
{
    // The long time formats of many locales end in a time zone ("t"), which the
    // status bar has no room for.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return locale.toString(moment.date(), QLocale::LongFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), timeFormat.trimmed());
}

void ClockStatus::tick()
{
    setText(format(QDateTime::currentDateTime(), QLocale::system()));
}

} // namespace kalent
