#pragma once

#include <QStringList>

namespace kalent {

// The serial ports the system knows now, by device path, in port order. Nothing
// is opened; pseudo-terminals are not among them.
QStringList systemPortNames();

} // namespace kalent
