#include "journal/JournalRecorder.h"

#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "link/SerialPort.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

namespace kalent {

JournalRecorder::JournalRecorder(ServiceJournal &journal, SerialPort &port, Connection &connection,
                                 OpticalDensityReader &reader, ResultsProtocol &results,
                                 QObject *parent)
    : QObject(parent), m_journal(journal), m_port(port)
{
    connect(&reader, &OpticalDensityReader::autoSaved, this, [this](const QString &path) {
        m_journal.append(
            ServiceJournal::fileSaved(QStringLiteral("таблица оптических плотностей"), path));
    });
    connect(&results, &ResultsProtocol::autoSaved, this, [this](const QString &path) {
        m_journal.append(ServiceJournal::fileSaved(QStringLiteral("протокол результатов"), path));
    });
    // The line's state as the link holds it: set by the link check and by the
    // start-up, which raises no check of its own.
    connect(&connection, &Connection::stateChanged, this,
            [this, &connection] { linkChecked(connection.lineUp()); });
}

void JournalRecorder::linkChecked(bool up)
{
    // Losing a link that was up and getting a lost one back are the events; the
    // link coming up for the first time is not.
    const bool changed = up != m_linkUp && (m_lostBefore || !up);
    if (!up && m_linkUp)
        m_lostBefore = true;
    m_linkUp = up;
    if (!changed)
        return;
    m_journal.append(
        up ? QStringLiteral("связь с прибором восстановлена; порт: %1").arg(m_port.portName())
           : QStringLiteral("связь с прибором потеряна; порт: %1").arg(m_port.portName()));
}

} // namespace kalent
