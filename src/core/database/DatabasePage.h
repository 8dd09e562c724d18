#pragma once

#include "database/DatabasePageState.h"
#include "database/DatabaseTransfer.h"
#include "database/DatabaseTreeModel.h"
#include "database/TestSystemDatabase.h"
#include "database/TreeSelection.h"
#include "link/LineOwner.h"

#include <QByteArray>
#include <QItemSelectionModel>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kalent {

class Clock;
class Connection;
class DataFolder;
class LastFileChoice;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;
class Timer;

// The database page without its widgets (DatabasePageView mirrors it): the three
// lists, the page's captions and flags, and the flows behind the seven buttons.
// The bytes and pages exchanged with the instrument are its DatabaseTransfer's;
// the page starts the transfers and shows what they bring and how they end. A read becomes the
// instrument list only when it is complete (its last page the closing page);
// until then, and after a read that fails, the previous list stays. Dialogs belong to
// the frame: it asks dialogFolder(), then tells the chosen path or the cancel.
// Messages go to the message pane; file-system failures are raised as errors.
class DatabasePage : public QObject
{
    Q_OBJECT
public:
    enum class Which { InstrumentList, FileList };

    DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                 Connection &connection, MessagePane &pane, Clock &clock,
                 const DataFolder &dataFolder, LastFileChoice &lastFile, QObject *parent = nullptr);
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
    int pageNo() const { return m_transfer.pageNo(); }
    // The reads and writes with the instrument (bytes, pages and their outcomes).
    DatabaseTransfer &transfer() { return m_transfer; }
    // Completed reads from the instrument and completed writes to it, since the start.
    int readsCompleted() const { return m_readsCompleted; }
    int writesCompleted() const { return m_writesCompleted; }
    // Reads that ended without a list: refused, announced no pages, or the
    // instrument fell silent. The instrument list stayed as it was.
    int readsFailed() const { return m_readsFailed; }
    // From the page-count request until the read completes or fails.
    bool readInProgress() const { return m_transfer.reading(); }
    bool writeInProgress() const { return m_transfer.writing(); }
    // A write was asked for and waits for the read of its backup.
    bool writeWaitingForBackup() const { return m_pendingWrite.has_value(); }
    // Whether every write first saves the instrument's current database under
    // backups/ (on unless the command line says --no-backup).
    void setBackupBeforeWrite(bool on) { m_backupBeforeWrite = on; }
    // The folder the open and save dialogs start in, created when missing.
    QString dialogFolder() const;

    // The operator's requests, one for each button of the page.
    void readInstrumentList();
    void writeToInstrument(Which list);
    // Before another file is chosen: the file list goes, and with it what the
    // additional list and a write could draw on. A cancelled choice leaves it so.
    void discardFileList();
    void writeFileList() { writeToInstrument(Which::FileList); }
    void writeInstrumentList() { writeToInstrument(Which::InstrumentList); }
    // False when the addition was refused.
    bool addToInstrumentList();
    void deleteSelected();

    // The dialogs' accepted choices (a cancelled dialog asks nothing of the page).
    void saveInstrumentListTo(const QString &path);
    // True when the file passed its checks and became the file list.
    bool openFileList(const QString &path);

    // A click in TreeViewVir: selects as the tree does, then shows the count.
    void clickInstrumentNode(const NodePath &node, TreeSelection::Click kind,
                             const std::vector<NodePath> &visibleInOrder);
    // A node of TreeViewVir was collapsed: the nodes it hid leave the selection.
    void instrumentNodeCollapsed(const std::vector<NodePath> &visibleInOrder);
    // Sets the selection directly (nodes of the instrument tree), then shows the count.
    void selectInstrumentNodes(const std::vector<NodePath> &nodes);

    // Takes an image as if it had just been read from the instrument (the
    // command line's stand-in for a read). Checks it like a file (name is shown
    // in the messages); false when it fails.
    bool takeInstrumentImage(const QByteArray &image, const QString &name = QString());

    // The replies R, r and m, as the transfer hears them.
    void handlePageCountReply(const Message &reply) { m_transfer.handlePageCountReply(reply); }
    void handlePageReply(const Message &page) { m_transfer.handlePageReply(page); }
    void handlePageWantedReply(const Message &wanted) { m_transfer.handlePageWantedReply(wanted); }

    static constexpr int ReadSilenceMs = DatabaseTransfer::ReadSilenceMs;

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
    // A read or write with the instrument ended, its texts on the pane; a read
    // is done only when its image became the instrument list.
    void transferEnded(kalent::LineJob job, kalent::JobOutcome outcome);
    // A write was asked for but never started: its backup could not be saved
    // (why says so, as the pane does).
    void writeNotStarted(const QString &why);

private:
    // A write as asked for: what goes to the instrument, and from where.
    struct WriteRequest
    {
        QByteArray image;
        int pages = 0;
        QString source;
    };
    // Saves the last complete read as the backup, then starts the write; a
    // backup that cannot be saved stops it.
    void backUpAndWrite(const WriteRequest &request);
    void startWrite(const WriteRequest &request, const QString &backupNote);
    void refuseWrite(const WriteRequest &request, const QString &why);
    void readEnded(JobOutcome outcome, const QByteArray &image, const QString &why);
    void writeEnded(JobOutcome outcome, const QString &why);
    void pageReceived(int pageNo, int pageCount);
    // A read that ends without a list: the message, the old list shown again.
    void failRead(const QString &text, JobOutcome outcome = JobOutcome::Failed);
    void instrumentListTaken(int passedOver, int pagesReceived);
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

    SerialPort &m_port;
    LineOwner &m_line;
    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;
    DatabaseTransfer m_transfer;

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

    // The instrument list as the last complete read of this connection made it
    // (empty: none since the port opened or the search began).
    QByteArray m_lastRead;
    bool m_backupBeforeWrite = true;
    std::optional<WriteRequest> m_pendingWrite;
    QString m_writeBackup;  // the running write's backup note (for the journal)
    QString m_fileSource;   // the file the file list came from (for the journal)
    QString m_writeSource;  // what the running write sends (for the journal)
    QByteArray m_outStream; // the running write's image (for the journal)
    int m_pagesToSend = 0;
    int m_readsCompleted = 0;
    int m_readsFailed = 0;
    int m_writesCompleted = 0;
};

} // namespace kalent
