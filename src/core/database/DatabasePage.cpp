#include "database/DatabasePage.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/Clock.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "common/OperatorTexts.h"
#include "database/DatabaseBackup.h"
#include "database/DatabaseImage.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <utility>

namespace kalent {

using namespace DatabaseImage;

namespace {
const QString WrongFormat = QStringLiteral("Неверный формат файла.");
const QString Received = QStringLiteral("Принято из прибора страниц: ");
const QString NotRead = QStringLiteral("БД ТС из прибора не считана: ");
} // namespace

DatabasePage::DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                           Connection &connection, MessagePane &pane, Clock &clock,
                           const DataFolder &dataFolder, LastFileChoice &lastFile, QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_dataFolder(dataFolder),
      m_lastFile(lastFile), m_transfer(port, dispatcher, line, clock)
{
    connect(&m_transfer, &DatabaseTransfer::countAnswered, this,
            [this] { setStatus(DatabasePageTexts::readFromVirHint()); });
    connect(&m_transfer, &DatabaseTransfer::pageReceived, this, &DatabasePage::pageReceived);
    connect(&m_transfer, &DatabaseTransfer::pageSent, this,
            [this](int pageNo, int pageCount) { m_pane.setProgress(pageNo * 100 / pageCount); });
    connect(&m_transfer, &DatabaseTransfer::readEnded, this, &DatabasePage::readEnded);
    connect(&m_transfer, &DatabaseTransfer::writeEnded, this, &DatabasePage::writeEnded);
    for (DatabaseTreeModel *model : {&m_instrumentModel, &m_fileModel, &m_additionalModel})
        m_db.addObserver(model);
    // Whatever changed the selection or the trees, the selection model follows.
    connect(this, &DatabasePage::selectionChanged, this, &DatabasePage::mirrorSelection);
    connect(this, &DatabasePage::treesChanged, this, &DatabasePage::mirrorSelection);
    // A new search or a lost port may mean another instrument: its database
    // must be read again before a write can be backed up.
    connect(&connection, &Connection::searchStarted, this, [this] { m_lastRead.clear(); });
    connect(&connection, &Connection::portLost, this, [this] { m_lastRead.clear(); });
    connect(&connection, &Connection::lineChecked, this, [this](bool up) {
        if (!frameExists())
            return;
        m_state.readFromVirEnabled = up;
        publish();
    });
}

DatabasePage::~DatabasePage() = default;

void DatabasePage::setFrameQuery(std::function<bool()> query)
{
    m_frameQuery = std::move(query);
}

bool DatabasePage::frameExists() const
{
    return m_frameQuery && m_frameQuery();
}

QString DatabasePage::dialogFolder() const
{
    return m_dataFolder.ensureFilesInVirant();
}

void DatabasePage::setStatus(const QString &text)
{
    m_pane.setText(text);
}

void DatabasePage::deriveCaptions()
{
    // A list's caption counts its tree once the list has first been made; a
    // discarded file list keeps its tree, and so its count.
    const DatabaseList &vir = m_db.instrument();
    if (vir.exists())
        m_state.instrumentCaption = listCaption(InstrumentListName, vir.tsCount());
    if (m_fromFile)
        m_state.fileCaption = listCaption(FileListName, m_db.file().tsCount());
    const DatabaseList &add = m_db.additional();
    if (add.exists())
        m_state.additionalCaption = listCaption(AdditionalListName, add.tsCount());
}

void DatabasePage::mirrorSelection()
{
    QItemSelection rows;
    for (const NodePath &node : m_selection.nodes()) {
        const QModelIndex index = m_instrumentModel.indexOf(node);
        if (index.isValid())
            rows.select(index, index);
    }
    m_instrumentSelectionModel.select(rows, QItemSelectionModel::ClearAndSelect);
}

void DatabasePage::publish()
{
    deriveCaptions();
    Q_EMIT stateChanged();
}

void DatabasePage::deriveButtons()
{
    const bool reading = readInProgress();
    const DatabaseList &add = m_db.additional();
    m_state.saveToFileEnabled = m_db.instrument().exists() && !reading;
    m_state.deleteEnabled = m_selection.count() > 0 && !reading;
    m_state.writeInstrumentListEnabled = m_instrumentEdited && !reading;
    m_state.addEnabled =
        m_fromDevice && m_fromFile && add.exists() && add.tsCount() > 0 && !reading;
}

void DatabasePage::readInstrumentList()
{
    if (!m_port.isOpen()) {
        setStatus(OperatorTexts::portClosed());
        return;
    }
    // One exchange at a time: a read never starts over a write or another read.
    if (!m_transfer.startRead()) {
        setStatus(m_line.busyText());
        return;
    }
    // The tree is hidden until the read completes: nothing can be selected in it.
    m_selection.clear();
    m_state.virTreeVisible = false;
    deriveButtons();
    publish();
    Q_EMIT selectionChanged();
}

void DatabasePage::pageReceived(int pageNo, int pageCount)
{
    if (pageNo == pageCount - 2)
        setStatus(Received + QString::number(pageNo));
    if (pageNo < pageCount)
        m_pane.setProgress((pageNo + 1) * 100 / pageCount);
}

void DatabasePage::readEnded(JobOutcome outcome, const QByteArray &image, const QString &why)
{
    if (outcome != JobOutcome::Done) {
        if (why.isEmpty()) {
            // No pages announced: nothing more happens, the instrument list
            // stays, its tree hidden.
            ++m_readsFailed;
            deriveButtons();
            publish();
            Q_EMIT transferEnded(LineJob::DatabaseRead, outcome);
            if (m_pendingWrite)
                refuseWrite(*std::exchange(m_pendingWrite, std::nullopt),
                            QStringLiteral("прибор не сообщил число страниц БД ТС"));
            return;
        }
        failRead(why, outcome);
        return;
    }
    // Complete only when the last page closes the database: a count that does
    // not match the pages the instrument holds ends on a record page.
    const TestSystemDatabase::Taken taken = m_db.take(TestSystemDatabase::Which::Instrument, image);
    if (taken.fault != Fault::None) {
        failRead(NotRead + QStringLiteral("последняя страница не завершающая."));
        return;
    }
    // Kept as the list the read became (what "в файл..." saves): written back
    // through "из файла...", a backup then gives the instrument these very bytes.
    m_lastRead = m_db.instrument().image();
    instrumentListTaken(taken.passedOver, m_transfer.pageCount());
    Q_EMIT transferEnded(LineJob::DatabaseRead, JobOutcome::Done);
    // The read a write waited for: its backup can be saved now.
    if (m_pendingWrite)
        backUpAndWrite(*std::exchange(m_pendingWrite, std::nullopt));
}

void DatabasePage::failRead(const QString &text, JobOutcome outcome)
{
    ++m_readsFailed;
    m_pane.setProgress(0);
    setStatus(text);
    // The list read before is still the instrument list: it is shown again.
    m_state.virTreeVisible = true;
    deriveButtons();
    publish();
    Q_EMIT transferEnded(LineJob::DatabaseRead, outcome);
    if (m_pendingWrite)
        refuseWrite(*std::exchange(m_pendingWrite, std::nullopt),
                    QStringLiteral("БД ТС из прибора не считана"));
}

void DatabasePage::instrumentListTaken(int passedOver, int pagesReceived)
{
    const DatabaseList &list = m_db.instrument();
    m_selection.clear();
    writeListText(list.tree(), QStringLiteral("SpisokTSinVir.txt"));
    m_fromDevice = true;
    m_state.virTreeVisible = true;
    formAdditionalList();
    m_pane.setProgress(0);
    // The pages that came, as the failure message counts them too (the rebuilt
    // list may be shorter).
    setStatus(Received + QString::number(pagesReceived));
    if (passedOver > 0)
        setStatus(QStringLiteral("Пропущено ТС с неверным числом страниц: %1").arg(passedOver));
    ++m_readsCompleted;
    deriveButtons();
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::writeListText(const TSTree &tree, const QString &fileName)
{
    const QString error =
        AtomicFile::write(m_dataFolder.filePath(fileName), TestSystemDatabase::listText(tree));
    // Nothing reads the list back, so a failure is only a warning and the flow goes on.
    if (!error.isEmpty())
        Q_EMIT warningRaised(error);
}

void DatabasePage::formAdditionalList()
{
    if (m_db.FormAdditionalList() == TestSystemDatabase::AdditionalResult::NotFormed)
        return;
    deriveButtons();
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::saveInstrumentListTo(const QString &path)
{
    m_lastFile.remember(path);
    const DatabaseList &list = m_db.instrument();
    if (!list.exists())
        return;
    const QString error = AtomicFile::write(path, list.image());
    if (!error.isEmpty()) {
        Q_EMIT errorRaised(error);
        return;
    }
    setStatus(QStringLiteral("БД ТС записана в файл: ") + m_lastFile.name());
}

void DatabasePage::discardFileList()
{
    m_db.discardFile();
    deriveButtons();
    publish();
}

void DatabasePage::showFault(Fault fault, const QString &name)
{
    if (fault == Fault::NoSignature)
        setStatus(QStringLiteral("Файл ") + name + QStringLiteral(" не содержит БД ТС."));
    else
        setStatus(WrongFormat);
}

bool DatabasePage::openFileList(const QString &path)
{
    m_lastFile.remember(path);
    const QString name = m_lastFile.name();
    setStatus(QStringLiteral("Чтение из файла ") + name);
    // A rejected file must leave nothing behind that a write or the additional
    // list could draw on.
    discardFileList();
    // The header holds at most 999 pages: a larger file is no database, and a
    // wrong choice (a huge file, a device) is refused without being read whole.
    QByteArray bytes;
    if (const QString error = BoundedFile::read(path, pageStart(MaxPages), &bytes);
        !error.isEmpty()) {
        Q_EMIT errorRaised(error);
        publish();
        return false;
    }
    const TestSystemDatabase::Taken taken = m_db.take(TestSystemDatabase::Which::File, bytes);
    if (taken.fault != Fault::None) {
        if (taken.fault == Fault::NotClosed) {
            m_state.fileTreeVisible = false;
            m_state.addTreeVisible = false;
        }
        showFault(taken.fault, name);
        publish();
        return false;
    }
    const DatabaseList &list = m_db.file();
    m_fileSource = QStringLiteral("файл ") + QDir::toNativeSeparators(path);
    m_fromFile = true;
    setStatus(QStringLiteral("Считано из файла ") + name + QLatin1Char(' ') +
              QString::number(list.tsCount()) + QStringLiteral(" ТС"));
    if (taken.passedOver > 0)
        setStatus(
            QStringLiteral("Пропущено ТС с неверным числом страниц: %1").arg(taken.passedOver));
    m_state.fileTreeVisible = true;
    m_state.writeFileListEnabled = true;
    formAdditionalList();
    m_state.addTreeVisible = true;
    writeListText(list.tree(), QStringLiteral("SpisokTSinFile.txt"));
    deriveButtons();
    publish();
    Q_EMIT treesChanged();
    return true;
}

bool DatabasePage::takeInstrumentImage(const QByteArray &image, const QString &name)
{
    const TestSystemDatabase::Taken taken = m_db.take(TestSystemDatabase::Which::Instrument, image);
    if (taken.fault != Fault::None) {
        showFault(taken.fault, name);
        return false;
    }
    instrumentListTaken(taken.passedOver, static_cast<int>((image.size() - HeaderSize) / PageSize));
    return true;
}

void DatabasePage::writeToInstrument(Which which)
{
    // Every list the page holds is sound: its header, count and size agree and
    // it ends with its closing page, so it is sent as it stands.
    const DatabaseList &list = which == Which::FileList ? m_db.file() : m_db.instrument();
    if (!list.exists()) {
        setStatus(QStringLiteral("Список не считан из файла."));
        return;
    }
    if (!m_port.isOpen()) {
        setStatus(OperatorTexts::portClosed());
        return;
    }
    if (m_line.busy()) {
        setStatus(m_line.busyText());
        return;
    }
    const WriteRequest request{list.image(), list.pageCount(),
                               which == Which::FileList ? m_fileSource
                                                        : QStringLiteral("список прибора")};
    if (!m_backupBeforeWrite) {
        startWrite(request, QStringLiteral("резервная копия: не сохранялась (--no-backup)"));
        return;
    }
    if (!m_lastRead.isEmpty()) {
        backUpAndWrite(request);
        return;
    }
    // No complete read of this connection to back up: read the instrument's
    // database first; the write follows once it is complete.
    readInstrumentList();
    if (readInProgress())
        m_pendingWrite = request;
}

void DatabasePage::backUpAndWrite(const WriteRequest &request)
{
    const DatabaseBackup::Saved saved =
        DatabaseBackup::save(m_dataFolder, QDateTime::currentDateTime(), m_lastRead);
    if (!saved.error.isEmpty()) {
        refuseWrite(request, saved.error);
        return;
    }
    startWrite(request, DatabaseBackup::journalNote(saved.path, m_lastRead));
}

void DatabasePage::refuseWrite(const WriteRequest &request, const QString &why)
{
    QString reason = why;
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    const QString text = QStringLiteral("Резервная копия БД ТС прибора не сохранена: %1. "
                                        "Запись БД ТС в прибор не начата.")
                             .arg(reason);
    setStatus(text);
    Q_EMIT journalEvent(ServiceJournal::databaseWrite(
        request.source, request.pages, request.image,
        QStringLiteral("не начата: резервная копия не сохранена: ") + reason));
    deriveButtons();
    publish();
    Q_EMIT writeNotStarted(text);
}

void DatabasePage::startWrite(const WriteRequest &request, const QString &backupNote)
{
    // The journal is the service record: a write it cannot record does not start.
    const QString opening = ServiceJournal::databaseWrite(
        request.source, request.pages, request.image, QStringLiteral("начата"), backupNote);
    if (m_journalGate) {
        if (const QString why = m_journalGate(opening); !why.isEmpty()) {
            setStatus(why + QStringLiteral(". Запись БД ТС в прибор не начата."));
            Q_EMIT writeNotStarted(why);
            return;
        }
    } else {
        Q_EMIT journalEvent(opening);
    }
    if (!m_transfer.startWrite(request.image, request.pages)) {
        setStatus(m_line.busyText());
        Q_EMIT writeNotStarted(m_line.busyText());
        return;
    }
    setStatus(DatabasePageTexts::writeInstrumentListHint());
    m_outStream = request.image;
    m_pagesToSend = request.pages;
    m_writeSource = request.source;
    m_writeBackup = backupNote;
    deriveButtons();
    publish();
}

void DatabasePage::writeEnded(JobOutcome outcome, const QString &why)
{
    m_pane.setProgress(0);
    if (outcome != JobOutcome::Done) {
        setStatus(QStringLiteral("Запись БД ТС в прибор прервана: %1.").arg(why));
        Q_EMIT journalEvent(ServiceJournal::databaseWrite(m_writeSource, m_pagesToSend, m_outStream,
                                                          QStringLiteral("прервана: ") + why,
                                                          m_writeBackup));
        deriveButtons();
        publish();
        Q_EMIT transferEnded(LineJob::DatabaseWrite, outcome);
        return;
    }
    setStatus(QStringLiteral("Отправлено в прибор страниц: ") + QString::number(m_pagesToSend));
    ++m_writesCompleted;
    Q_EMIT journalEvent(ServiceJournal::databaseWrite(m_writeSource, m_pagesToSend, m_outStream,
                                                      QStringLiteral("прибор принял все страницы"),
                                                      m_writeBackup));
    Q_EMIT transferEnded(LineJob::DatabaseWrite, JobOutcome::Done);
    readInstrumentList();
}

bool DatabasePage::addToInstrumentList()
{
    const int adding = m_db.additional().tsCount();
    setStatus(QStringLiteral("Включение в список прибора дополнительно ") +
              QString::number(adding) + QStringLiteral(" ТС"));
    // During a read the instrument list is about to be replaced.
    if (readInProgress())
        return false;
    int pages = 0;
    switch (m_db.addAdditional(&pages)) {
    case TestSystemDatabase::AddResult::NothingToAdd:
        return false;
    case TestSystemDatabase::AddResult::TooManyPages:
        setStatus(QStringLiteral("Добавление отменено: в списке прибора было бы %1 страниц, "
                                 "а помещается не больше 999.")
                      .arg(pages));
        return false;
    case TestSystemDatabase::AddResult::Added:
        break;
    }
    setStatus(QStringLiteral("В список прибора добавлено ") + QString::number(adding) +
              QStringLiteral(" ТС"));
    m_selection.clear();
    formAdditionalList();
    m_instrumentEdited = true;
    deriveButtons();
    publish();
    Q_EMIT treesChanged();
    return true;
}

void DatabasePage::deleteSelected()
{
    // Without a list read there is nothing to delete from; during a read the
    // list is about to be replaced.
    if (!m_db.instrument().exists() || readInProgress())
        return;
    const int removed = m_db.removeNodes(m_selection.nodes());
    m_selection.clear();
    m_instrumentEdited = true;
    formAdditionalList();
    setStatus(QStringLiteral("Из списка прибора удалено ") + QString::number(removed) +
              QStringLiteral(" ТС"));
    deriveButtons();
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::clickInstrumentNode(const NodePath &node, TreeSelection::Click kind,
                                       const std::vector<NodePath> &visibleInOrder)
{
    if (readInProgress())
        return;
    if (!node.isEmpty() && instrumentTree().find(node))
        m_selection.click(node, kind, visibleInOrder);
    showSelectionCount(false);
}

void DatabasePage::instrumentNodeCollapsed(const std::vector<NodePath> &visibleInOrder)
{
    // Even an emptied selection is counted: the status must not go on naming
    // nodes that are no longer selected.
    if (m_selection.keepVisible(visibleInOrder))
        showSelectionCount(true);
}

void DatabasePage::selectInstrumentNodes(const std::vector<NodePath> &nodes)
{
    std::vector<NodePath> all;
    for (const TSNode *n : instrumentTree().nodesInOrder())
        all.push_back(n->path());
    m_selection.set(nodes, all);
    showSelectionCount(false);
}

void DatabasePage::showSelectionCount(bool evenNone)
{
    const int count = m_selection.count();
    if (count > 0 || evenNone)
        setStatus(QStringLiteral("Выбрано  позиций:") + QString::number(count) + QLatin1Char('.'));
    deriveButtons();
    publish();
    Q_EMIT selectionChanged();
}

} // namespace kalent
