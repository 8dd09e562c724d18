#include "ClockStatus.h"

#include "ObjectNames.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLocale>
#include <QRegularExpression>

namespace kalent {

namespace {

// The long time formats of many locales end in a time zone ("t"), which the
// status bar has no room for.
QString longTime(const QDateTime &moment, const QLocale &locale)
{
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return locale.toString(moment.time(), timeFormat.trimmed());
}

} // namespace

ClockStatus::ClockStatus(QWidget *parent) : QLabel(parent)
{
    setObjectName(objectNames::mainWindow::Clock);
    setAlignment(Qt::AlignCenter);
    // 164 pixels at the right end of the status bar, whatever the locale's texts:
    // a long date never pushes the message pane or the progress bar aside.
    setFixedWidth(Width);
    connect(&m_timer, &QTimer::timeout, this, &ClockStatus::tick);
    m_timer.start(1000);
    tick();
}

QString ClockStatus::format(const QDateTime &moment, const QLocale &locale)
{
    return locale.toString(moment.date(), QLocale::LongFormat) + QLatin1Char(' ') +
           longTime(moment, locale);
}

QString ClockStatus::fitted(const QDateTime &moment, const QLocale &locale,
                            const QFontMetrics &metrics, int width)
{
    // The long date and time first; where they do not fit, the short date keeps
    // the whole time in view; the time alone is the last resort.
    const QString full = format(moment, locale);
    if (metrics.horizontalAdvance(full) <= width)
        return full;
    const QString time = longTime(moment, locale);
    const QString shortDate =
        locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') + time;
    if (metrics.horizontalAdvance(shortDate) <= width)
        return shortDate;
    return metrics.elidedText(time, Qt::ElideRight, width);
}

void ClockStatus::tick()
{
    const QDateTime now = QDateTime::currentDateTime();
    setText(fitted(now, QLocale::system(), fontMetrics(), contentsRect().width() - 4));
    setToolTip(format(now, QLocale::system()));
}

} // namespace kalent
