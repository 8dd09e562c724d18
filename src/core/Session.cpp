#include "Session.h"

#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

namespace kalent {

Session::Session(Clock &clock, SerialPort &port, const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_clock(clock), m_port(port), m_dataFolder(dataFolder),
      m_dispatcher(port, [this] { return m_connection.checkLink(); }),
      m_connection(port, m_dispatcher, m_pane, clock),
      m_reader(std::make_unique<OpticalDensityReader>(port, m_dispatcher, m_pane, m_connection,
                                                      m_dataFolder)),
      m_results(std::make_unique<ResultsProtocol>(port, m_dispatcher, m_pane, m_dataFolder)),
      m_firmware(port, m_connection, m_dispatcher, m_pane, clock, m_dataFolder, m_lastFile),
      m_databasePage(port, m_dispatcher, m_connection, m_pane, m_dataFolder, m_lastFile)
{
    m_connection.setLinkWatcher(&m_firmware);
}

Session::~Session()
{
    // The wizard goes before the link; the link must not call it on the way out.
    m_connection.setLinkWatcher(nullptr);
}

} // namespace kalent
