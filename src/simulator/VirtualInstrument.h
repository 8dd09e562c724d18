#pragma once

#include "InstrumentFeature.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace kalent {

class Clock;
class Timer;

// The built-in instrument: answers like the analyzer at the byte level. It has a
// power switch (shown on CTS), a speed of its own (it understands and answers
// only a line at that speed; at any other speed both directions are garbage),
// the contact probe "B" and the speed change "b"+code. Features add their
// commands; a replayed trace is one that takes the whole line. Failure knobs
// make it silent, noisy or slow.
class VirtualInstrument : public QObject, public InstrumentControl
{
    Q_OBJECT
public:
    static constexpr int DefaultBaud = 115200;
    // The speed of an instrument that hears and answers at whatever speed the
    // line is set to: a recording, which knows no speed of its own.
    static constexpr int AnyBaud = 0;

    explicit VirtualInstrument(Clock &clock, QObject *parent = nullptr);
    ~VirtualInstrument() override;

    // Takes ownership; features are asked in the order they were added.
    void addFeature(std::unique_ptr<InstrumentFeature> feature);
    template <typename T> T *feature() const
    {
        for (const auto &f : m_features)
            if (auto *typed = dynamic_cast<T *>(f.get()))
                return typed;
        return nullptr;
    }

    Clock &clock() override { return m_clock; }

    bool isPowered() const { return m_powered; }
    void setPowered(bool on);
    bool stylusHeld() const override { return m_stylusHeld; }
    void setStylusHeld(bool held);
    // CTS as the port sees it: up while powered, unless a feature holds it down
    // (a restart).
    bool cts() const { return m_powered && !m_ctsHeldDown; }
    void holdCtsDown(bool down) override;

    int baud() const override { return m_baud; }
    void setBaud(int baud) override;
    int lineBaud() const override { return m_lineBaud; }

    // Failure knobs.
    void setSilent(bool silent) { m_silent = silent; }
    // Bytes put in front of every reply.
    void setNoise(const QByteArray &noise) { m_noise = noise; }
    // Delay before every reply, in ms.
    void setReplyDelayMs(int ms) { m_replyDelayMs = ms; }
    // The next reply is cut after this many bytes (the rest is never sent); -1 = off.
    void cutNextReplyAfter(int bytes) { m_cutAfter = bytes; }
    // What happens to every data reply (longer than one byte; the one-letter
    // answers pass untouched).
    enum class DataReplyFault {
        None,
        Withheld,          // never sent
        NoiseInside,       // the noise goes into its middle
        HalfThenSilence,   // half goes out, the rest never
        HalfThenLineDrops, // half goes out, then the line drops
        ByteByByte,        // each byte goes out alone, byteGapMs apart
    };
    void setDataReplyFault(DataReplyFault fault, const QByteArray &noise = {}, int byteGapMs = 0);
    // The line drops now, as when the device is pulled out (lineDropped()).
    void dropLine() { Q_EMIT lineDropped(); }

    // While set, only this feature hears the line (a boot loader taking an upload).
    void setExclusiveFeature(InstrumentFeature *feature) override { m_exclusive = feature; }

    // The line: bytes the instrument hears, as sent by a port set to lineBaud.
    void hear(const QByteArray &bytes, int lineBaud);
    // Replies go out through transmitted(); features call this.
    void send(const QByteArray &bytes) override;
    // Sends without the noise and delay knobs (notices, raw line events).
    void sendRaw(const QByteArray &bytes) override;

    // Bytes heard and not yet used by any feature.
    const QByteArray &pending() const { return m_heard; }

Q_SIGNALS:
    // Bytes leaving the instrument at its own speed (baud; AnyBaud: at the line's).
    void transmitted(const QByteArray &bytes, int baud);
    // Bytes that reached the instrument as the line carried them (its log).
    void heard(const QByteArray &bytes, int lineBaud);
    void ctsChanged(bool up);
    void powerChanged(bool on);
    void baudChanged(int baud);
    // The device is gone: whatever carries the line closes its end.
    void lineDropped();

private:
    void process();
    void emitCts(bool before);
    // Runs action after ms on the clock, unless the power goes off first.
    void later(int ms, std::function<void()> action);
    void transmit(const QByteArray &reply);

    Clock &m_clock;
    std::vector<std::unique_ptr<InstrumentFeature>> m_features;
    std::vector<std::unique_ptr<Timer>> m_delayed;
    QByteArray m_heard;
    QByteArray m_noise;
    int m_baud = DefaultBaud;
    int m_lineBaud = DefaultBaud;
    int m_replyDelayMs = 0;
    int m_cutAfter = -1;
    DataReplyFault m_dataFault = DataReplyFault::None;
    QByteArray m_dataNoise;
    int m_byteGapMs = 0;
    InstrumentFeature *m_exclusive = nullptr;
    bool m_powered = true;
    bool m_stylusHeld = false;
    bool m_ctsHeldDown = false;
    bool m_silent = false;
};

// What a UART set to `toBaud` makes of a byte sent at `fromBaud`: the byte itself
// when the speeds agree (or either is AnyBaud), otherwise a framing-error byte
// that is never a command or reply letter.
QByteArray garble(const QByteArray &bytes, int fromBaud, int toBaud);

} // namespace kalent
