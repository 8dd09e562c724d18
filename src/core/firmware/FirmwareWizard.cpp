#include "firmware/FirmwareWizard.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "common/OperatorTexts.h"
#include "journal/ServiceJournal.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace kalent {

namespace {

const QString LineBreak = QStringLiteral("\r\n");
const QString HintReady = QStringLiteral("Загрузка программы управления в прибор.");
const QString HintNotReady = QStringLiteral("Прибор не готов к загрузке программы управления.");
const QString Abandoned =
    QStringLiteral("Загрузка программы прервана, в приборе неполная программа. Вернитесь на "
                   "страницу \"ПО прибора\" и повторите шаги 2 и 3.");
const QString ControlProgramRunning =
    QStringLiteral("Прибор перезапустился до конца загрузки и запустил программу управления: он "
                   "не в режиме программирования. Загрузка остановлена, повторите шаг 2.");

// How long the line stays with the upload after its last byte, waiting for
// the instrument to write the program and report its restart: far beyond what
// programming takes, so only an instrument that never reports is given up.
constexpr int RestartWaitMs = 60000;

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
           stopEnabled == o.stopEnabled && stopVisible == o.stopVisible &&
           fileChoiceEnabled == o.fileChoiceEnabled;
}

FirmwareWizard::FirmwareWizard(SerialPort &port, Connection &connection,
                               ReceiveDispatcher &dispatcher, LineOwner &line, MessagePane &pane,
                               Clock &clock, const DataFolder &dataFolder, LastFileChoice &lastFile,
                               QObject *parent)
    : QObject(parent), m_port(port), m_connection(connection), m_dispatcher(dispatcher),
      m_line(line), m_pane(pane), m_dataFolder(dataFolder), m_lastFile(lastFile),
      m_bootWaitTimer(clock.createTimer()), m_upload(port, pane, clock)
{
    m_bootWaitTimer->setSingleShot(true);
    connect(m_bootWaitTimer.get(), &Timer::timeout, this, &FirmwareWizard::bootWaitOver);
    connect(&m_upload, &FirmwareUpload::finished, this, &FirmwareWizard::transferFinished);
    connect(&m_upload, &FirmwareUpload::checksumWritten, this,
            &FirmwareWizard::lastBlockHandedOver);
    m_dispatcher.subscribe(ReplyCode::StartupReport, [this](const Message &) { startupReport(); });
    connect(&m_line, &LineOwner::cancelling, this, &FirmwareWizard::lineJobStopped);
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

void FirmwareWizard::setFrameQuery(std::function<bool()> query)
{
    m_frameQuery = std::move(query);
}

bool FirmwareWizard::frameExists() const
{
    return m_frameQuery && m_frameQuery();
}

bool FirmwareWizard::linkOn() const
{
    return m_connection.linkUp();
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
    if (std::exchange(m_programmingModeDeclared, false) && frameExists())
        moveTo(WizardStep::Ready);
    m_connection.setFastestSpeedDirectly();
    updateSoftWizard();
}

void FirmwareWizard::afterPageChange()
{
    if (!std::exchange(m_abandoned, false))
        return;
    m_pane.setText(Abandoned);
    Q_EMIT uploadEnded(UploadEnd::Abandoned);
}

void FirmwareWizard::pageOpened()
{
    // "Вирант" on the page during an upload: the labels keep naming the file
    // that is being sent.
    if (!softLoadStarted())
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
    if (softLoadStarted())
        return; // the choice is locked while an upload runs
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
    if (!frameExists() || m_step == WizardStep::Off)
        return;
    const bool on = linkOn();
    m_frame.fileChoiceEnabled = !softLoadStarted();
    m_frame.loadEnabled = on && m_step == WizardStep::Ready && m_fileFound;
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
    if (softLoadStarted()) {
        publish();
        return;
    }
    if (m_step == WizardStep::Finished) {
        moveTo(WizardStep::SwitchOff);
        publish();
        return;
    }
    if (!m_fileFound) {
        m_pane.setText(QStringLiteral("Определите файл для загрузки. Шаг 1."));
    } else if (m_step != WizardStep::Ready) {
        if (!softDeviceOffSeen() && on)
            m_pane.setText(QStringLiteral("Выключите прибор. Шаг 2."));
        else if (!on && m_step == WizardStep::SwitchOff)
            moveTo(WizardStep::SwitchedOff);
        if (softDeviceOffSeen() && !on)
            m_pane.setText(QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2."));
    }
    m_frame.loadHint = HintNotReady;
    publish();
}

void FirmwareWizard::endUpload(UploadEnd end)
{
    if (!softLoadStarted())
        return;
    m_line.end(LineJob::FirmwareUpload,
               end == UploadEnd::Restarted ? JobOutcome::Done
               : end == UploadEnd::CancelledByUser || end == UploadEnd::Abandoned
                   ? JobOutcome::Cancelled
                   : JobOutcome::Failed);
    Q_EMIT uploadEnded(end);
}

void FirmwareWizard::lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason)
{
    if (job != LineJob::FirmwareUpload || !softLoadStarted())
        return;
    // Nothing more goes out: what the port still holds is dropped with the rest.
    m_upload.halt();
    m_port.discardOutput();
    Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
        m_softFileName, m_uploadedImage,
        (softSent() ? QStringLiteral("передана целиком; ожидание перезапуска прервано: ")
                    : QStringLiteral("прервана: ")) +
            reason));
    const bool sent = softSent();
    m_line.end(LineJob::FirmwareUpload, outcome, reason);
    endUpload(outcome == JobOutcome::Cancelled ? UploadEnd::CancelledByUser : UploadEnd::LineLost);
    resetSoftWizard();
    m_pane.setText(
        sent ? QStringLiteral("Программа передана, но перезапуск прибора не подтверждён: %1.")
                   .arg(reason)
             : QStringLiteral("Загрузка программы в прибор прервана: %1.").arg(reason));
}

void FirmwareWizard::moveTo(WizardStep next)
{
    if (next != WizardStep::BootWait)
        m_bootWaitTimer->stop();
    m_step = next;
}

void FirmwareWizard::restartSteps(WizardStep next)
{
    moveTo(next);
    m_upload.halt();
    // Every way out of an upload gives the line back (no-op when it was given).
    m_line.end(LineJob::FirmwareUpload, JobOutcome::Cancelled,
               QStringLiteral("выбрана другая страница"));
    m_frame.fileChoiceEnabled = true;
}

void FirmwareWizard::resetSoftWizard()
{
    if (!frameExists())
        return;
    m_abandoned = false;
    restartSteps(WizardStep::SwitchOff);
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::stopSoftWizard()
{
    if (!frameExists())
        return;
    if (uploadRunning())
        Q_EMIT journalEvent(
            ServiceJournal::firmwareUpload(m_softFileName, m_uploadedImage,
                                           QStringLiteral("остановлена: выбрана другая страница")));
    // The upload stops here; the page change reports it once its own rules ran.
    if (uploadRunning())
        m_abandoned = true;
    restartSteps(WizardStep::Off);
    m_frame.loadEnabled = false;
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    m_pane.setText(QString());
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::bootWaitOver()
{
    m_bootWaitTimer->stop();
    // Programming mode is taken as reached only while the instrument is on:
    // with the line down there is nobody to send the upload to.
    if (m_step == WizardStep::BootWait && linkOn())
        moveTo(WizardStep::Ready);
    updateSoftWizard();
}

void FirmwareWizard::startupReport()
{
    if (m_step == WizardStep::BootWait || m_step == WizardStep::Ready) {
        // The normal control program started, during the boot wait or in step
        // 3: the instrument is not in programming mode, and step 2 has to be
        // done again. An upload now would be read as commands.
        resetSoftWizard();
        updateSoftWizard();
    } else if (m_step == WizardStep::Sending) {
        // The control program runs while blocks still go out: stop sending it
        // the image at once, and drop what the port still holds, which it would
        // read as commands.
        m_upload.halt();
        m_port.discardOutput();
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage,
            QStringLiteral("остановлена: прибор запустил программу управления")));
        endUpload(UploadEnd::ControlProgramRunning);
        resetSoftWizard();
        m_pane.setText(ControlProgramRunning);
    } else if (softSent()) {
        // Only now can "L" be the restarted instrument: every byte is on the
        // line. A line without CTS (three wires) never shows the restart
        // itself, so this "L" alone confirms it.
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage,
            QStringLiteral("передана целиком; перезапуск прибора подтверждён")));
        m_pane.setText(QStringLiteral("Перепрограммирование прибора завершено"));
        endUpload(UploadEnd::Restarted);
        resetSoftWizard();
        // The next update leaves Finished and so keeps the message on the pane.
        moveTo(WizardStep::Finished);
        updateSoftWizard();
    }
}

void FirmwareWizard::lineDown()
{
    if (softLoadStarted()) {
        if (softSent()) {
            m_pane.setText(QStringLiteral("Перезагрузка прибора"));
            if (m_step == WizardStep::AwaitingRestart)
                moveTo(WizardStep::Restarting);
        }
    } else if (m_step != WizardStep::Off) {
        m_pane.setText(QStringLiteral("Включите прибор удерживая указку на экране."));
        // Switched off during the boot wait or in step 3: whatever mode it was
        // in is gone, and only its next start tells which one it takes.
        moveTo(WizardStep::SwitchedOff);
    }
}

void FirmwareWizard::lineUp()
{
    if (m_step == WizardStep::Restarting) {
        moveTo(WizardStep::RestartedUp);
    } else if (softDeviceOffSeen()) {
        // A drop during the boot wait ended it (lineDown), so each return
        // starts a whole 5.5 s of its own.
        moveTo(WizardStep::BootWait);
        if (!m_bootWaitTimer->isActive())
            m_bootWaitTimer->start(BootWaitMs);
    }
}

void FirmwareWizard::afterLinkCheck(bool up)
{
    if (!frameExists())
        return;
    updateSoftWizard();
    if (!up && (m_step == WizardStep::Sending || m_step == WizardStep::AwaitingRestart)) {
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage, QStringLiteral("отменена: нет связи с прибором")));
        m_pane.setText(QStringLiteral("Перепрограммирование прибора отменено."));
        endUpload(UploadEnd::LineLost);
        resetSoftWizard();
    }
}

void FirmwareWizard::startUpload(bool programmingModeConfirmed)
{
    // Step 3 only: the button's state can lag behind a step that moved on.
    if (!programmingModeConfirmed || !frameExists() || !m_frame.loadEnabled ||
        m_step != WizardStep::Ready)
        return;
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
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
    if (m_line.busy()) {
        m_pane.setText(m_line.busyText());
        return;
    }
    // The journal is the service record: an upload it cannot record does not start.
    const QString opening =
        ServiceJournal::firmwareUpload(m_softFileName, image, QStringLiteral("начата"));
    if (m_journalGate) {
        if (const QString why = m_journalGate(opening); !why.isEmpty()) {
            const QString text = why + QStringLiteral(". Загрузка ПО в прибор не начата.");
            m_pane.setText(text);
            Q_EMIT errorOccurred(text);
            return;
        }
    } else {
        Q_EMIT journalEvent(opening);
    }
    m_line.begin(LineJob::FirmwareUpload);
    // Load started before the update, so the update keeps the pane for the
    // transfer's own texts instead of showing a step-2 prompt for a moment.
    moveTo(WizardStep::Sending);
    updateSoftWizard();
    m_frame.stopEnabled = true;
    m_frame.stopVisible = true;
    publish();
    m_uploadedImage = image;
    m_upload.start(image);
}

void FirmwareWizard::cancelUpload()
{
    if (!frameExists())
        return;
    if (uploadRunning())
        Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
            m_softFileName, m_uploadedImage, QStringLiteral("остановлена оператором")));
    endUpload(UploadEnd::CancelledByUser);
    resetSoftWizard();
    m_pane.setText(QStringLiteral("Программирование прибора приостановлено"));
}

bool FirmwareWizard::stopForShutdown()
{
    if (!uploadRunning())
        return true;
    if (!m_frame.stopEnabled)
        return false;
    Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
        m_softFileName, m_uploadedImage,
        QStringLiteral("остановлена: программа завершается по сигналу")));
    endUpload(UploadEnd::CancelledByUser);
    resetSoftWizard();
    m_pane.setText(QStringLiteral("Программирование прибора приостановлено"));
    return true;
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
    // Only the upload this wizard runs moves it on.
    if (m_step != WizardStep::Sending)
        return;
    Q_EMIT journalEvent(ServiceJournal::firmwareUpload(
        m_softFileName, m_uploadedImage,
        QStringLiteral("передана целиком, ждём перезапуска прибора")));
    moveTo(WizardStep::AwaitingRestart);
    // The line stays the upload's until the restart report, for a while.
    m_line.handOver(LineJob::FirmwareUpload, LineJob::FirmwareUpload, RestartWaitMs);
    m_frame.stopEnabled = false;
    m_frame.stopVisible = false;
    publish();
}

} // namespace kalent
