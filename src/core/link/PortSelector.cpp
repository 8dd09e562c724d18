#include "link/PortSelector.h"

namespace kalent {

PortSelector::PortSelector(std::unique_ptr<SerialPort> hostPort, QObject *parent)
    : SerialPort(parent), m_host(std::move(hostPort)), m_current(m_host.get())
{
    watch(m_host.get());
}

void PortSelector::addNamedPort(const QString &name, SerialPort *port)
{
    m_named.insert(name, port);
    watch(port);
}

void PortSelector::watch(SerialPort *port)
{
    // Only the chosen device speaks for the control.
    connect(port, &SerialPort::commEvent, this, [this, port] {
        if (port == m_current)
            Q_EMIT commEvent();
    });
    connect(port, &SerialPort::bytesWritten, this, [this, port](qint64 bytes) {
        if (port == m_current)
            Q_EMIT bytesWritten(bytes);
    });
}

void PortSelector::setPortName(const QString &name)
{
    if (isOpen())
        return;
    m_name = name;
    m_current = m_named.value(name, m_host.get());
    m_current->setPortName(name);
}

bool PortSelector::open()
{
    m_current->setSettings(m_settings);
    return m_current->open();
}

void PortSelector::close()
{
    m_current->close();
}

bool PortSelector::setSettings(const QString &settings)
{
    if (baudOfSettings(settings) <= 0)
        return false;
    m_settings = settings;
    return m_current->setSettings(settings);
}

} // namespace kalent
