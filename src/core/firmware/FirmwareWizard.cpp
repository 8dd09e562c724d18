#include "firmware/FirmwareWizard.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "journal/ServiceJournal.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

namespace {

const QString LineBreak = QStringLiteral("\r\n");
const QString HintReady = QStringLiteral("Загрузка программы управления в прибор.");
const QString HintNotReady = QStringLiteral("Прибор не готов к загрузке программы управления.");

// A folder as the labels show it: native separators and one trailing separator.
QString shownFolder(const QString &folder)
{
    QString shown = QDir::toNativeSeparators(folder);
    if (!shown.endsWith(QDir::separator()))
        shown += QDir::separator();
    return shown;
}

} // namespace

bool SoftVirFrameState::operator==(const SoftVirFrameState &o) const
{
    return fileLabel == o.fileLabel && loadEnabled == o.loadEnabled && loadHint == o.loadHint &&
           stopEnabled == o.stopEnabled && stopVisible == o.stopVisible;
}

FirmwareWizard::FirmwareWizard(SerialPort &port, Connection &connection,
                               ReceiveDispatcher &dispatcher, MessagePane &pane, Clock &clock,
                               const DataFolder &dataFolder, LastFileChoice &lastFile,
                               QObject *parent)
    : QObject(parent), m_port(port), m_connection(connection), m_dispatcher(dispatcher),
      m_pane(pane), m_dataFolder(dataFolder), m_lastFile(lastFile),
      m_bootWaitTimer(clock.createTimer()), m_upload(port, pane, clock)
{
    m_bootWaitTimer->setSingleShot(true);
    connect(m_bootWaitTimer.get(), &Timer::timeout, this, &FirmwareWizard::startProgVirTimerTimer);
    connect(&m_upload, &FirmwareUpload::finished, this, &FirmwareWizard::transferFinished);
    connect(&m_upload, &FirmwareUpload::checksumWritten, this,
            &FirmwareWizard::lastBlockHandedOver);
    m_dispatcher.setReplyHandler(ReceiveDispatcher::StartupReport,
                                 [this](QByteArray &buffer) { startupReport(buffer); });
    m_published = m_frame;
}

FirmwareWizard::~FirmwareWizard() = default;

void FirmwareWizard::setFirmwarePageQuery(std::function<bool()> query)
{
    m_firmwarePageQuery = std::move(query);
}

bool FirmwareWizard::firmwarePageActive() const
{
    return m_firmwarePageQuery && m_firmwarePageQuery();
}

void FirmwareWizard::ensureFrame()
{
    m_frameExists = true;
}

bool FirmwareWizard::linkOn() const
{
    return m_connection.panel().indicatorOn;
}

bool FirmwareWizard::bootWaitTimerActive() const
{
    return m_bootWaitTimer->isActive();
}

void FirmwareWizard::publish()
{
    if (m_frame == m_published)
        return;
    m_published = m_frame;
    Q_EMIT frameStateChanged();
}

void FirmwareWizard::setFileLabel(const QString &text)
{
    m_frame.fileLabel = text;
    publish();
}

void FirmwareWizard::enterFirmwarePage()
{
    m_connection.ensurePortOpen();
    resetSoftWizard();
    m_connection.setFastestSpeedDirectly();
    updateSoftWizard();
}

void FirmwareWizard::actionSoftVirantExecuted()
{
    ensureFrame();
    locateDefaultFile();
    updateSoftWizard();
    m_dialogFolder = m_dataFolder.path();
}

void FirmwareWizard::locateDefaultFile()
{
    const QString bare = defaultFileName();
    const QString inFolder = QDir(m_dataFolder.filesInVirant()).filePath(bare);
    if (QFileInfo(bare).isFile()) {
        // Found beside the process rather than in the data folder: the label
        // names the folder it was really found in, since that file is what goes.
        m_softFileName = QFileInfo(bare).absoluteFilePath();
        m_fileFound = true;
        setFileLabel(shownFolder(QFileInfo(bare).absolutePath()) + LineBreak + bare);
    } else if (QFileInfo(inFolder).isFile()) {
        m_softFileName = inFolder;
        m_fileFound = true;
        setFileLabel(shownFolder(m_dataFolder.path()) + LineBreak + firmwareFolderName() +
                     QDir::separator() + LineBreak + bare);
    } else {
        m_softFileName.clear();
        m_fileFound = false;
        setFileLabel(QStringLiteral("Файл ") + bare + LineBreak + QStringLiteral("не найден."));
    }
}

void FirmwareWizard::fileChosen(const QString &path)
{
    m_softFileName = path;
    const QString shown = QDir::toNativeSeparators(path);
    m_lastFile.remember(shown);
    m_dialogFolder = m_lastFile.dir();
    m_dialogFileName = m_lastFile.name();
    setFileLabel(m_lastFile.dir() + LineBreak + m_lastFile.name());
    m_fileFound = true;
    updateSoftWizard();
}

void FirmwareWizard::fileDialogCancelled()
{
    if (m_softFileName.isEmpty())
        m_fileFound = false;
    updateSoftWizard();
}

void FirmwareWizard::updateSoftWizard()
{
    if (!m_frameExists || !m_wizardOn)
        return;
    const bool on = linkOn();
    m_frame.loadEnabled = on && m_deviceReady && m_fileFound;
    if (m_frame.loadEnabled) {
        m_pane.setText(QStringLiteral("Загрузите программу в прибор. Шаг 3."));
        m_frame.loadHint = HintReady;
        publish();
        return;
    }
    // From the confirmed load until the instrument has restarted, the pane keeps
    // the transfer's own texts: a step-2 prompt here (after a look at the other
    // tab, say) would have the operator switch the instrument off while the
    // image goes out or while the instrument writes it into its memory.
    if (m_rebootSeen || m_loadStarted) {
        publish();
        return;
    }
    if (m_done) {
        m_done = false;
        publish();
        return;
    }
    if (!m_fileFound) {
        m_pane.setText(QStringLiteral("Определите файл для загрузки. Шаг 1."));
    } else if (!m_deviceReady) {
        if (!m_deviceOffSeen && on)
            m_pane.setText(QStringLiteral("Выключите прибор. Шаг 2."));
        else if (!on)
            m_deviceOffSeen = true;
        if (m_deviceOffSeen && !on)
            m_pane.setText(QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2."));
    }
    m_frame.loadHint = HintNotReady;
    publish();
}

void FirmwareWizard::clearFlags()
{
    m_rebootSeen = false;
    m_sent = false;
    m_deviceReady = false;
    m_deviceOffSeen = false;
    m_bootWait = false;
    m_loadStarted = false;
    m_done = false;
    m_bootWaitTimer->stop();
    m_upload.halt();
}

void FirmwareWizard::resetSoftWizard()
{
    if (!m_frameExists)
        return;
    m_wizardOn = true;
    clearFlags();
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::stopSoftWizard()
{
    if (!m_frameExists)
        return;
    if (m_loadStarted && !m_sent)
        Q_EMIT journalEvent(
            ServiceJournal::firmwareUpload(m_softFileName, m_uploadedImage,
                                           QStringLiteral("остановлена: выбрана другая страница")));
    m_wizardOn = false;
    clearFlags();
    m_frame.loadEnabled = false;
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    m_pane.setText(QString());
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::startProgVirTimerTimer()
{
    m_bootWaitTimer->stop();
    if (m_bootWait) {
        m_deviceReady = true;
        m_deviceOffSeen = false;
        m_bootWait = false;
    }
    updateSoftWizard();
}

void FirmwareWizard::startupReport(QByteArray &inBuffer)
{
    if (m_bootWait) {
        // The normal control program started: the instrument is not in
        // programming mode, and step 2 has to be done again.
        resetSoftWizard();
        updateSoftWizard();
    }
    if (m_done) {
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage, QStringLiteral("перезапуск прибора подтверждён")));
        m_pane.setText(QStringLiteral("Перепрограммирование прибора завершено"));
        resetSoftWizard();
        // The next update consumes it and so leaves the message on the pane.
        m_done = true;
        updateSoftWizard();
    }
    inBuffer.clear();
}

void FirmwareWizard::lineDown()
{
    if (m_loadStarted) {
        if (m_sent) {
            m_pane.setText(QStringLiteral("Перезагрузка прибора"));
            m_rebootSeen = true;
        }
    } else if (m_wizardOn) {
        m_pane.setText(QStringLiteral("Включите прибор удерживая указку на экране."));
        m_deviceOffSeen = true;
    }
}

void FirmwareWizard::lineUp()
{
    if (m_loadStarted) {
        if (m_sent && m_rebootSeen)
            m_done = true;
    } else if (m_wizardOn && m_deviceOffSeen) {
        // A drop and return during the boot wait must not restart the 5.5 s.
        if (!m_bootWaitTimer->isActive())
            m_bootWaitTimer->start(BootWaitMs);
        m_bootWait = true;
    }
}

void FirmwareWizard::afterLinkCheck(bool up)
{
    if (!m_frameExists)
        return;
    updateSoftWizard();
    if (!up && m_loadStarted && !m_rebootSeen) {
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage, QStringLiteral("отменена: нет связи с прибором")));
        m_pane.setText(QStringLiteral("Перепрограммирование прибора отменено."));
        resetSoftWizard();
    }
}

void FirmwareWizard::btnLoadPOClick(bool programmingModeConfirmed)
{
    if (!programmingModeConfirmed || !m_frameExists || !m_frame.loadEnabled)
        return;
    m_dispatcher.clearInBuffer();
    if (!m_port.isOpen()) {
        m_pane.setText(QStringLiteral("Порт отключен."));
        return;
    }
    // The file is read and checked before anything goes on the line, so a file
    // that cannot be sent leaves no half-started upload and step 3 stays open.
    QByteArray image;
    const QString error = FirmwareUpload::readImage(m_softFileName, &image);
    if (!error.isEmpty()) {
        m_pane.setText(error);
        Q_EMIT errorOccurred(error);
        return;
    }
    m_deviceReady = false;
    updateSoftWizard();
    m_frame.stopEnabled = true;
    m_frame.stopVisible = true;
    m_loadStarted = true;
    m_sent = false;
    m_rebootSeen = false;
    publish();
    m_uploadedImage = image;
    Q_EMIT journalEvent(
        ServiceJournal::firmwareUpload(m_softFileName, m_uploadedImage, QStringLiteral("начата")));
    m_upload.start(image);
}

void FirmwareWizard::btnStopProgramVirClick()
{
    if (!m_frameExists)
        return;
    if (m_loadStarted && !m_sent)
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage, QStringLiteral("остановлена оператором")));
    resetSoftWizard();
    m_pane.setText(QStringLiteral("Программирование прибора приостановлено"));
}

void FirmwareWizard::lastBlockHandedOver()
{
    // The port holds the whole rest of the upload: the instrument will have it
    // all, so a cancel now could only report a stop that does not happen.
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    publish();
}

void FirmwareWizard::transferFinished()
{
    Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
        m_softFileName, m_uploadedImage,
        QStringLiteral("передана целиком, ждём перезапуска прибора")));
    m_sent = true;
    m_rebootSeen = false;
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    publish();
}

} // namespace kalent
