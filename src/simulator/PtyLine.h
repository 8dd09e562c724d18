#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace kalent {

// The instrument's end of a pseudo-terminal: the program opens the slave path as
// its serial port, and what it writes arrives here with the speed it set (read
// from the master with tcgetattr); write() puts bytes on its input. Whatever
// answers behind it (the built-in instrument, a replayed trace) decides what
// the bytes mean.
class PtyLine : public QObject
{
    Q_OBJECT
public:
    explicit PtyLine(QObject *parent = nullptr);
    ~PtyLine() override;

    // Creates the pty set to initialBaud; false with errorString() on failure.
    bool start(int initialBaud);
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    // The speed currently set on the line by whoever has the slave open.
    int lineBaud() const;
    // Bytes for the program; a reader that takes nothing for 2 s loses the rest.
    void write(const QByteArray &bytes);
    // Closes both ends kept here: the program's side sees the device gone.
    void close();

Q_SIGNALS:
    void received(const QByteArray &bytes, int lineBaud);
    // Bytes put on the program's input (what the program will read).
    void written(const QByteArray &bytes, int lineBaud);

private:
    void readMaster();

    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kalent
