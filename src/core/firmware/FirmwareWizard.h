#pragma once

#include "firmware/FirmwareUpload.h"
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
class Timer;

// What the firmware frame FirmwarePage shows that changes at run time. Both
// file labels (lbFileLoadPO, lbFileLoadPO2) show the same text; its line breaks
// are carriage return and line feed.
struct SoftVirFrameState
{
    QString fileLabel = QStringLiteral("Файл не найден");
    bool loadEnabled = false; // btnLoadPO
    QString loadHint;         // btnLoadPO's hint
    bool stopEnabled = false; // btnStopProgramVir
    bool stopVisible = false;
    // btnOtherFileLoadPO: the file cannot change under a running upload.
    bool fileChoiceEnabled = true;

    bool operator==(const SoftVirFrameState &o) const;
    bool operator!=(const SoftVirFrameState &o) const { return !(*this == o); }
};

// Where the firmware wizard stands. FirmwareWizard::moveTo is the one place
// the step changes; each handler acts only in the steps it belongs to, so an
// event in another step (a late report, a signal of an upload that was
// stopped) changes nothing.
enum class WizardStep {
    Off,             // the page is not shown: no line event moves the wizard
    SwitchOff,       // step 2 begins: the instrument is to be switched off
    SwitchedOff,     // the line went down: switch on holding the stylus
    BootWait,        // the line came back: 5.5 s for a start-up report that
                     // would show the control program instead of programming mode
    Ready,           // step 3: the instrument waits in programming mode
    Sending,         // the image goes out
    AwaitingRestart, // every byte went out: the instrument writes it and restarts
    Restarting,      // ...and its line went down (the restart under way)
    RestartedUp,     // ...and came back: only its report "L" is awaited
    Finished,        // confirmed: the next update keeps the closing message
};

// The firmware programming wizard: follows the instrument's power state through
// the link indicator (as the link's LinkWatcher) and the start-up report "L"
// into programming mode, then drives the upload. Its step is the wizard's
// whole state; the frame only mirrors frameState() and forwards clicks and the
// outcome of its dialogs. Every operation does nothing until the frame exists.
class FirmwareWizard : public QObject, public LinkWatcher
{
    Q_OBJECT
public:
    static constexpr int BootWaitMs = 5500;

    // How an upload that was started ended (the command line's exit status).
    enum class UploadEnd {
        Restarted,             // "L" after the last byte was on the line
        CancelledByUser,       // "Отменить загрузку"
        LineLost,              // the link indicator went off before the last byte
        ControlProgramRunning, // "L" while blocks were still going out
        Abandoned,             // another main page was chosen
    };
    Q_ENUM(UploadEnd)
    static QString defaultFileName() { return QStringLiteral("Virant_(rx).tsk"); }
    static QString firmwareFolderName() { return QStringLiteral("FilesInVirant"); }

    FirmwareWizard(SerialPort &port, Connection &connection, ReceiveDispatcher &dispatcher,
                   LineOwner &line, MessagePane &pane, Clock &clock, const DataFolder &dataFolder,
                   LastFileChoice &lastFile, QObject *parent = nullptr);
    ~FirmwareWizard() override;

    // The page navigator's answer to "is the firmware page the active main page".
    void setFirmwarePageQuery(std::function<bool()> query);
    // The page navigator's answer to "has the firmware page's frame been made".
    void setFrameQuery(std::function<bool()> query);
    // Where an upload's opening journal line goes; without it the line is only
    // announced (journalEvent) and the upload always starts.
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_journalGate = std::move(gate);
    }

    // Every operation waits for the frame (the navigator knows whether it exists).
    bool frameExists() const;
    const SoftVirFrameState &frameState() const { return m_frame; }

    // The firmware branch of the page-change rules (run after stopSoftWizard):
    // opens the port if needed, resets the wizard, sets 115200 directly without
    // any exchange, and works out the step.
    void enterFirmwarePage();
    // The command line's word that the instrument already waits in programming
    // mode: the next entry of the firmware page opens step 3 at once (while the
    // line is up and a file is chosen) instead of asking for step 2.
    void declareProgrammingModeForNextEntry() { m_programmingModeDeclared = true; }
    // Run after every page change: a running upload that the change cut off is
    // reported now, after the new page's own messages.
    void afterPageChange();
    // From the confirmed load until the last byte is on the line: leaving the
    // page now would leave the instrument with part of a program.
    bool uploadRunning() const { return m_step == WizardStep::Sending; }
    // The rest of the firmware page's action once the page is shown: locates the
    // default file, works out the step, and points the dialog at the data folder.
    void pageOpened();

    void updateSoftWizard();
    void resetSoftWizard();
    void stopSoftWizard();

    // File search for the default file: the bare name, then the data folder's
    // "FilesInVirant".
    void locateDefaultFile();
    QString softFileName() const { return m_softFileName; }

    // The open dialog ("Другой файл..."): where it opens, and its outcome.
    static QString dialogFilter() { return QStringLiteral("Файлы загрузки (*.tsk)"); }
    QString dialogFolder() const { return m_dialogFolder; }
    QString dialogFileName() const { return m_dialogFileName; }
    void fileChosen(const QString &path);
    void fileDialogCancelled();

    // Switching between the two tabs is always allowed.
    void tabChanging() { updateSoftWizard(); }

    // startUpload once the confirmation box has been answered.
    void startUpload(bool programmingModeConfirmed);
    void cancelUpload();
    // The program is asked to end (SIGTERM, Ctrl-C): an upload that can still be
    // stopped is stopped and journalled as such. False when every byte is already
    // with the port, so the upload can only finish.
    bool stopForShutdown();

    // End of the boot wait (StartProgVir_Timer); public so it can be stepped.
    void bootWaitOver();
    bool bootWaitTimerActive() const;

    // The start-up report "L".
    void startupReport();

    FirmwareUpload &upload() { return m_upload; }

    // LinkWatcher: the hooks of the link check.
    bool firmwarePageActive() const override;
    void lineDown() override;
    void lineUp() override;
    void afterLinkCheck(bool up) override;

    WizardStep step() const { return m_step; }
    // The step seen from the questions the pages and tests ask.
    bool softWizardOn() const { return m_step != WizardStep::Off; }
    bool softFileFound() const { return m_fileFound; }
    bool softDeviceOffSeen() const
    {
        return m_step == WizardStep::SwitchedOff || m_step == WizardStep::BootWait;
    }
    bool softBootWait() const { return m_step == WizardStep::BootWait; }
    bool softDeviceReady() const { return m_step == WizardStep::Ready; }
    bool softLoadStarted() const { return m_step == WizardStep::Sending || softSent(); }
    bool softSent() const { return m_step == WizardStep::AwaitingRestart || softRebootSeen(); }
    // The image of the upload under way or last sent, as read from its file.
    const QByteArray &uploadedImage() const { return m_uploadedImage; }
    bool softRebootSeen() const
    {
        return m_step == WizardStep::Restarting || m_step == WizardStep::RestartedUp;
    }
    bool softDone() const
    {
        return m_step == WizardStep::RestartedUp || m_step == WizardStep::Finished;
    }

Q_SIGNALS:
    void frameStateChanged();
    // A started upload ended (it never ends silently).
    void uploadEnded(kalent::FirmwareWizard::UploadEnd end);
    // A file that cannot be sent; the window shows it in a message box.
    void errorOccurred(const QString &text);
    // A line for the service journal (an upload started, sent, confirmed or cut).
    void journalEvent(const QString &line);

private:
    // The one place the step changes; the boot wait's timer belongs to BootWait.
    void moveTo(WizardStep next);
    // Back to the start of step 2 (or off): a running upload stops and gives
    // the line back.
    void restartSteps(WizardStep next);
    void endUpload(UploadEnd end);
    // The line's owner stops the upload ("Контакт", the port closed).
    void lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason);
    void lastBlockHandedOver();
    void transferFinished();
    bool linkOn() const;
    void setFileLabel(const QString &text);
    void publish();

    SerialPort &m_port;
    Connection &m_connection;
    ReceiveDispatcher &m_dispatcher;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;
    std::unique_ptr<Timer> m_bootWaitTimer; // StartProgVir_Timer
    FirmwareUpload m_upload;
    QByteArray m_uploadedImage; // the running upload's file, for the journal
    std::function<bool()> m_firmwarePageQuery;
    std::function<bool()> m_frameQuery;
    std::function<QString(const QString &line)> m_journalGate;

    SoftVirFrameState m_frame;
    SoftVirFrameState m_published;
    QString m_softFileName;
    QString m_dialogFolder;
    QString m_dialogFileName;

    WizardStep m_step = WizardStep::Off;
    // Step 1, the file, is the operator's choice and outlives every other step.
    bool m_fileFound = false;
    // The command line's word for the next entry of the page, not a step yet.
    bool m_programmingModeDeclared = false;
    // stopSoftWizard cut a running upload off; afterPageChange() reports it
    // once the new page's rules ran (the step is Off by then).
    bool m_abandoned = false;
};

} // namespace kalent
