#pragma once

#include "database/DatabasePageState.h"
#include "database/DatabaseService.h"
#include "database/DatabaseTreeModel.h"
#include "database/TestSystemDatabase.h"
#include "database/TreeSelection.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
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

// The database page without its widgets: the three lists, the selection in the
// instrument list, the edits, and the operator's seven requests. The jobs
// with the instrument are its DatabaseService's; a read becomes the instrument
// list only when it is complete, and until then, and after a read that fails,
// the previous list stays. While a write waits for its backup or runs, the
// lists it was taken from are not changed: another file and edits of the
// instrument list are refused with a text. Dialogs belong to the window: it
// asks dialogFolder(), then tells the chosen path. Messages go to the message
// pane; file-system failures are raised as errors.
class DatabasePage : public QObject
{
    Q_OBJECT
public:
    enum class Which { InstrumentList, FileList };

    DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                 Connection &connection, MessagePane &pane, Clock &clock,
                 const DataFolder &dataFolder, LastFileChoice &lastFile, QObject *parent = nullptr);
    ~DatabasePage() override;

    DatabaseService &service() { return m_service; }
    const DatabaseService &service() const { return m_service; }
    void setJournalGate(std::function<QString(const QString &line)> gate)
    {
        m_service.setJournalGate(std::move(gate));
    }
    void setBackupBeforeWrite(bool on) { m_service.setBackupBeforeWrite(on); }

    const DatabasePageState &state() const { return m_state; }
    const TestSystemDatabase &database() const { return m_db; }
    const TSTree &instrumentTree() const { return m_db.instrument().tree(); }
    const TSTree &fileTree() const { return m_db.file().tree(); }
    const TSTree &additionalTree() const { return m_db.additional().tree(); }
    // The selected nodes of the instrument list.
    const TreeSelection &selection() const { return m_selection; }
    // The three trees as item models over the lists: the views show exactly the lists.
    DatabaseTreeModel &instrumentModel() { return m_instrumentModel; }
    DatabaseTreeModel &fileModel() { return m_fileModel; }
    DatabaseTreeModel &additionalModel() { return m_additionalModel; }

    int readsCompleted() const { return m_service.readsCompleted(); }
    int writesCompleted() const { return m_service.writesCompleted(); }
    // Reads that ended without a list: the instrument list stayed as it was.
    int readsFailed() const { return m_service.readsFailed(); }
    bool readInProgress() const { return m_service.reading(); }
    bool writeInProgress() const { return m_service.phase() == DatabaseService::Phase::Writing; }
    bool writeWaitingForBackup() const
    {
        return m_service.phase() == DatabaseService::Phase::WaitingForBackup;
    }
    // The folder the open and save dialogs start in, created when missing.
    QString dialogFolder() const;
    // The folder the backups are saved in (where choosing one to restore starts).
    QString backupFolder() const;

    // The operator's requests.
    void readInstrumentList() { m_service.read(); }
    // Takes the list's image as it stands and writes it (a backup file as it
    // was read); false when refused at once (the pane says why).
    bool writeToInstrument(Which list);
    bool writeFileList() { return writeToInstrument(Which::FileList); }
    bool writeInstrumentList() { return writeToInstrument(Which::InstrumentList); }
    // Restores the instrument's database from a backup, wherever the file lies:
    // its pages go out exactly as the instrument once sent them (after a backup
    // of what it holds now, as for any write). The lists stay as they are.
    // False when the file is refused or the write at once (the pane says why).
    bool restoreFrom(const QString &path);
    // Before another file is chosen: the file list goes, and with it what the
    // additional list and a write could draw on. Refused (false, the pane says
    // why) while a write is ahead.
    bool discardFileList();
    // False when the addition was refused.
    bool addToInstrumentList();
    void deleteSelected();

    // The dialogs' accepted choices (a cancelled dialog asks nothing of the page).
    void saveInstrumentListTo(const QString &path);
    // True when the file passed its checks and became the file list.
    bool openFileList(const QString &path);

    // A click in the instrument list: selects as the tree does, then shows the count.
    void clickInstrumentNode(const NodePath &node, TreeSelection::Click kind,
                             const std::vector<NodePath> &visibleInOrder);
    // A node of the instrument list was collapsed: the nodes it hid leave the selection.
    void instrumentNodeCollapsed(const std::vector<NodePath> &visibleInOrder);
    // Sets the selection directly (nodes of the instrument tree), then shows the count.
    void selectInstrumentNodes(const std::vector<NodePath> &nodes);

    // Takes an image as if it had just been read from the instrument (the
    // command line's stand-in for a read). Checks it like a file (name is shown
    // in the messages); false when it fails.
    bool takeInstrumentImage(const QByteArray &image, const QString &name = QString());

Q_SIGNALS:
    void stateChanged();
    // A tree's nodes changed (the old nodes are gone).
    void treesChanged();
    // Only which nodes of the instrument list are selected changed.
    void selectionChanged();
    // A file that could not be read or written: the window shows a message box.
    void errorRaised(const QString &text);
    // A by-product could not be written (a list text file): the job itself went
    // on and succeeded.
    void warningRaised(const QString &text);
    // A read or write with the instrument ended, its texts on the pane; a read
    // is done only when its image became the instrument list.
    void transferEnded(kalent::LineJob job, kalent::JobOutcome outcome);

private:
    void readStarted();
    void readDone(const QByteArray &image, int pagesReceived);
    void instrumentListTaken(int passedOver, int pagesReceived);
    // A write is ahead: the lists it was taken from stay as they are (says so).
    bool refusedDuringWrite(const QString &what);
    void showFault(DatabaseImage::Fault fault, const QString &name);
    void rebuildAdditionalList();
    void showSelectionCount(bool evenNone);
    void writeListText(const TSTree &tree, const QString &fileName);
    void setStatus(const QString &text);
    // The state's counts follow the lists, its job the service.
    void publish();

    MessagePane &m_pane;
    const DataFolder &m_dataFolder;
    LastFileChoice &m_lastFile;
    DatabaseService m_service;

    TestSystemDatabase m_db;
    DatabaseTreeModel m_instrumentModel{m_db.instrument()};
    DatabaseTreeModel m_fileModel{m_db.file()};
    DatabaseTreeModel m_additionalModel{m_db.additional()};
    DatabasePageState m_state;
    TreeSelection m_selection;
    QString m_filePath; // the file the file list came from
};

} // namespace kalent
