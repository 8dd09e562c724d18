#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace kalent {

class VirtualInstrument;

// Serves the built-in instrument on a pseudo-terminal, so the program's real
// serial port code can talk to it. The speed the program sets on the slave side
// is read from the master (tcgetattr), so the instrument still tells speeds apart.
// A pty has no modem lines: the instrument's power switch is not visible on it.
class PtyBridge : public QObject
{
    Q_OBJECT
public:
    PtyBridge(VirtualInstrument &instrument, QObject *parent = nullptr);
    ~PtyBridge() override;

    // Creates the pty; false with errorString() on failure.
    bool start();
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    // The speed currently set on the line by whoever has the slave open.
    int lineBaud() const;

private:
    void readMaster();
    void instrumentTransmitted(const QByteArray &bytes, int baud);

    VirtualInstrument &m_instrument;
    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kalent
