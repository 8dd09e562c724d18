#pragma once

#include "database/DatabasePageState.h"
#include "database/TestSystemDatabase.h"
#include "database/TreeSelection.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kalent {

class Connection;
class DataFolder;
class LastFileChoice;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;

// The database page without its widgets (TFrameBDTS mirrors it): the three
// lists, the page's captions and flags, the transfers with the instrument
// (replies R, r, m) and the flows behind the seven buttons. Dialogs belong to
// the frame: it asks dialogFolder(), then tells the chosen path or the cancel.
// Messages go to the message pane; file-system failures are raised as errors.
class DatabasePage : public QObject
{
    Q_OBJECT
public:
    enum class Which { InstrumentList, FileList };

    DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, Connection &connection,
                 MessagePane &pane, const DataFolder &dataFolder, LastFileChoice &lastFile,
                 QObject *parent = nullptr);

    // The window created the frame (FrameBDTS): from now on the link check
    // enables and disables btnReadBDTSFromVir.
    void frameCreated();
    bool frameExists() const { return m_frameExists; }

    const DatabasePageState &state() const { return m_state; }
    const TestSystemDatabase &database() const { return m_db; }
    const TSTree &instrumentTree() const { return m_db.instrument().tree; } // TreeViewVir
    const TSTree &fileTree() const { return m_db.file().tree; }             // TreeViewFile
    const TSTree &additionalTree() const { return m_db.additional().tree; } // TreeViewAdd
    bool fromDevice() const { return m_fromDevice; }                        // BDTSFromDevice
    bool fromFile() const { return m_fromFile; }                            // BDTSFromFile
    int pageNo() const { return m_pageNo; }
    int pagesToSend() const { return m_pagesToSend; }
    // Completed reads from the instrument and completed writes to it, since the start.
    int readsCompleted() const { return m_readsCompleted; }
    int writesCompleted() const { return m_writesCompleted; }
    // Page-count replies handled (a read that announced no pages ends there).
    int pageCountReplies() const { return m_pageCountReplies; }
    bool readInProgress() const { return m_reading; }
    bool writeInProgress() const { return m_writing; }
    // The folder the open and save dialogs start in, created when missing.
    QString dialogFolder() const;

    void ReadDatabaseFromDevice();
    void WriteDatabaseToDevice(Which list);

    // Buttons.
    void btnReadBDTSFromVirClick() { ReadDatabaseFromDevice(); }
    void btnSaveBDTSinFileClick() {}
    void btnReadBDTSFromFileClick();
    void btnWriteBDTSInVirClick() { WriteDatabaseToDevice(Which::FileList); }
    void btnSaveAddTsClick() { WriteDatabaseToDevice(Which::InstrumentList); }
    // False when the addition was refused.
    bool btnAddTSInVirClick();
    void btnDeleteTSClick();

    // Dialog outcomes.
    void saveDialogAccepted(const QString &path);
    void saveDialogCancelled() {}
    // True when the file passed its checks and became the file list.
    bool openDialogAccepted(const QString &path);
    void openDialogCancelled() {}

    // A click in TreeViewVir: selects as the tree does, then shows the count.
    void TreeViewVirClick(const TSNode *node, TreeSelection::Click kind,
                          const std::vector<const TSNode *> &visibleInOrder);
    // A node of TreeViewVir was collapsed: the nodes it hid leave the selection.
    void TreeViewVirCollapsed(const std::vector<const TSNode *> &visibleInOrder);
    // Sets the selection directly (a node per entry), then shows the count.
    void selectInstrumentNodes(const std::vector<const TSNode *> &nodes);

    // Takes an image as if it had just been read from the instrument (the
    // command line's stand-in for a read). Checks it like a file (name is shown
    // in the messages); false when it fails.
    bool takeInstrumentImage(const QByteArray &image, const QString &name = QString());

    // The replies R, r and m (registered with the dispatcher).
    void handlePageCountReply(QByteArray &inBuffer);
    void handlePageReply(QByteArray &inBuffer);
    void handlePageWantedReply(QByteArray &inBuffer);

Q_SIGNALS:
    void stateChanged();
    // A tree's nodes changed (the old nodes are gone).
    void treesChanged();
    // Only which nodes of TreeViewVir are selected changed.
    void selectionChanged();
    // A file that could not be read or written: the window shows a message box.
    void errorRaised(const QString &text);
    // A line for the service journal (a database written to the instrument).
    void journalEvent(const QString &line);

private:
    // The three checks of a .bdt image; sets the status and returns the page
    // count, or -1 when the image fails.
    int checkImage(const QByteArray &bytes, const QString &name);
    void finishRead();
    void formAdditionalList();
    void showSelectionCount();
    void writeListText(const TSTree &tree, const QString &fileName);
    void setStatus(const QString &text);
    void publish();
    void dropUnfinishedPage();
    TSNode *mutableNode(const TSNode *node) const { return const_cast<TSNode *>(node); }

    SerialPort &m_port;
    ReceiveDispatcher &m_dispatcher;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;

    TestSystemDatabase m_db;
    DatabasePageState m_state;
    TreeSelection m_selection;
    bool m_frameExists = false;
    bool m_fromDevice = false;
    bool m_fromFile = false;

    QByteArray m_header; // BDTSHeader
    bool m_reading = false;
    bool m_writing = false;
    QByteArray m_outStream; // BDTSOutStream
    QString m_fileSource;   // the file the file list came from (for the journal)
    QString m_writeSource;  // what the running write sends (for the journal)
    qint64 m_outPosition = 0;
    int m_pageNo = 0;
    int m_pagesToSend = 0;
    int m_readsCompleted = 0;
    int m_writesCompleted = 0;
    int m_pageCountReplies = 0;
};

} // namespace kalent
