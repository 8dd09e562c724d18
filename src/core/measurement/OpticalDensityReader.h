#pragma once

#include "link/ReplyEvents.h"
#include "measurement/SpreadsheetHandOff.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

namespace kalent {

class Connection;
class DataFolder;
class DesktopOpener;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The reader page: reads the instrument's table of optical densities ("G" asks,
// the 873-character reply D answers), shows its 96 values in StringGrid1, keeps
// the reply as OPData, saves it on request, and, with the check boxes set,
// follows the "measured" notice G and saves under the instrument's 19-character
// name (reply 2) without being asked. Also hands OPData to the spreadsheet.
// File errors leave OPData and the message pane as they were and are reported
// through fileError(). Nothing is ever written from an empty OPData (a read under
// way, or no table yet), and a file-name reply with no table received since the
// last automatic save writes nothing and says so.
class OpticalDensityReader : public QObject
{
    Q_OBJECT
public:
    static constexpr int GridColumns = 13;
    static constexpr int GridRows = 9;
    static constexpr int TableLength = ReplyLength::DensityBlock;
    static constexpr int FileNameLength = ReplyLength::FileName;

    OpticalDensityReader(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                         MessagePane &pane, Connection &connection, const DataFolder &dataFolder,
                         QObject *parent = nullptr);

    // StringGrid1: column 0 and row 0 are the headers.
    QString cell(int column, int row) const;
    // The text of the last complete table, with a blank for its "D"; what every
    // save and every hand-off writes.
    QByteArray opData() const { return m_opData; }

    bool readEnabled() const { return m_readEnabled; }               // btnReadOP
    bool saveEnabled() const { return m_saveEnabled; }               // btnSaveOP
    bool createExcelEnabled() const { return m_createExcelEnabled; } // btnCreateExcel
    bool fileToExcelEnabled() const { return true; }                 // btnFileToExcel
    bool autoRead() const { return m_autoRead; }                     // chckAutoReadOP
    bool autoSave() const { return m_autoSave; }                     // chckAutoSaveOP
    void setAutoRead(bool checked);
    void setAutoSave(bool checked);

    SpreadsheetHandOff &handOff() { return m_handOff; }
    // The file the spreadsheet hand-off writes ("TempBDTS.xls" in the data folder).
    QString excelTempFileName() const;

    // Empties the 96 value cells and writes the headers "A".."H" and "1".."12"
    // (every showing of the reader page).
    void labelGrid();

    // "Принять данные".
    void readTable();
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
    void gridChanged();
    // The headers were written afresh: the page widens its columns and panel.
    void gridLabelled();
    void stateChanged();
    void tableReceived();
    // The automatic save wrote this file.
    void autoSaved(const QString &path);
    void fileError(const QString &message);

private:
    void setCell(int column, int row, const QString &text);
    // False when another exchange holds the line: nothing is sent.
    bool startRead();
    void setReadEnabled(bool enabled);
    // True (and the operator told) when there is no complete table to write to path.
    bool refuseWithoutTable(const QString &path);

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    SpreadsheetHandOff m_handOff;

    QVector<QString> m_cells;
    QByteArray m_opData;
    // A complete table has arrived and no file-name reply has saved it yet.
    bool m_tableAwaitsName = false;
    bool m_readEnabled = true;
    bool m_saveEnabled = false;
    bool m_createExcelEnabled = false;
    bool m_autoRead = false;
    bool m_autoSave = false;
};

} // namespace kalent
