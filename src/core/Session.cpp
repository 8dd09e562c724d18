#include "Session.h"

namespace kalent {

Session::Session(Clock &clock, SerialPort &port, const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_clock(clock), m_port(port), m_dataFolder(dataFolder),
      m_dispatcher(port, [this] { return m_connection.checkLink(); }),
      m_connection(port, m_dispatcher, m_pane, clock), m_navigator(m_connection, nullptr)
{}

Session::~Session() = default;

} // namespace kalent
