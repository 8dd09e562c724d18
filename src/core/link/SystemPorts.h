#pragma once

#include <QStringList>

namespace kalent {

// The serial ports the system knows now, in port order. Nothing is opened;
// pseudo-terminals are not among them. On Linux a port is named by its device
// path (/dev/ttyUSB0); on Windows by its COM name (COM3, COM10), which is what
// the operator knows and types, and which QSerialPort opens as \\.\COM10.
QStringList systemPortNames();

// The name a port is listed under, given its system location: "\\.\COM10"
// becomes "COM10"; a device path stays as it is.
QString listedPortName(const QString &systemLocation);

} // namespace kalent
