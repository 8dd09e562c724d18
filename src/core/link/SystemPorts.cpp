#include "link/SystemPorts.h"

#include "link/PortOrder.h"

#include <QSerialPortInfo>

namespace kalent {

QStringList systemPortNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names.append(listedPortName(info.systemLocation()));
    return inPortOrder(names);
}

QString listedPortName(const QString &systemLocation)
{
    // The Win32 device namespace prefix, needed to open COM10 and above, is
    // QSerialPort's business when it opens the port, not the operator's.
    const QLatin1String devicePrefix("\\\\.\\");
    if (systemLocation.startsWith(devicePrefix))
        return systemLocation.mid(devicePrefix.size());
    return systemLocation;
}

} // namespace kalent
