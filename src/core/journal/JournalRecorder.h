#pragma once

#include <QObject>

namespace kalent {

class Connection;
class OpticalDensityReader;
class ResultsProtocol;
class SerialPort;
class ServiceJournal;

// Writes the events the journal keeps that the session's flows announce anyway:
// every file the automatic chains save, and the link going down and coming back
// (said once per change, with the port's name).
class JournalRecorder : public QObject
{
    Q_OBJECT
public:
    JournalRecorder(ServiceJournal &journal, SerialPort &port, Connection &connection,
                    OpticalDensityReader &reader, ResultsProtocol &results,
                    QObject *parent = nullptr);

private:
    void linkChecked(bool up);

    ServiceJournal &m_journal;
    SerialPort &m_port;
    bool m_lostBefore = false; // it has been up and gone down
    bool m_linkUp = false;
};

} // namespace kalent
