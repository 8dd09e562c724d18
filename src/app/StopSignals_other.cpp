#include "StopSignals.h"

#include <QSocketNotifier>

namespace kalent {

// No POSIX signals here: the console's Ctrl-C is handled by a seam of its own.
void StopSignals::catchFromNow()
{}

bool StopSignals::caught()
{
    return false;
}

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{}

StopSignals::~StopSignals() = default;

void StopSignals::drain()
{}

} // namespace kalent
