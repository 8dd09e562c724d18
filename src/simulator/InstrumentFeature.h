#pragma once

#include <QByteArray>

namespace kalent {

class VirtualInstrument;

// One group of commands the built-in instrument understands. The instrument
// offers every feature the bytes it has heard but not yet used, oldest first.
class InstrumentFeature
{
public:
    virtual ~InstrumentFeature() = default;

    static constexpr int NotMine = -1;
    static constexpr int NeedMore = 0;

    // Returns how many bytes from the front of `heard` make a complete command of
    // this feature (and acts on it), NeedMore when they begin one that is not yet
    // complete, or NotMine.
    virtual int consume(VirtualInstrument &instrument, const QByteArray &heard) = 0;

    // The power switch; stylusHeld tells whether the operator holds the stylus
    // on the screen while switching on.
    virtual void poweredOn(VirtualInstrument &, bool /*stylusHeld*/) {}
    virtual void poweredOff(VirtualInstrument &) {}
};

} // namespace kalent
