#pragma once

#include "link/JobHandle.h"
#include "link/ReplyEvents.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kalent {

class DataFolder;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The results protocol: fetched in two steps ("g" asks for its length, the
// reply N announces it; "d" asks for the text, the reply d brings it), kept as
// it came and in "MSTempProtokol.txt" in the data folder, saved as a copy on
// request, and, with automatic reading and saving set, fetched on the "results
// ready" notice g and saved under the protocol's dated name. File errors leave
// the message pane as it was and are reported by fileError(). An empty
// protocol, or a save before any protocol arrived whole, writes nothing. Holds
// no view: the results page's presenter derives what the page shows from state().
class ResultsProtocol : public QObject
{
    Q_OBJECT
public:
    // The length reply has five digits, code and last character included.
    static constexpr qint64 LargestText = ReplyLength::Longest - 2;

    // What the service is and knows, as one value.
    struct State
    {
        // A protocol has arrived whole since the start.
        bool protocolEverReceived = false;
        // Fetches the protocol when the instrument says its results are ready.
        bool autoRead = false;
        // Saves each protocol under its dated name.
        bool autoSave = false;

        bool operator==(const State &other) const
        {
            return protocolEverReceived == other.protocolEverReceived &&
                   autoRead == other.autoRead && autoSave == other.autoSave;
        }
    };

    ResultsProtocol(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                    MessagePane &pane, const DataFolder &dataFolder, QObject *parent = nullptr);

    State state() const { return m_state; }
    void setAutoRead(bool on);
    void setAutoSave(bool on);

    // The protocol's text as the instrument sent it.
    QByteArray protocol() const { return m_stream; }
    // The last protocol received whole and kept, decoded for the screen with
    // its line ends as "\n" (what the results page shows until the operator clears it).
    QString screenText() const { return m_screenText; }
    // The dated name the last automatic save chose.
    QString autoSaveName() const { return m_autoSaveName; }
    // "MSTempProtokol.txt" in the data folder.
    QString tempFileName() const;
    // Whether each protocol is also kept in that file (the window's way, so
    // "Данные в файл" saves what the file holds); off, it is kept in memory
    // only, and an output placed elsewhere never depends on the data folder.
    void setKeepsTemporaryFile(bool keeps) { m_keepsTemporaryFile = keeps; }

    // "Принять данные". The read's handle, whose finished is its one end; null
    // when it could not start (the pane says why).
    JobHandle *readProtocol();
    // "Данные в файл", after the operator chose a path in the save dialog.
    void saveChosen(const QString &path);

    // Reply handlers (the dispatcher calls them with each whole message).
    void handleLength(const Message &reply);
    void handleText(const Message &reply);
    void handleResultsReady(const Message &notice);

Q_SIGNALS:
    void stateChanged();
    // The length reply announced nothing to fetch (a length below 1).
    void nothingToFetch(int announcedLength);
    // The length reply's five characters were not a number.
    void lengthNotANumber();
    // A protocol arrived whole and was kept: screenText() holds it.
    void protocolReceived();
    // The protocol reply held no text: nothing was written or shown.
    void protocolEmpty();
    // A read ended without its protocol: the pane says why and protocol() is
    // the last whole one again.
    void readFailed(const kalent::JobResult &result);
    // The automatic save wrote this file.
    void autoSaved(const QString &path);
    void fileError(const QString &message);
    // A protocol arrived whole but its temporary file could not be written
    // (after fileError): the read stopped there, neither shown nor saved; the
    // text it brought, so the readings store still keeps it.
    void receivedUnfiled(const QByteArray &text);
    // The automatic save could not write path (after fileError): the bytes it
    // was to hold, so nothing received need be lost.
    void autoSaveFailed(const QString &path, const QByteArray &bytes, const QString &why);

private:
    void setState(const State &state);
    // Null when another exchange holds the line: nothing is sent.
    JobHandle *startRead();
    void readEnded(const JobResult &result);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;

    State m_state;
    QByteArray m_stream;
    // The last whole protocol, while a new read runs.
    QByteArray m_lastWhole;
    QString m_autoSaveName;
    QString m_screenText;
    bool m_keepsTemporaryFile = true;
};

} // namespace kalent
