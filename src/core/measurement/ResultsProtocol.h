#pragma once

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

// The results page: fetches the instrument's protocol in two steps ("g" asks for
// its length, the reply N announces it; "d" asks for the text, the reply d brings
// it), keeps it as ProtokolStream and in "MSTempProtokol.txt" in the data folder,
// shows it in Memo1, saves a copy on request, and, with the check boxes set,
// follows the "results ready" notice g and saves under the protocol's dated name.
// File errors leave the message pane as it was and are reported by fileError().
// An empty protocol, or a save before any protocol arrived whole, writes nothing.
class ResultsProtocol : public QObject
{
    Q_OBJECT
public:
    // The length reply has five digits, code and last character included.
    static constexpr qint64 LargestText = ReplyLength::Longest - 2;

    ResultsProtocol(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                    MessagePane &pane, const DataFolder &dataFolder, QObject *parent = nullptr);

    // Memo1, decoded from windows-1251, line ends as "\n".
    QString memoText() const { return m_memoText; }
    bool readEnabled() const { return true; }          // btnReadProtokol
    bool saveEnabled() const { return m_saveEnabled; } // btnSaveProtokol
    bool clearEnabled() const { return true; }         // btnClrMemo1
    bool autoRead() const { return m_autoRead; }       // chckAutoReadRes
    bool autoSave() const { return m_autoSave; }       // chckAutoSaveRes
    void setAutoRead(bool checked);
    void setAutoSave(bool checked);

    QByteArray protokolStream() const { return m_stream; }
    QString protokolFileName() const { return m_protokolFileName; }
    // "MSTempProtokol.txt" in the data folder.
    QString tempFileName() const;

    // "Принять данные".
    void readProtocol();
    // "Данные в файл", after the operator chose a path in the save dialog.
    void saveChosen(const QString &path);
    // "Очистить экран".
    void clearProtocol();

    // Reply handlers (the dispatcher calls them with each whole message).
    void handleLength(const Message &reply);
    void handleText(const Message &reply);
    void handleResultsReady(const Message &notice);

Q_SIGNALS:
    void stateChanged();
    void memoChanged();
    // The length reply announced nothing to fetch (a length below 1).
    void nothingToFetch(int announcedLength);
    // The length reply's five characters were not a number.
    void lengthNotANumber();
    void protocolReceived();
    // The protocol reply held no text: nothing was written or shown.
    void protocolEmpty();
    // The automatic save wrote this file.
    void autoSaved(const QString &path);
    void fileError(const QString &message);

private:
    void setMemo(const QString &text);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;

    QByteArray m_stream;
    QString m_protokolFileName;
    QString m_memoText;
    bool m_saveEnabled = false;
    bool m_autoRead = false;
    bool m_autoSave = false;
};

} // namespace kalent
