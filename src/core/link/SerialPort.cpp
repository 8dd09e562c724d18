#include "link/SerialPort.h"

namespace kalent {

QString settingsOfBaud(int baud)
{
    return QString::number(baud) + QStringLiteral(",n,8,1");
}

int baudOfSettings(const QString &settings)
{
    bool ok = false;
    const int baud = settings.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    return ok && baud > 0 ? baud : 0;
}

} // namespace kalent
