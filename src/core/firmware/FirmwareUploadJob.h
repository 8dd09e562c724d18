#pragma once

#include "firmware/FirmwareUpload.h"
#include "link/LineOwner.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace kalent {

class Clock;
class MessagePane;
class SerialPort;

// One firmware upload as a job on the line. It takes a snapshot of its file
// (the path and every byte) when it starts, sends that snapshot whatever the
// page shows meanwhile, and ends exactly once: done, failed or cancelled with
// its reason, said in the journal, the pane and ended(). The wizard decides
// when it ends and with which words; the job keeps them together.
class FirmwareUploadJob : public QObject
{
    Q_OBJECT
public:
    enum class Start { Started, PortClosed, FileUnfit, LineBusy, JournalRefused };
    Q_ENUM(Start)

    // How long the line stays with the upload after its last byte, waiting for
    // the instrument to write the program and report its restart: far beyond
    // what programming takes, so only an instrument that never reports is given up.
    static constexpr int RestartWaitMs = 60000;

    FirmwareUploadJob(SerialPort &port, LineOwner &line, MessagePane &pane, Clock &clock,
                      QObject *parent = nullptr);

    // Where the opening journal line goes; the upload does not start when it
    // answers why not. Without one the line is only announced (journalEvent).
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_journalGate = std::move(gate);
    }

    // Reads the file whole, journals the start, takes the line and sends the
    // bytes read. Anything else leaves nothing started and the pane says why.
    Start start(const QString &path);
    bool running() const { return m_running; }
    // The running (or last) upload's file and the bytes read from it.
    const QString &path() const { return m_path; }
    const QByteArray &image() const { return m_image; }

    // Every byte is on the line: the line stays the job's, for a while, until
    // the instrument reports its restart.
    void awaitRestart();
    // What the port still holds never reaches the instrument.
    void dropUnsent();
    // Ends a running job: the journal's "итог" and the pane's text, then the line
    // given back and ended(). Ignored when no job runs, so it ends once.
    void end(JobOutcome outcome, const QString &reason, const QString &journalResult,
             const QString &paneText);

    FirmwareUpload &engine() { return m_upload; }

Q_SIGNALS:
    // The last block and the checksum have been handed to the port.
    void handedOver();
    // The last block and the checksum are on the line.
    void sent();
    void ended(kalent::JobOutcome outcome, const QString &reason);
    // A file that cannot be sent, or a journal that refused the start.
    void errorOccurred(const QString &text);
    void journalEvent(const QString &line);

private:
    void journal(const QString &result);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    FirmwareUpload m_upload;
    std::function<QString(const QString &line)> m_journalGate;
    QString m_path;
    QByteArray m_image;
    bool m_running = false;
};

} // namespace kalent
