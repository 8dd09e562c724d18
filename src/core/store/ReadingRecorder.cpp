#include "store/ReadingRecorder.h"

#include "Session.h"
#include "journal/ServiceJournal.h"
#include "link/LineOwner.h"
#include "link/SerialPort.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"
#include "store/ReadingKeeper.h"

namespace kalent {

ReadingRecorder::ReadingRecorder(Session &session, ReadingKeeper &keeper, QObject *parent)
    : QObject(parent), m_session(session), m_keeper(keeper)
{
    OpticalDensityReader &reader = session.reader();
    connect(&reader, &OpticalDensityReader::tableReceived, this, &ReadingRecorder::tableReceived);
    connect(&reader, &OpticalDensityReader::autoSaved, this,
            [this](const QString &path) { keepWaitingTable({path}); });
    connect(&reader, &OpticalDensityReader::fileError, this, [this] { keepWaitingTable({}); });
    connect(&reader, &OpticalDensityReader::autoSaveFailed, this, &ReadingRecorder::autoSaveFailed);
    // The name never came (silence, a port gone, a cancel): the table is kept without it.
    connect(&session.line(), &LineOwner::jobEnded, this, [this](LineJob job, JobOutcome outcome) {
        if (job == LineJob::FileName && outcome != JobOutcome::Done)
            keepWaitingTable({});
    });
    ResultsProtocol &results = session.results();
    connect(&results, &ResultsProtocol::protocolReceived, this, &ReadingRecorder::protocolReceived);
    connect(&results, &ResultsProtocol::autoSaved, this,
            [this](const QString &path) { keepWaitingProtocol({path}); });
    connect(&results, &ResultsProtocol::fileError, this, [this] { keepWaitingProtocol({}); });
    connect(&results, &ResultsProtocol::autoSaveFailed, this, &ReadingRecorder::autoSaveFailed);
    connect(&results, &ResultsProtocol::receivedUnfiled, this, [this](const QByteArray &text) {
        m_keeper.keep(Reading::fromProtocol(text, m_session.port().portName(), {}));
    });

    connect(&keeper, &ReadingKeeper::failed, this, &ReadingRecorder::say);
    connect(&keeper, &ReadingKeeper::recovered, this, &ReadingRecorder::say);
    connect(&keeper, &ReadingKeeper::lost, this, &ReadingRecorder::say);
}

ReadingRecorder::~ReadingRecorder()
{
    keepWaitingTable({});
}

void ReadingRecorder::say(const QString &text)
{
    m_session.journal().append(text);
    Q_EMIT message(text);
}

void ReadingRecorder::tableReceived()
{
    // One still waiting for a name that never came goes first.
    keepWaitingTable({});
    const OpticalDensityReader &reader = m_session.reader();
    if (reader.state().autoSave && m_session.line().job() == LineJob::FileName) {
        m_waitingTable = reader.table();
        return;
    }
    m_keeper.keep(Reading::fromTable(reader.table(), m_session.port().portName(), {}));
}

void ReadingRecorder::keepWaitingTable(const QStringList &files)
{
    if (!m_waitingTable)
        return;
    PlateTable table = *m_waitingTable;
    m_waitingTable.reset();
    // Saved: the reader's table now carries the instrument's name.
    if (!files.isEmpty())
        table.setInstrumentFileName(m_session.reader().table().title().instrumentFileName);
    const Reading reading = Reading::fromTable(table, m_session.port().portName(), files);
    if (files.isEmpty())
        keepUnfiled(reading);
    else
        m_keeper.keep(reading);
}

void ReadingRecorder::keepUnfiled(const Reading &reading)
{
    m_lastUnfiled = reading;
    m_keeper.keep(reading);
}

void ReadingRecorder::autoSaveFailed(const QString &path)
{
    // Told right after the failure that kept the reading without its file.
    if (!m_lastUnfiled)
        return;
    m_unfiled.insert(path, *m_lastUnfiled);
    m_lastUnfiled.reset();
}

void ReadingRecorder::fileWrittenLater(const QString &path)
{
    const auto found = m_unfiled.constFind(path);
    if (found == m_unfiled.cend())
        return;
    Reading reading = *found;
    m_unfiled.erase(found);
    reading.files.append(path);
    m_keeper.keep(reading);
}

void ReadingRecorder::protocolReceived()
{
    const ResultsProtocol &results = m_session.results();
    if (results.state().autoSave) {
        // The automatic save follows in the same reply, and ends in a file or an error.
        m_waitingProtocol = results.protocol();
        return;
    }
    m_keeper.keep(Reading::fromProtocol(results.protocol(), m_session.port().portName(), {}));
}

void ReadingRecorder::keepWaitingProtocol(const QStringList &files)
{
    if (!m_waitingProtocol)
        return;
    const QByteArray text = *m_waitingProtocol;
    m_waitingProtocol.reset();
    const Reading reading = Reading::fromProtocol(text, m_session.port().portName(), files);
    if (files.isEmpty())
        keepUnfiled(reading);
    else
        m_keeper.keep(reading);
}

} // namespace kalent
