#include "firmware/FirmwareWizard.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "link/ReceiveDispatcher.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

namespace {

const QString StepOne = QStringLiteral("Определите файл для загрузки. Шаг 1.");
const QString SwitchOff = QStringLiteral("Выключите прибор. Шаг 2.");
const QString SwitchOn = QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2.");
const QString StepThree = QStringLiteral("Загрузите программу в прибор. Шаг 3.");
const QString Paused = QStringLiteral("Программирование прибора приостановлено");
const QString Abandoned =
    QStringLiteral("Загрузка программы прервана, в приборе неполная программа. Вернитесь на "
                   "страницу \"ПО прибора\" и повторите шаги 2 и 3.");
const QString ControlProgramRunning =
    QStringLiteral("Прибор перезапустился до конца загрузки и запустил программу управления: он "
                   "не в режиме программирования. Загрузка остановлена, повторите шаг 2.");

} // namespace

FirmwareWizard::FirmwareWizard(SerialPort &port, Connection &connection,
                               ReceiveDispatcher &dispatcher, LineOwner &line, MessagePane &pane,
                               Clock &clock, const DataFolder &dataFolder, LastFileChoice &lastFile,
                               QObject *parent)
    : QObject(parent), m_connection(connection), m_line(line), m_pane(pane),
      m_dataFolder(dataFolder), m_lastFile(lastFile), m_job(port, line, pane, clock)
{
    connect(&m_job, &FirmwareUploadJob::handedOver, this, &FirmwareWizard::handedOver);
    connect(&m_job, &FirmwareUploadJob::sent, this, &FirmwareWizard::sent);
    connect(&m_job, &FirmwareUploadJob::ended, this, &FirmwareWizard::uploadEnded);
    connect(&m_job, &FirmwareUploadJob::errorOccurred, this, &FirmwareWizard::errorOccurred);
    connect(&m_job, &FirmwareUploadJob::journalEvent, this, &FirmwareWizard::journalEvent);
    dispatcher.subscribe(ReplyCode::StartupReport, [this](const Message &) { startupReport(); });
    connect(&m_line, &LineOwner::cancelling, this, &FirmwareWizard::lineJobStopped);
    m_published = m_state;
}

FirmwareWizard::~FirmwareWizard() = default;

bool FirmwareWizard::stepsOn() const
{
    return m_state.step != WizardStep::Unopened && m_state.step != WizardStep::Off &&
           m_state.step != WizardStep::LeftMidUpload;
}

bool FirmwareWizard::firmwarePageActive() const
{
    return stepsOn();
}

bool FirmwareWizard::linkOn() const
{
    return m_connection.lineUp();
}

bool FirmwareWizard::bootWaitTimerActive() const
{
    return m_line.waiting(LineWait::BootWait);
}

void FirmwareWizard::publish()
{
    m_state.linkUp = linkOn();
    if (m_state == m_published)
        return;
    m_published = m_state;
    Q_EMIT stateChanged();
}

void FirmwareWizard::moveTo(WizardStep next)
{
    if (next != WizardStep::BootWait)
        m_line.stopWait(LineWait::BootWait);
    m_state.step = next;
}

void FirmwareWizard::enterFirmwarePage()
{
    m_connection.ensurePortOpen();
    startSteps();
    m_connection.setFastestSpeedDirectly();
    updateFirmwareWizard();
}

void FirmwareWizard::enterInProgrammingMode()
{
    m_connection.ensurePortOpen();
    startSteps();
    moveTo(WizardStep::Ready);
    m_connection.setFastestSpeedDirectly();
    updateFirmwareWizard();
}

void FirmwareWizard::afterPageChange()
{
    if (m_state.step != WizardStep::LeftMidUpload)
        return;
    moveTo(WizardStep::Off);
    m_pane.setText(Abandoned);
    publish();
}

void FirmwareWizard::pageOpened()
{
    // "Вирант" on the page during an upload: the file stays the one being sent. The operator's own
    // choice stays over every entry.
    if (!m_state.uploadUnderWay() && m_state.file.source != FirmwareFile::Source::Chosen)
        locateDefaultFile();
    updateFirmwareWizard();
    if (m_state.file.source != FirmwareFile::Source::Chosen)
        m_dialogFolder = m_dataFolder.path();
}

void FirmwareWizard::locateDefaultFile()
{
    const QString bare = defaultFileName();
    const QString inFolder = QDir(m_dataFolder.filesInVirant()).filePath(bare);
    FirmwareFile &file = m_state.file;
    file.dataFolder = m_dataFolder.path();
    if (QFileInfo(bare).isFile()) {
        // Found beside the process rather than in the data folder: that file
        // is what goes, and its own folder is the one named.
        file.source = FirmwareFile::Source::BesideProgram;
        file.path = QFileInfo(bare).absoluteFilePath();
    } else if (QFileInfo(inFolder).isFile()) {
        file.source = FirmwareFile::Source::InDataFolder;
        file.path = inFolder;
    } else {
        file.source = FirmwareFile::Source::Missing;
        file.path.clear();
    }
    publish();
}

void FirmwareWizard::fileChosen(const QString &path)
{
    if (m_state.uploadUnderWay())
        return; // the choice is locked while an upload runs
    m_state.file.source = FirmwareFile::Source::Chosen;
    m_state.file.path = path;
    m_lastFile.remember(QDir::toNativeSeparators(path));
    m_dialogFolder = m_lastFile.dir();
    m_dialogFileName = m_lastFile.name();
    updateFirmwareWizard();
    publish();
}

void FirmwareWizard::fileDialogCancelled()
{
    updateFirmwareWizard();
}

void FirmwareWizard::promptSwitchOff()
{
    // Switching the instrument off now would cut the exchange under way (a
    // database write, a table): step 2 waits until the line is free. A contact
    // search only probes, and switching off cuts nothing of it.
    const LineJob job = m_line.job();
    if (job == LineJob::None || job == LineJob::ContactSearch || job == LineJob::FirmwareUpload) {
        moveTo(WizardStep::SwitchOff);
        m_pane.setText(SwitchOff);
        return;
    }
    if (m_state.step != WizardStep::WaitingForLine) {
        moveTo(WizardStep::WaitingForLine);
        // Served from the event loop once the job has ended and said its last word.
        m_line.afterJob([this] { lineFreed(); });
    }
    m_pane.setText(QStringLiteral("Дождитесь конца обмена с прибором: идёт %1. Затем шаг 2.")
                       .arg(LineOwner::jobName(job)));
}

void FirmwareWizard::lineFreed()
{
    if (m_state.step == WizardStep::WaitingForLine)
        updateFirmwareWizard();
}

void FirmwareWizard::updateFirmwareWizard()
{
    if (!stepsOn())
        return;
    const bool on = linkOn();
    if (on && m_state.step == WizardStep::Ready && m_state.file.found()) {
        m_pane.setText(StepThree);
        publish();
        return;
    }
    // From the confirmed load until the instrument has restarted, the pane keeps
    // the transfer's own texts: a step-2 prompt here (after a look at the other
    // tab, say) would have the operator switch the instrument off while the
    // image goes out or while the instrument writes it into its memory.
    if (m_state.uploadUnderWay()) {
        publish();
        return;
    }
    if (m_state.step == WizardStep::UploadClosed) {
        moveTo(WizardStep::SwitchOff);
        publish();
        return;
    }
    if (!m_state.file.found()) {
        m_pane.setText(StepOne);
    } else if (m_state.step != WizardStep::Ready) {
        const bool beforeSwitchingOff =
            m_state.step == WizardStep::SwitchOff || m_state.step == WizardStep::WaitingForLine;
        if (beforeSwitchingOff && on)
            promptSwitchOff();
        else if (beforeSwitchingOff)
            moveTo(WizardStep::SwitchedOff);
        if (deviceOffSeen() && !on)
            m_pane.setText(SwitchOn);
    }
    publish();
}

void FirmwareWizard::resetFirmwareWizard()
{
    if (m_state.step != WizardStep::Unopened)
        startSteps();
}

void FirmwareWizard::startSteps()
{
    moveTo(WizardStep::SwitchOff);
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::stopFirmwareWizard()
{
    // Before the page's first entry a page change leaves the pane as it is.
    if (m_state.step == WizardStep::Unopened)
        return;
    const bool cutOff = uploadRunning();
    // Every way out of an upload goes through its cancel, which says why.
    if (m_job.running())
        m_line.cancel(pageLeftReason());
    // The upload stops here; the page change reports it once its own rules ran.
    moveTo(cutOff ? WizardStep::LeftMidUpload : WizardStep::Off);
    m_pane.setText(QString());
    m_pane.setProgress(0);
    publish();
}

void FirmwareWizard::bootWaitOver()
{
    // Programming mode is taken as reached only while the instrument is on:
    // with the line down there is nobody to send the upload to.
    if (m_state.step == WizardStep::BootWait && linkOn())
        moveTo(WizardStep::Ready);
    updateFirmwareWizard();
}

void FirmwareWizard::startupReport()
{
    const WizardStep step = m_state.step;
    if (step == WizardStep::BootWait || step == WizardStep::Ready) {
        // The normal control program started, during the boot wait or in step
        // 3: the instrument is not in programming mode, and step 2 has to be
        // done again. An upload now would be read as commands.
        startSteps();
        updateFirmwareWizard();
    } else if (uploadRunning()) {
        // The control program runs while blocks still go out: stop sending it
        // the image at once, and drop what the port still holds, which it would
        // read as commands.
        m_job.dropUnsent();
        m_job.end(JobOutcome::Failed, QStringLiteral("прибор запустил программу управления"),
                  QStringLiteral("остановлена: прибор запустил программу управления"),
                  ControlProgramRunning);
        startSteps();
    } else if (allSent()) {
        // Only now can "L" be the restarted instrument: every byte is on the
        // line. A line without CTS (three wires) never shows the restart
        // itself, so this "L" alone confirms it.
        m_job.end(JobOutcome::Done, QString(),
                  QStringLiteral("передана целиком; перезапуск прибора подтверждён"),
                  QStringLiteral("Перепрограммирование прибора завершено"));
        startSteps();
        // The next update leaves UploadClosed and so keeps the message on the pane.
        moveTo(WizardStep::UploadClosed);
        updateFirmwareWizard();
    }
}

void FirmwareWizard::lineDown()
{
    if (m_state.uploadUnderWay()) {
        if (allSent()) {
            m_pane.setText(QStringLiteral("Перезагрузка прибора"));
            if (m_state.step == WizardStep::AwaitingRestart)
                moveTo(WizardStep::Restarting);
        }
    } else if (stepsOn()) {
        m_pane.setText(QStringLiteral("Включите прибор удерживая указку на экране."));
        // Switched off during the boot wait or in step 3: whatever mode it was
        // in is gone, and only its next start tells which one it takes.
        moveTo(WizardStep::SwitchedOff);
    }
}

void FirmwareWizard::lineUp()
{
    if (m_state.step == WizardStep::Restarting) {
        moveTo(WizardStep::RestartedUp);
    } else if (deviceOffSeen()) {
        // A drop during the boot wait ended it (lineDown), so each return
        // starts a whole 5.5 s of its own.
        moveTo(WizardStep::BootWait);
        if (!m_line.waiting(LineWait::BootWait))
            m_line.wait(LineWait::BootWait, BootWaitMs, [this] { bootWaitOver(); });
    }
}

void FirmwareWizard::afterLinkCheck(bool up)
{
    updateFirmwareWizard();
    if (!up && (uploadRunning() || m_state.step == WizardStep::AwaitingRestart)) {
        m_job.end(JobOutcome::Failed, QStringLiteral("нет связи с прибором"),
                  QStringLiteral("отменена: нет связи с прибором"),
                  QStringLiteral("Перепрограммирование прибора отменено."));
        startSteps();
    }
    publish();
}

void FirmwareWizard::lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason)
{
    if (job != LineJob::FirmwareUpload || !m_job.running())
        return;
    // Nothing more goes out: what the port still holds is dropped with the rest.
    m_job.dropUnsent();
    if (allSent()) {
        m_job.end(outcome, reason,
                  QStringLiteral("передана целиком; ожидание перезапуска прервано: ") + reason,
                  QStringLiteral("Программа передана, но перезапуск прибора не подтверждён: %1.")
                      .arg(reason));
    } else {
        m_job.end(outcome, reason, QStringLiteral("прервана: ") + reason,
                  QStringLiteral("Загрузка программы в прибор прервана: %1.").arg(reason));
    }
    startSteps();
    // The next update (a link check that follows a port change) keeps the message.
    moveTo(WizardStep::UploadClosed);
    publish();
}

FirmwareWizard::Start FirmwareWizard::startUpload(bool programmingModeConfirmed)
{
    // Step 3 only: a click can come after the step moved on.
    if (!programmingModeConfirmed || m_state.step != WizardStep::Ready || !linkOn() ||
        !m_state.file.found())
        return Start::NotInStepThree;
    if (m_job.start(m_state.file.path) != FirmwareUploadJob::Start::Started)
        return Start::Refused;
    moveTo(WizardStep::Sending);
    publish();
    return Start::Started;
}

void FirmwareWizard::cancelUpload()
{
    if (!stepsOn())
        return;
    m_job.end(JobOutcome::Cancelled, QStringLiteral("остановлена оператором"),
              uploadRunning() ? QStringLiteral("остановлена оператором")
                              : QStringLiteral("передана целиком; ожидание перезапуска "
                                               "прервано оператором"),
              QString());
    startSteps();
    m_pane.setText(Paused);
}

bool FirmwareWizard::stopForShutdown()
{
    if (m_state.step == WizardStep::HandedOver)
        return false;
    if (m_state.step != WizardStep::Sending)
        return true;
    // No block after this one: the block with the port goes out whole, so the
    // upload stops on a block's boundary.
    const QString reason = stopSignalReason();
    m_job.end(JobOutcome::Cancelled, reason, QStringLiteral("прервана: ") + reason,
              QStringLiteral("Загрузка программы в прибор прервана: %1.").arg(reason));
    startSteps();
    return true;
}

void FirmwareWizard::handedOver()
{
    // The port holds the whole rest of the upload: the instrument will have it
    // all, so a cancel now could only report a stop that does not happen.
    if (m_state.step != WizardStep::Sending)
        return;
    moveTo(WizardStep::HandedOver);
    publish();
}

void FirmwareWizard::sent()
{
    if (!uploadRunning())
        return;
    m_job.awaitRestart();
    moveTo(WizardStep::AwaitingRestart);
    publish();
    Q_EMIT uploadSent();
}

} // namespace kalent
