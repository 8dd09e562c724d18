#pragma once

#include "firmware/FirmwareState.h"
#include "firmware/FirmwareUploadJob.h"
#include "link/Connection.h"
#include "link/LineOwner.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kalent {

class Clock;
class DataFolder;
class LastFileChoice;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The firmware programming wizard: follows the instrument's power state through
// the link check and the start-up report "L" into programming mode, then runs
// the upload as a job on the line. Its state() is all the firmware page shows;
// the page derives its captions from it and forwards clicks and the outcome of
// its dialogs. The window and the command line drive the same wizard.
class FirmwareWizard : public QObject, public LinkWatcher
{
    Q_OBJECT
public:
    static constexpr int BootWaitMs = 5500;

    static QString defaultFileName() { return QStringLiteral("Virant_(rx).tsk"); }
    static QString firmwareFolderName() { return QStringLiteral("FilesInVirant"); }
    // The reasons a way out gives the upload it cuts off.
    static QString pageLeftReason() { return QStringLiteral("выбрана другая страница"); }
    static QString stopSignalReason() { return QStringLiteral("программа завершается по сигналу"); }

    FirmwareWizard(SerialPort &port, Connection &connection, ReceiveDispatcher &dispatcher,
                   LineOwner &line, MessagePane &pane, Clock &clock, const DataFolder &dataFolder,
                   LastFileChoice &lastFile, QObject *parent = nullptr);
    ~FirmwareWizard() override;

    // Where an upload's opening journal line goes (FirmwareUploadJob::setJournalGate).
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_job.setJournalGate(std::move(gate));
    }

    const FirmwareState &state() const { return m_state; }
    WizardStep step() const { return m_state.step; }

    // The firmware branch of the page-change rules (run after stopFirmwareWizard):
    // opens the port if needed, starts the steps over, sets 115200 directly
    // without any exchange, and works out the step.
    void enterFirmwarePage();
    // The command line's entry: the instrument is said to wait in programming
    // mode already, so step 3 opens at once (while the line is up and a file is
    // chosen) instead of asking for step 2.
    void enterInProgrammingMode();
    // Run after every page change: a running upload that the change cut off is
    // reported now, after the new page's own messages.
    void afterPageChange();
    // Leaving now would leave the instrument with part of a program: from the
    // confirmed load until the last byte is on the line.
    bool uploadRunning() const
    {
        return m_state.step == WizardStep::Sending || m_state.step == WizardStep::HandedOver;
    }
    // The rest of the firmware page's action once the page is shown: locates the
    // default file (unless the operator chose one), works out the step, and points
    // the dialog at the data folder.
    void pageOpened();

    // Works the step out again from the line and the file.
    void updateFirmwareWizard();
    // Back to the start of step 2; nothing before the page's first entry.
    void resetFirmwareWizard();
    // The page is left: the steps stop, a running upload is cancelled.
    void stopFirmwareWizard();

    // File search for the default file: the bare name, then the data folder's
    // "FilesInVirant".
    void locateDefaultFile();
    QString fileName() const { return m_state.file.path; }

    // The open dialog ("Другой файл..."): where it opens, and its outcome.
    static QString dialogFilter() { return QStringLiteral("Файлы загрузки (*.tsk)"); }
    QString dialogFolder() const { return m_dialogFolder; }
    QString dialogFileName() const { return m_dialogFileName; }
    void fileChosen(const QString &path);
    void fileDialogCancelled();

    // Switching between the two tabs is always allowed.
    void tabChanging() { updateFirmwareWizard(); }

    // The load once the confirmation box has been answered; NotInStepThree
    // when the step, the line or the file does not allow it (a click can come
    // after the step moved on); Refused when the job did not start (the pane says why).
    enum class Start { Started, NotInStepThree, Refused };
    Start startUpload(bool programmingModeConfirmed);
    // "Отменить загрузку".
    void cancelUpload();
    // The program is asked to end (a stop signal): an upload that can still be
    // stopped stops before its next block and is journalled as such. False
    // when every byte is already with the port, so the upload can only finish.
    bool stopForShutdown();

    // End of the boot wait; public so it can be stepped.
    void bootWaitOver();
    bool bootWaitTimerActive() const;

    // The start-up report "L".
    void startupReport();

    FirmwareUploadJob &job() { return m_job; }
    FirmwareUpload &upload() { return m_job.engine(); }

    // LinkWatcher: the hooks of the link check. The wizard follows the line
    // while its page is shown, which is while its steps are on.
    bool firmwarePageActive() const override;
    void lineDown() override;
    void lineUp() override;
    void afterLinkCheck(bool up) override;

Q_SIGNALS:
    void stateChanged();
    // Every byte of the running upload is on the line.
    void uploadSent();
    // A started upload ended (it never ends silently, and only once).
    void uploadEnded(kalent::JobOutcome outcome, const QString &reason);
    // A file that cannot be sent; the window shows it in a message box.
    void errorOccurred(const QString &text);
    // A line for the service journal (an upload started, sent, confirmed or cut).
    void journalEvent(const QString &line);

private:
    // The one place the step changes; the boot wait belongs to BootWait.
    void moveTo(WizardStep next);
    // Back to the start of step 2, the progress bar at 0.
    void startSteps();
    // Step 2's prompt, held back while another exchange holds the line.
    void promptSwitchOff();
    void lineFreed();
    // The line's owner stops the upload ("Контакт", the port closed or changed,
    // the window closed, the restart never reported).
    void lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason);
    void handedOver();
    void sent();
    bool linkOn() const;
    bool stepsOn() const;
    bool deviceOffSeen() const
    {
        return m_state.step == WizardStep::SwitchedOff || m_state.step == WizardStep::BootWait;
    }
    bool allSent() const
    {
        return m_state.step == WizardStep::AwaitingRestart ||
               m_state.step == WizardStep::Restarting || m_state.step == WizardStep::RestartedUp;
    }
    void publish();

    Connection &m_connection;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;
    FirmwareUploadJob m_job;

    FirmwareState m_state;
    FirmwareState m_published;
    QString m_dialogFolder;
    QString m_dialogFileName;
};

} // namespace kalent
