#include "PortPanelPresenter.h"

#include "link/Connection.h"
#include "link/LineSpeeds.h"
#include "link/SerialPort.h"

namespace kalent {

bool PortPanelView::operator==(const PortPanelView &o) const
{
    return ports == o.ports && portText == o.portText && portEnabled == o.portEnabled &&
           portOpenChecked == o.portOpenChecked && portOpenCaption == o.portOpenCaption &&
           lampOn == o.lampOn && parametersText == o.parametersText && speedText == o.speedText &&
           speedEnabled == o.speedEnabled && checkEnabled == o.checkEnabled &&
           contactEnabled == o.contactEnabled && contactCaption == o.contactCaption;
}

PortPanelPresenter::PortPanelPresenter(Connection &link, QObject *parent)
    : QObject(parent), m_link(link)
{
    connect(&m_link, &Connection::stateChanged, this, &PortPanelPresenter::viewChanged);
}

PortPanelView PortPanelPresenter::derive(const LinkState &s)
{
    PortPanelView v;
    v.ports = s.ports;
    v.portText = s.portName;
    // A write or an upload holds the line, and the probing search the port:
    // neither may have the port changed under it. A search the operator may
    // stop, halted by a line drop, still holds the port.
    v.portEnabled =
        !s.lineWritten && !s.probing() && !(s.phase == LinkPhase::SearchHalted && s.searchAskedFor);
    v.portOpenChecked = s.portOpen;
    v.portOpenCaption = s.portOpen ? QStringLiteral("вкл.") : QStringLiteral("выкл.");
    v.lampOn = s.lineUp;
    if (s.reportedBaud > 0)
        v.parametersText = QStringLiteral("Параметры: ") + settingsOfBaud(s.reportedBaud);
    v.speedText = QString::number(s.agreedBaud);
    // "?" and the speed box put a probe on the line: only with the line up,
    // nothing written to the instrument and no search probing.
    v.checkEnabled = s.lineUp && !s.lineWritten && !s.probing();
    v.speedEnabled = v.checkEnabled;
    // "Контакт" needs the line up, or a port that is not open: it is the way
    // to open the port once more. During a write it is the way out.
    v.contactEnabled = !s.ports.isEmpty() && (s.lineUp || !s.portOpen);
    v.contactCaption = s.searchAskedFor ? QStringLiteral("Стоп") : QStringLiteral("Контакт");
    return v;
}

PortPanelView PortPanelPresenter::view() const
{
    return derive(m_link.state());
}

QStringList PortPanelPresenter::speedItems()
{
    QStringList items;
    for (const int baud : LineSpeeds::Bauds)
        items.append(QString::number(baud));
    return items;
}

int PortPanelPresenter::speedFromText(const QString &text)
{
    bool ok = false;
    const int baud = text.trimmed().toInt(&ok);
    return ok && LineSpeeds::codeForBaud(baud) >= 0 ? baud : 0;
}

void PortPanelPresenter::portChosen(const QString &name)
{
    m_link.choosePort(name);
}

void PortPanelPresenter::speedChosen(const QString &text)
{
    // Not one of the six speeds: ignored; the box shows the speed again.
    if (const int baud = speedFromText(text))
        m_link.chooseSpeed(baud);
}

void PortPanelPresenter::contactPressed()
{
    m_link.contactOrStop();
}

void PortPanelPresenter::checkPressed()
{
    m_link.checkContact();
}

void PortPanelPresenter::portListOpening()
{
    m_link.refreshPorts();
}

} // namespace kalent
