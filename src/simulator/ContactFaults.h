#pragma once

#include <QObject>

#include <memory>

namespace kalent {

class Timer;
class VirtualInstrument;

// Faults of the built-in instrument around the contact search, as the tests put
// the program through them: the line dropping during the search, and once the
// first probe is answered, a flood or endless babble instead of any data reply
// (the probe itself is still answered). It watches the instrument's own log of
// the line, so it counts every probe "B", at any speed.
class ContactFaults : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        // The line drops on the probe that makes this many heard, when it is
        // at another speed than the instrument's; 0: never.
        int dropLineAtProbe = 0;
        // After the contact answer: "D", then noise at the line's pace, forever.
        bool babbleAfterContact = false;
        // After the contact answer: "D" and noise, this many bytes in all, at once.
        qint64 floodAfterContact = 0;
    };
    static constexpr int AfterContactMs = 300;

    ContactFaults(VirtualInstrument &instrument, Settings settings, QObject *parent = nullptr);
    ~ContactFaults() override;

    int probesHeard() const { return m_probes; }

Q_SIGNALS:
    void probeHeard(int count);

private:
    void heard(const QByteArray &bytes, int lineBaud);
    void transmitted(const QByteArray &bytes);
    void startBabbling();
    QByteArray noise(qint64 count);

    VirtualInstrument &m_instrument;
    Settings m_settings;
    std::unique_ptr<Timer> m_timer;
    int m_probes = 0;
    bool m_contact = false;
    bool m_babbling = false;
    unsigned m_seed = 1;
};

} // namespace kalent
