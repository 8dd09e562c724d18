#pragma once

#include <QByteArray>
#include <QObject>

#include <QString>

#include <memory>

namespace kalent {

class Clock;
class LineOwner;
class MessagePane;
class SerialPort;
class Timer;

// Sends a firmware image to an instrument waiting in programming mode: the
// marker 55 AA, the length (image size + 6, four bytes, low byte first), the
// image in blocks of at most 10,000 bytes, one block per 100 ms tick, and the
// checksum (byte sum mod 65536, low byte first) right after the last block.
//
// A block counts as sent only when it is on the line: the port's buffer empty
// (followed through the port's bytesWritten notification, never by polling)
// and the system's output queue empty too (waited out for the line time of
// what it still holds). The next tick comes 100 ms after that, and the progress
// bar never runs ahead of the bytes that have left the machine. The engine
// knows nothing of the wizard, which drives it for the window and the command
// line alike.
class FirmwareUpload : public QObject
{
    Q_OBJECT
public:
    static constexpr int BlockSize = 10000;
    static constexpr int TickMs = 100;

    // Every byte goes out through the line's owner, as the upload job's; the
    // port is only read for what it still holds.
    FirmwareUpload(SerialPort &port, LineOwner &line, MessagePane &pane, Clock &clock,
                   QObject *parent = nullptr);
    ~FirmwareUpload() override;

    // Reads the whole file into image. Returns an empty string when the file is
    // fit to send, otherwise the sentence that says why not (no file chosen, not
    // found, unreadable, empty, too large). Nothing is sent in any case.
    static QString readImage(const QString &path, QByteArray *image);

    // The sum of the image's bytes (each 0..255), as the checksum carries it.
    static quint16 checksumOf(const QByteArray &image);

    // Writes the marker and the length; the first block goes 100 ms after they
    // have left. The image must not be empty.
    void start(const QByteArray &image);
    // Stops the transfer where it is; nothing more is written.
    void halt();

    bool running() const { return m_running; }
    // Image bytes handed to the port so far, and the image size.
    qint64 position() const { return m_position; }
    qint64 size() const { return m_image.size(); }

    // The transfer tick: the next block, or after the last the checksum. Public
    // so it can be stepped.
    void sendNextBlock();

Q_SIGNALS:
    // The last block and the checksum have been handed to the port.
    void checksumWritten();
    // The last block and the checksum are on the line.
    void finished();

private:
    void waitUntilOnTheLine();
    void checkOnTheLine();
    void onTheLine();
    void send(const QByteArray &bytes);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    std::unique_ptr<Timer> m_tick;        // Timer, 100 ms
    std::unique_ptr<Timer> m_systemQueue; // the line time of the system's queue
    QByteArray m_image;
    qint64 m_position = 0;
    quint32 m_sum = 0;
    bool m_running = false;
    bool m_waiting = false; // for the last write to reach the line
};

} // namespace kalent
