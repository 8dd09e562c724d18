#pragma once

#include "link/JobHandle.h"
#include "link/ReplyEvents.h"
#include "measurement/PlateTable.h"
#include "measurement/SpreadsheetHandOff.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kalent {

class Connection;
class DataFolder;
class DesktopOpener;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The optical densities: reads the instrument's table ("G" asks, the
// 873-character reply D answers) into a PlateTable, saves its text (OPData)
// on request, and, with automatic reading and saving set, follows the
// "measured" notice G and saves under the instrument's 19-character name
// (reply 2) without being asked. Also hands OPData to the spreadsheet. File
// errors leave the table and the message pane as they were and are reported
// through fileError(). Nothing is ever written from an empty table (a read
// under way, or no table yet), and a file-name reply with no table received
// since the last automatic save writes nothing and says so. Holds no view:
// the reader page's presenter derives what the page shows from state().
class OpticalDensityReader : public QObject
{
    Q_OBJECT
public:
    // What the reader is and knows, as one value.
    struct State
    {
        // The last word on the instrument: the link check's, or a table or a
        // "measured" notice it sent (it is there, whatever the check said).
        bool instrumentPresent = true;
        // A complete table has arrived since the start; a new read under way
        // does not undo it.
        bool tableEverReceived = false;
        // Reads the table when the instrument says it measured one.
        bool autoRead = false;
        // Asks the table's name after each table and saves it under it.
        bool autoSave = false;

        bool operator==(const State &other) const
        {
            return instrumentPresent == other.instrumentPresent &&
                   tableEverReceived == other.tableEverReceived && autoRead == other.autoRead &&
                   autoSave == other.autoSave;
        }
    };

    OpticalDensityReader(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                         MessagePane &pane, Connection &connection, const DataFolder &dataFolder,
                         QObject *parent = nullptr);

    State state() const { return m_state; }
    // The last complete table; empty from the start of a read until its table
    // arrives (or, when the read fails, the last whole table again). What every
    // save, export and hand-off writes.
    const PlateTable &table() const { return m_table; }
    // The table's text, a blank for its "D" (OPData).
    QByteArray opData() const { return m_table.text(); }

    void setAutoRead(bool on);
    void setAutoSave(bool on);

    SpreadsheetHandOff &handOff() { return m_handOff; }
    // The file the spreadsheet hand-off writes ("TempBDTS.xls" in the data folder).
    QString excelTempFileName() const;

    // "Принять данные". The read's handle, whose finished is its one end; null
    // when it could not start (the pane says why).
    JobHandle *readTable();
    // "Данные в файл", after the operator chose a path in the save dialog.
    void saveChosen(const QString &path);
    // "Данные в Excel".
    void openTableInSpreadsheet(DesktopOpener &opener);
    // "Из файла в Excel", after the operator chose a file in the open dialog.
    void fileToExcelChosen(const QString &path, DesktopOpener &opener);

    // Reply handlers (the dispatcher calls them with each whole message, and
    // with the table's progress as it comes).
    void handleTableProgress(const ReplyProgress &table);
    void handleTable(const Message &table);
    void handleMeasured(const Message &notice);
    void handleFileName(const Message &reply);

Q_SIGNALS:
    void stateChanged();
    // A complete table arrived: table() holds it.
    void tableReceived();
    // A read (or the file name after it) ended without what it asked for: the
    // pane says why, the bar is back at 0 and table() is the last whole table.
    void readFailed(const kalent::JobResult &result);
    // The automatic save wrote this file (the table's title now names it).
    void autoSaved(const QString &path);
    void fileError(const QString &message);
    // The automatic save could not write path (after fileError): the bytes it
    // was to hold, so nothing received need be lost.
    void autoSaveFailed(const QString &path, const QByteArray &bytes, const QString &why);

private:
    // Null when another exchange holds the line: nothing is sent.
    JobHandle *startRead();
    void readEnded(const JobResult &result);
    // What the pane says of a table that did not come (have: what came of it).
    static QString failureText(const JobResult &result, int have);
    void setState(const State &state);
    void setInstrumentPresent(bool present);
    // True (and the operator told) when there is no complete table to write to path.
    bool refuseWithoutTable(const QString &path);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    SpreadsheetHandOff m_handOff;

    State m_state;
    PlateTable m_table;
    // The last whole table, kept while a new read runs: a read that fails
    // leaves it as the table.
    PlateTable m_lastWhole;
    // What came of the table being read.
    int m_tableHave = 0;
    // A complete table has arrived and no file-name reply has saved it yet.
    bool m_tableAwaitsName = false;
};

} // namespace kalent
