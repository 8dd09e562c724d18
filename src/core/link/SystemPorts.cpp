#include "link/SystemPorts.h"

#include "link/PortOrder.h"

#include <QSerialPortInfo>

namespace kalent {

QStringList systemPortNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names.append(info.systemLocation());
    return inPortOrder(names);
}

} // namespace kalent
