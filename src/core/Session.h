#pragma once

#include "MessagePane.h"
#include "PageChangeHooks.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "database/DatabasePage.h"
#include "firmware/FirmwareWizard.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "link/ProgressWatch.h"
#include "link/ReceiveDispatcher.h"
#include "navigation/PageNavigator.h"

#include <QObject>

#include <memory>

namespace kalent {

class Clock;
class JournalRecorder;
class ServiceJournal;
class OpticalDensityReader;
class ResultsProtocol;
class SerialPort;

// One run of the program against one port: owns the message pane, the receive
// dispatcher, the link and the feature controllers, and wires them together.
// The window and the command line both drive a Session; neither holds state of
// its own beyond what they show.
class Session : public QObject, private PageChangeHooks
{
    Q_OBJECT
public:
    Session(Clock &clock, SerialPort &port, const DataFolder &dataFolder,
            QObject *parent = nullptr);
    ~Session() override;

    Clock &clock() { return m_clock; }
    SerialPort &port() { return m_port; }
    const DataFolder &dataFolder() const { return m_dataFolder; }
    MessagePane &pane() { return m_pane; }
    ReceiveDispatcher &dispatcher() { return m_dispatcher; }
    // The one exchange running on the line, and the notices waiting for it.
    LineOwner &line() { return m_line; }
    Connection &connection() { return m_connection; }
    // The file last chosen in the database or firmware page's dialogs.
    LastFileChoice &lastFile() { return m_lastFile; }
    // The reader page (optical densities, spreadsheet hand-off) and the results page.
    OpticalDensityReader &reader() { return *m_reader; }
    ResultsProtocol &results() { return *m_results; }
    // The firmware page's wizard and upload; it watches the link for the wizard.
    FirmwareWizard &firmware() { return m_firmware; }
    // The database page's lists and edits, with the database service (its jobs).
    DatabasePage &databasePage() { return m_databasePage; }
    // The window's pages and the page-change rules; its hooks are set by the
    // features (PageNavigator::setHooks).
    PageNavigator &navigator() { return m_navigator; }
    // When a wait for the instrument has gone on without progress (the command
    // line's --timeout).
    ProgressWatch &progressWatch() { return m_progressWatch; }
    // The service journal in the data folder.
    ServiceJournal &journal() { return *m_journal; }

Q_SIGNALS:
    // The page-change rules showed the reader page: its grid starts empty.
    void readerGridLabelled();

private:
    // The page-change rules reach the firmware wizard and the reader grid here.
    void stopFirmwareWizard() override;
    void resetFirmwareWizard() override;
    void updateFirmwareWizard() override;
    void enterFirmwarePage() override;
    bool firmwareUploadRunning() const override;
    void afterPageChange() override;
    void labelReaderGrid() override;

    Clock &m_clock;
    SerialPort &m_port;
    DataFolder m_dataFolder;
    MessagePane m_pane;
    LineOwner m_line;
    ReceiveDispatcher m_dispatcher;
    Connection m_connection;
    LastFileChoice m_lastFile;
    std::unique_ptr<OpticalDensityReader> m_reader;
    std::unique_ptr<ResultsProtocol> m_results;
    FirmwareWizard m_firmware;
    DatabasePage m_databasePage;
    PageNavigator m_navigator;
    ProgressWatch m_progressWatch;
    std::unique_ptr<ServiceJournal> m_journal;
    std::unique_ptr<JournalRecorder> m_journalRecorder;
};

} // namespace kalent
