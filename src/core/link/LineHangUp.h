#pragma once

#include <QtGlobal>

namespace kalent {

// True when the open serial device behind handle has hung up: its other end is
// gone (a pseudo-terminal whose master closed). Such a device reports itself
// readable while every read returns nothing, and QSerialPort says nothing about
// it. Where the system has no such notion it is always false (an unplugged
// device is reported by QSerialPort as a resource error there).
bool lineHungUp(qintptr handle);

} // namespace kalent
