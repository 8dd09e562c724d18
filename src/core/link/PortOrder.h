#pragma once

#include <QStringList>

namespace kalent {

// The order in which ports are tried and listed: by name, with the numbers in
// names compared as numbers, so COM2 comes before COM10 and ttyS2 before ttyS10,
// as the ports were once tried from COM1 upwards.
QStringList inPortOrder(QStringList names);

} // namespace kalent
