#pragma once

#include <QSerialPort>
#include <QtGlobal>

namespace kalent {

// True when the open serial device behind port has hung up: its other end is
// gone (a pseudo-terminal whose master closed). Such a device reports itself
// readable while every read returns nothing, and QSerialPort says nothing about
// it. Where the system has no such notion it is always false (an unplugged
// device is reported by QSerialPort as an error there, see below).
bool lineHungUp(const QSerialPort &port);

// True when an error QSerialPort reports on an open port means the device has
// gone. On Linux a vanished device is a resource, not-found or read error. On
// Windows a pulled USB adapter also fails the driver's calls with "access
// denied" (a permission error to QSerialPort), a general failure (unknown) or a
// failed write; left open, such a port fails the same way at every poll.
bool errorMeansDeviceGone(QSerialPort::SerialPortError error);

} // namespace kalent
