#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kalent {

// The serial line as the program uses it: one port, chosen by name, opened and
// reopened, with a settings string such as "115200,n,8,1", the CTS line as the
// instrument's presence, an input queue read whole, and an output that returns
// at once. commEvent() is raised when bytes are waiting and when CTS changes;
// the receiver never asks which.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual QString portName() const = 0;
    // Only while closed.
    virtual void setPortName(const QString &name) = 0;

    // Reports failure by returning false (errorString() says why); never throws.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;

    // "<baud>,n,8,1". Applies at once, also while open; reads back what was set.
    virtual bool setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;

    // True while the instrument holds CTS up. A closed port reads as down.
    virtual bool ctsHolding() const = 0;

    virtual int inBufferCount() const = 0;
    // Everything waiting, removed from the queue; empty when nothing waits.
    virtual QByteArray input() = 0;
    virtual void discardInput() = 0;

    // Queues the bytes unchanged and returns at once.
    virtual void output(const QByteArray &bytes) = 0;
    // Drops what output() took that is not on the line yet: the program's
    // buffer and, where the system allows, its output queue.
    virtual void discardOutput() {}
    // Bytes handed to output() that have not yet left the program.
    virtual qint64 bytesToWrite() const = 0;
    // Bytes that have left the program but are still in the system's output
    // queue, not yet on the line; 0 where the system cannot tell.
    virtual qint64 bytesQueuedInSystem() const { return 0; }
    // Blocks until everything written is on the line (the program's buffer and
    // the system's queue), at most timeoutMs. False if bytes are still waiting.
    // The default, for a port with nothing behind its own buffer, only reports.
    virtual bool drain(int timeoutMs)
    {
        Q_UNUSED(timeoutMs);
        return bytesToWrite() == 0;
    }

Q_SIGNALS:
    void commEvent();
    // Bytes have left the program (bytesToWrite() went down by `bytes`).
    void bytesWritten(qint64 bytes);
};

// The settings string for a speed: "<baud>,n,8,1", the one place it is made.
QString settingsOfBaud(int baud);
// The baud rate of a settings string such as "9600,n,8,1"; 0 when it has none.
int baudOfSettings(const QString &settings);

} // namespace kalent
