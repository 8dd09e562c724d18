#include "Session.h"

#include "journal/JournalRecorder.h"
#include "journal/ServiceJournal.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

namespace kalent {

Session::Session(Clock &clock, SerialPort &port, const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_clock(clock), m_port(port), m_dataFolder(dataFolder), m_line(clock),
      m_dispatcher(port, m_line, [this] { return m_connection.checkLink(); }),
      m_connection(port, m_dispatcher, m_line, m_pane),
      m_reader(std::make_unique<OpticalDensityReader>(port, m_dispatcher, m_line, m_pane,
                                                      m_connection, m_dataFolder)),
      m_results(
          std::make_unique<ResultsProtocol>(port, m_dispatcher, m_line, m_pane, m_dataFolder)),
      m_firmware(port, m_connection, m_dispatcher, m_line, m_pane, clock, m_dataFolder, m_lastFile),
      m_databasePage(port, m_dispatcher, m_line, m_connection, m_pane, clock, m_dataFolder,
                     m_lastFile),
      m_navigator(m_connection, this),
      m_progressWatch(clock, m_line, m_dispatcher, m_pane, m_connection),
      m_journal(std::make_unique<ServiceJournal>(m_dataFolder)),
      m_journalRecorder(
          std::make_unique<JournalRecorder>(*m_journal, port, m_connection, *m_reader, *m_results))
{
    m_line.setPort(&port);
    connect(&m_databasePage.service(), &DatabaseService::journalEvent, m_journal.get(),
            &ServiceJournal::append);
    connect(&m_firmware, &FirmwareWizard::journalEvent, m_journal.get(), &ServiceJournal::append);
    connect(m_journal.get(), &ServiceJournal::appendFailed, &m_pane, &MessagePane::setText);
    // A flow that writes to the instrument stores its opening line itself and
    // does not start without it; its own refusal says why in the pane.
    const auto gate = [this](const QString &line) {
        return m_journal->tryAppend(line);
    };
    m_databasePage.setJournalGate(gate);
    m_firmware.setJournalGate(gate);
    m_connection.setLinkWatcher(&m_firmware);
    // The firmware action ends with the file search and the wizard's step, here
    // in the core, whether or not a window shows the page.
    connect(&m_navigator, &PageNavigator::actionExecuted, &m_firmware, [this](Page page) {
        if (page == Page::Firmware)
            m_firmware.pageOpened();
    });
}

Session::~Session()
{
    // The wizard goes before the link; the link must not call it on the way out.
    m_connection.setLinkWatcher(nullptr);
}

void Session::stopFirmwareWizard()
{
    m_firmware.stopFirmwareWizard();
}

void Session::resetFirmwareWizard()
{
    m_firmware.resetFirmwareWizard();
}

void Session::updateFirmwareWizard()
{
    m_firmware.updateFirmwareWizard();
}

void Session::enterFirmwarePage()
{
    m_firmware.enterFirmwarePage();
}

bool Session::firmwareUploadRunning() const
{
    return m_firmware.uploadRunning();
}

void Session::afterPageChange()
{
    m_firmware.afterPageChange();
}

void Session::labelReaderGrid()
{
    Q_EMIT readerGridLabelled();
}

} // namespace kalent
