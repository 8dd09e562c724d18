#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kalent {

class SerialPort;

// The ports the operator chooses from. The start-up lists the candidates that
// open; the list is read again from the system when asked (the list is
// opened, a port closed itself). Ports the system does not list (the built-in
// instrument, a pty) and every path the operator typed stay in it.
class PortList
{
public:
    using Lister = std::function<QStringList()>;

    // Where the list comes from when it is read again: the ports the system
    // knows now. Without one the list stays as the start-up made it.
    void setLister(Lister lister) { m_lister = std::move(lister); }

    const QStringList &names() const { return m_names; }
    bool isEmpty() const { return m_names.isEmpty(); }
    bool contains(const QString &name) const { return m_names.contains(name); }

    // Tries each candidate on port in turn and lists those that open; the port
    // is left open on the last that opened.
    void listOpenable(const QStringList &candidates, SerialPort &port);
    // Reads the system's ports again: ports that are gone leave the list; the
    // port in use, the kept ports and the typed paths stay.
    void refresh(const QString &inUse);
    // A path the operator typed joins the list and stays in it.
    void addTyped(const QString &name);

private:
    Lister m_lister;
    QStringList m_names;
    QStringList m_kept;
};

} // namespace kalent
