#pragma once

#include "database/DatabasePageState.h"
#include "database/DatabaseTreeModel.h"
#include "database/TestSystemDatabase.h"
#include "database/TreeSelection.h"

#include <QByteArray>
#include <QItemSelectionModel>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kalent {

class Clock;
class Connection;
class DataFolder;
class LastFileChoice;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;
class Timer;

// The database page without its widgets (TFrameBDTS mirrors it): the three
// lists, the page's captions and flags, the transfers with the instrument
// (replies R, r, m) and the flows behind the seven buttons. A read becomes the
// instrument list only when it is complete (its last page the closing page);
// until then, and after a read that fails, the previous list stays. Dialogs belong to
// the frame: it asks dialogFolder(), then tells the chosen path or the cancel.
// Messages go to the message pane; file-system failures are raised as errors.
class DatabasePage : public QObject
{
    Q_OBJECT
public:
    enum class Which { InstrumentList, FileList };

    DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, Connection &connection,
                 MessagePane &pane, Clock &clock, const DataFolder &dataFolder,
                 LastFileChoice &lastFile, QObject *parent = nullptr);
    ~DatabasePage() override;

    // The page navigator's answer to "has the frame (FrameBDTS) been made":
    // from then on the link check enables and disables btnReadBDTSFromVir.
    void setFrameQuery(std::function<bool()> query);
    // Where a write's opening journal line goes; without it the line is only
    // announced (journalEvent) and the write always starts.
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_journalGate = std::move(gate);
    }
    bool frameExists() const;

    const DatabasePageState &state() const { return m_state; }
    const TestSystemDatabase &database() const { return m_db; }
    const TSTree &instrumentTree() const { return m_db.instrument().tree(); } // TreeViewVir
    const TSTree &fileTree() const { return m_db.file().tree(); }             // TreeViewFile
    const TSTree &additionalTree() const { return m_db.additional().tree(); } // TreeViewAdd
    // The selected nodes of TreeViewVir.
    const TreeSelection &selection() const { return m_selection; }
    // The three trees as item models over the lists (the views show exactly the
    // lists), and TreeViewVir's selection as a selection model that follows
    // selection(): the views draw it, the page alone changes it.
    DatabaseTreeModel &instrumentModel() { return m_instrumentModel; }
    DatabaseTreeModel &fileModel() { return m_fileModel; }
    DatabaseTreeModel &additionalModel() { return m_additionalModel; }
    QItemSelectionModel &instrumentSelectionModel() { return m_instrumentSelectionModel; }
    int pageNo() const { return m_pageNo; }
    // Completed reads from the instrument and completed writes to it, since the start.
    int readsCompleted() const { return m_readsCompleted; }
    int writesCompleted() const { return m_writesCompleted; }
    // Reads that ended without a list: refused, announced no pages, or the
    // instrument fell silent. The instrument list stayed as it was.
    int readsFailed() const { return m_readsFailed; }
    // From the page-count request until the read completes or fails.
    bool readInProgress() const
    {
        return m_transfer == Transfer::CountAsked || m_transfer == Transfer::Reading;
    }
    bool writeInProgress() const { return m_transfer == Transfer::Writing; }
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
    void TreeViewVirClick(const NodePath &node, TreeSelection::Click kind,
                          const std::vector<NodePath> &visibleInOrder);
    // A node of TreeViewVir was collapsed: the nodes it hid leave the selection.
    void TreeViewVirCollapsed(const std::vector<NodePath> &visibleInOrder);
    // Sets the selection directly (nodes of the instrument tree), then shows the count.
    void selectInstrumentNodes(const std::vector<NodePath> &nodes);

    // Takes an image as if it had just been read from the instrument (the
    // command line's stand-in for a read). Checks it like a file (name is shown
    // in the messages); false when it fails.
    bool takeInstrumentImage(const QByteArray &image, const QString &name = QString());

    // The replies R, r and m (registered with the dispatcher).
    void handlePageCountReply(QByteArray &inBuffer);
    void handlePageReply(QByteArray &inBuffer);
    void handlePageWantedReply(QByteArray &inBuffer);

    // How long the rest of a page-count reply cut short ("R" and fewer than three
    // count characters) is waited for, and how long a read waits for the
    // instrument's next reply before it is given up.
    static constexpr int CountRestWaitMs = 100;
    static constexpr int ReadSilenceMs = 5000;

Q_SIGNALS:
    void stateChanged();
    // A tree's nodes changed (the old nodes are gone).
    void treesChanged();
    // Only which nodes of TreeViewVir are selected changed.
    void selectionChanged();
    // A file that could not be read or written: the window shows a message box.
    void errorRaised(const QString &text);
    // A by-product could not be written (a list text file): the job itself went
    // on and succeeded.
    void warningRaised(const QString &text);
    // A line for the service journal (a database written to the instrument).
    void journalEvent(const QString &line);

private:
    enum class Transfer { None, CountAsked, Reading, Writing };

    void takePageCount(const QByteArray &reply);
    void countRestWaited();
    void finishRead();
    void readFellSilent();
    // A read that ends without a list: the message, the old list shown again.
    void failRead(const QString &text);
    void endTransfer();
    // The instrument list has been replaced by a sound one.
    void instrumentListTaken(int passedOver);
    void showFault(DatabaseImage::Fault fault, const QString &name);
    void formAdditionalList();
    void showSelectionCount(bool evenNone);
    // The buttons that follow the lists, the selection and the transfer.
    void deriveButtons();
    void writeListText(const TSTree &tree, const QString &fileName);
    void setStatus(const QString &text);
    // The captions count the lists' test systems.
    void deriveCaptions();
    void mirrorSelection();
    void publish();
    void dropUnfinishedReply();

    SerialPort &m_port;
    ReceiveDispatcher &m_dispatcher;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;
    std::unique_ptr<Timer> m_countRestWait;
    std::unique_ptr<Timer> m_readSilence;

    TestSystemDatabase m_db;
    DatabaseTreeModel m_instrumentModel{m_db.instrument()};
    DatabaseTreeModel m_fileModel{m_db.file()};
    DatabaseTreeModel m_additionalModel{m_db.additional()};
    QItemSelectionModel m_instrumentSelectionModel{&m_instrumentModel};
    DatabasePageState m_state;
    TreeSelection m_selection;
    std::function<bool()> m_frameQuery;
    std::function<QString(const QString &line)> m_journalGate;
    bool m_fromDevice = false;
    bool m_fromFile = false;
    // btnSaveAddTs: the instrument list has been added to or deleted from.
    bool m_instrumentEdited = false;

    Transfer m_transfer = Transfer::None;
    int m_pagesExpected = 0;
    QByteArray m_received;  // the read under way: header, then the pages so far
    QByteArray m_outStream; // BDTSOutStream
    QString m_fileSource;   // the file the file list came from (for the journal)
    QString m_writeSource;  // what the running write sends (for the journal)
    qint64 m_outPosition = 0;
    int m_pageNo = 0;
    int m_pagesToSend = 0;
    int m_readsCompleted = 0;
    int m_readsFailed = 0;
    int m_writesCompleted = 0;
};

} // namespace kalent
