#include "link/PortList.h"

#include "link/PortOrder.h"
#include "link/SerialPort.h"

namespace kalent {

void PortList::listOpenable(const QStringList &candidates, SerialPort &port)
{
    m_names.clear();
    for (const QString &name : candidates) {
        if (port.isOpen())
            port.close();
        port.setPortName(name);
        if (port.open())
            m_names.append(name);
    }
    if (!m_lister)
        return;
    const QStringList known = m_lister();
    for (const QString &name : std::as_const(m_names)) {
        if (!known.contains(name) && !m_kept.contains(name))
            m_kept.append(name);
    }
}

void PortList::refresh(const QString &inUse)
{
    if (!m_lister)
        return;
    QStringList names = m_lister();
    for (const QString &name : std::as_const(m_kept)) {
        if (!names.contains(name))
            names.append(name);
    }
    if (!inUse.isEmpty() && !names.contains(inUse))
        names.append(inUse);
    m_names = inPortOrder(names);
}

void PortList::addTyped(const QString &name)
{
    if (m_names.contains(name))
        return;
    m_names.append(name);
    m_kept.append(name);
}

} // namespace kalent
