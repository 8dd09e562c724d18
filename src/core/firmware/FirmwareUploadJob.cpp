#include "firmware/FirmwareUploadJob.h"

#include "MessagePane.h"
#include "common/OperatorTexts.h"
#include "journal/ServiceJournal.h"
#include "link/SerialPort.h"

namespace kalent {

FirmwareUploadJob::FirmwareUploadJob(SerialPort &port, LineOwner &line, MessagePane &pane,
                                     Clock &clock, QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_upload(port, line, pane, clock)
{
    // Only the upload this job runs moves it on: the engine driven by anyone
    // else reports nothing here.
    connect(&m_upload, &FirmwareUpload::checksumWritten, this, [this] {
        if (m_running)
            Q_EMIT handedOver();
    });
    connect(&m_upload, &FirmwareUpload::finished, this, [this] {
        if (m_running)
            Q_EMIT sent();
    });
}

FirmwareUploadJob::Start FirmwareUploadJob::start(const QString &path)
{
    if (m_running)
        return Start::LineBusy;
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return Start::PortClosed;
    }
    // The file is read and checked before anything goes on the line, so a file
    // that cannot be sent leaves no half-started upload.
    QByteArray image;
    if (const QString error = FirmwareUpload::readImage(path, &image); !error.isEmpty()) {
        m_pane.setText(error);
        Q_EMIT errorOccurred(error);
        return Start::FileUnfit;
    }
    if (m_line.busy()) {
        m_pane.setText(m_line.busyText());
        return Start::LineBusy;
    }
    // The journal is the service record: an upload it cannot record does not start.
    const QString opening = ServiceJournal::firmwareUpload(path, image, QStringLiteral("начата"));
    if (m_journalGate) {
        if (const QString why = m_journalGate(opening); !why.isEmpty()) {
            const QString text = why + QStringLiteral(". Загрузка ПО в прибор не начата.");
            m_pane.setText(text);
            Q_EMIT errorOccurred(text);
            return Start::JournalRefused;
        }
    } else {
        Q_EMIT journalEvent(opening);
    }
    m_line.begin(LineJob::FirmwareUpload);
    m_path = path;
    m_image = image;
    m_running = true;
    m_upload.start(m_image);
    return Start::Started;
}

void FirmwareUploadJob::journal(const QString &result)
{
    Q_EMIT journalEvent(ServiceJournal::firmwareUpload(m_path, m_image, result));
}

void FirmwareUploadJob::awaitRestart()
{
    if (!m_running)
        return;
    journal(QStringLiteral("передана целиком, ждём перезапуска прибора"));
    m_line.handOver(LineJob::FirmwareUpload, LineJob::FirmwareUpload, RestartWaitMs);
}

void FirmwareUploadJob::dropUnsent()
{
    m_upload.halt();
    m_port.discardOutput();
}

void FirmwareUploadJob::end(JobOutcome outcome, const QString &reason, const QString &journalResult,
                            const QString &paneText)
{
    if (!m_running)
        return;
    m_running = false;
    // Nothing more is handed to the port; a block already there still goes
    // unless the caller dropped it, so a stop falls on a block's boundary.
    m_upload.halt();
    journal(journalResult);
    m_pane.setProgress(0);
    if (!paneText.isEmpty())
        m_pane.setText(paneText);
    m_line.end(LineJob::FirmwareUpload, outcome, reason);
    Q_EMIT ended(outcome, reason);
}

} // namespace kalent
