#pragma once

#include <QByteArray>

namespace kalent {

class Clock;
class InstrumentFeature;

// What a feature may do with the instrument it belongs to: answer, change the
// speed, hold CTS down, take the line for itself. Features see only this, so a
// feature never depends on the instrument's own header.
class InstrumentControl
{
public:
    virtual Clock &clock() = 0;
    virtual bool stylusHeld() const = 0;
    // The instrument's own speed; 0 for one that answers at whatever speed the
    // line is set to (a recording).
    virtual int baud() const = 0;
    virtual void setBaud(int baud) = 0;
    // The speed the bytes being offered were sent at.
    virtual int lineBaud() const = 0;
    // A reply, subject to the failure knobs (noise, delay, a cut).
    virtual void send(const QByteArray &bytes) = 0;
    // Bytes that go out as they are (notices, a restart's report, a recording).
    virtual void sendRaw(const QByteArray &bytes) = 0;
    virtual void holdCtsDown(bool down) = 0;
    // While set, only this feature hears the line.
    virtual void setExclusiveFeature(InstrumentFeature *feature) = 0;

protected:
    ~InstrumentControl() = default;
};

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
    virtual int consume(InstrumentControl &instrument, const QByteArray &heard) = 0;

    // The power switch; stylusHeld tells whether the operator holds the stylus
    // on the screen while switching on.
    virtual void poweredOn(InstrumentControl &, bool /*stylusHeld*/) {}
    virtual void poweredOff(InstrumentControl &) {}
};

} // namespace kalent
