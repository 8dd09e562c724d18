#pragma once

#include "PtyLine.h"

#include <QObject>
#include <QString>

namespace kalent {

class VirtualInstrument;

// Serves the built-in instrument on a pseudo-terminal, so the program's real
// serial port code can talk to it. The speed the program sets on the slave side
// is read from the master (tcgetattr), so the instrument still tells speeds apart.
// A pty has no modem lines: the instrument's power switch is not visible on it;
// the instrument's line dropping closes the pty.
class PtyBridge : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultLineBaud = 115200;

    PtyBridge(VirtualInstrument &instrument, QObject *parent = nullptr);

    // Creates the pty set to the instrument's speed, or to initialBaud for one
    // that answers at any speed; false with errorString() on failure.
    bool start(int initialBaud = DefaultLineBaud);
    QString slavePath() const { return m_line.slavePath(); }
    QString errorString() const { return m_line.errorString(); }
    // The speed currently set on the line by whoever has the slave open.
    int lineBaud() const { return m_line.lineBaud(); }
    PtyLine &line() { return m_line; }

private:
    VirtualInstrument &m_instrument;
    PtyLine m_line;
};

} // namespace kalent
