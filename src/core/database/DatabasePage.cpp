#include "database/DatabasePage.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "database/DatabaseBackup.h"
#include "database/DatabaseImage.h"
#include "journal/DataRecords.h"

#include <QDir>

namespace kalent {

using namespace DatabaseImage;

namespace {
const QString WrongFormat = QStringLiteral("Неверный формат файла.");
const QString Received = QStringLiteral("Принято из прибора страниц: ");
} // namespace

DatabasePage::DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                           Connection &connection, MessagePane &pane, Clock &clock,
                           const DataFolder &dataFolder, LastFileChoice &lastFile, QObject *parent)
    : QObject(parent), m_pane(pane), m_dataFolder(dataFolder), m_lastFile(lastFile),
      m_service(port, dispatcher, line, connection, pane, clock, dataFolder)
{
    for (DatabaseTreeModel *model : {&m_instrumentModel, &m_fileModel, &m_additionalModel})
        m_db.addObserver(model);
    connect(&m_service, &DatabaseService::stateChanged, this, &DatabasePage::publish);
    connect(&m_service, &DatabaseService::readStarted, this, &DatabasePage::readStarted);
    connect(&m_service, &DatabaseService::readDone, this, &DatabasePage::readDone);
    connect(&m_service, &DatabaseService::readFailed, this, [this](bool noPages) {
        // The list read before is still the instrument list: it is shown again
        // (an instrument that announced no pages changes nothing shown).
        if (!noPages)
            m_state.instrumentTreeShown = true;
        publish();
    });
    connect(&m_service, &DatabaseService::jobEnded, this,
            [this](LineJob job, JobOutcome outcome) { Q_EMIT transferEnded(job, outcome); });
}

DatabasePage::~DatabasePage() = default;

QString DatabasePage::dialogFolder() const
{
    return m_dataFolder.ensureFilesInVirant();
}

QString DatabasePage::backupFolder() const
{
    return DatabaseBackup::folder(m_dataFolder);
}

void DatabasePage::setStatus(const QString &text)
{
    m_pane.setText(text);
}

void DatabasePage::publish()
{
    const DatabaseList &vir = m_db.instrument();
    const DatabaseList &add = m_db.additional();
    m_state.job = m_service.phase();
    m_state.instrumentListExists = vir.exists();
    if (vir.exists())
        m_state.instrumentTs = vir.tsCount();
    if (m_state.fromFile)
        m_state.fileTs = m_db.file().tsCount();
    if (add.exists())
        m_state.additionalTs = add.tsCount();
    m_state.selected = m_selection.count();
    Q_EMIT stateChanged();
}

void DatabasePage::readStarted()
{
    // The tree is hidden until the read completes: nothing can be selected in it.
    m_selection.clear();
    m_state.instrumentTreeShown = false;
    publish();
    Q_EMIT selectionChanged();
}

void DatabasePage::readDone(const QByteArray &image, int pagesReceived)
{
    // The service passed the image through the same checks: it becomes the
    // list, parsed and rebuilt (sorted, repeats and stray pages gone).
    const TestSystemDatabase::Taken taken = m_db.take(TestSystemDatabase::Which::Instrument, image);
    if (taken.fault == Fault::None)
        instrumentListTaken(taken.passedOver, pagesReceived);
}

void DatabasePage::instrumentListTaken(int passedOver, int pagesReceived)
{
    const DatabaseList &list = m_db.instrument();
    m_selection.clear();
    writeListText(list.tree(), QStringLiteral("SpisokTSinVir.txt"));
    m_state.fromDevice = true;
    m_state.instrumentTreeShown = true;
    rebuildAdditionalList();
    m_pane.setProgress(0);
    // The pages that came, as the failure message counts them too (the rebuilt
    // list may be shorter).
    setStatus(Received + QString::number(pagesReceived));
    if (passedOver > 0)
        setStatus(QStringLiteral("Пропущено ТС с неверным числом страниц: %1").arg(passedOver));
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

void DatabasePage::rebuildAdditionalList()
{
    if (m_db.buildAdditionalList() == TestSystemDatabase::AdditionalResult::NotFormed)
        return;
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::saveInstrumentListTo(const QString &path)
{
    m_lastFile.remember(path);
    const DatabaseList &list = m_db.instrument();
    if (!list.exists())
        return;
    // A backup or the journal chosen in the dialog stays as it is.
    if (const QString refusal = DataRecords::saveRefusal(m_dataFolder.path(), path);
        !refusal.isEmpty()) {
        Q_EMIT errorRaised(refusal);
        return;
    }
    const QString error = AtomicFile::write(path, list.image());
    if (!error.isEmpty()) {
        Q_EMIT errorRaised(error);
        return;
    }
    setStatus(QStringLiteral("БД ТС записана в файл: ") + m_lastFile.name());
}

bool DatabasePage::refusedDuringWrite(const QString &what)
{
    if (!m_service.writeAhead())
        return false;
    setStatus(what + QStringLiteral(": идёт запись БД ТС в прибор, после неё список прибора "
                                    "будет считан из прибора заново."));
    return true;
}

bool DatabasePage::discardFileList()
{
    // The file list shown must stay the one being written.
    if (refusedDuringWrite(QStringLiteral("Другой файл не открыт")))
        return false;
    m_db.discardFile();
    publish();
    return true;
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
    if (refusedDuringWrite(QStringLiteral("Другой файл не открыт")))
        return false;
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
            m_state.fileTreeShown = false;
            m_state.additionalTreeShown = false;
        }
        showFault(taken.fault, name);
        publish();
        return false;
    }
    const DatabaseList &list = m_db.file();
    m_filePath = path;
    m_state.fromFile = true;
    setStatus(QStringLiteral("Считано из файла ") + name + QLatin1Char(' ') +
              QString::number(list.tsCount()) + QStringLiteral(" ТС"));
    if (taken.passedOver > 0)
        setStatus(
            QStringLiteral("Пропущено ТС с неверным числом страниц: %1").arg(taken.passedOver));
    m_state.fileTreeShown = true;
    rebuildAdditionalList();
    m_state.additionalTreeShown = true;
    writeListText(list.tree(), QStringLiteral("SpisokTSinFile.txt"));
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

bool DatabasePage::writeToInstrument(Which which)
{
    // Every list the page holds is sound: its header, count and size agree and
    // it ends with its closing page, so it is sent as it stands.
    const DatabaseList &list = which == Which::FileList ? m_db.file() : m_db.instrument();
    if (!list.exists()) {
        setStatus(QStringLiteral("Список не считан из файла."));
        return false;
    }
    DatabaseWriteInput input;
    input.tsCount = list.tsCount();
    if (which == Which::InstrumentList) {
        input.origin = DatabaseWriteInput::Origin::InstrumentList;
    } else {
        input.origin = DatabaseWriteInput::Origin::FileList;
        input.path = m_filePath;
    }
    input.image = list.image();
    input.pages = static_cast<int>((input.image.size() - HeaderSize) / PageSize);
    return m_service.write(std::move(input));
}

bool DatabasePage::restoreFrom(const QString &path)
{
    m_lastFile.remember(path);
    QByteArray bytes;
    if (const QString error = BoundedFile::read(path, pageStart(MaxPages), &bytes);
        !error.isEmpty()) {
        Q_EMIT errorRaised(error);
        return false;
    }
    // The same checks as any file; the lists are left as they are.
    int pages = 0;
    if (const Fault fault = check(bytes, &pages); fault != Fault::None) {
        if (fault == Fault::NoSignature)
            setStatus(QStringLiteral("Файл ") + m_lastFile.name() +
                      QStringLiteral(" не содержит БД ТС."));
        else
            setStatus(WrongFormat + QLatin1Char(' ') + m_lastFile.name());
        return false;
    }
    // A backup undoes a write only as the instrument sent it: its pages go back
    // unsorted, repeats and pages of other kinds included, and nothing that
    // follows the closing page (the instrument never had it).
    DatabaseWriteInput input;
    input.origin = DatabaseWriteInput::Origin::Backup;
    input.path = path;
    input.image = bytes.left(pageStart(pages));
    input.pages = pages;
    return m_service.write(std::move(input));
}

bool DatabasePage::addToInstrumentList()
{
    if (refusedDuringWrite(QStringLiteral("Список прибора не дополнен")))
        return false;
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
    rebuildAdditionalList();
    m_state.instrumentEdited = true;
    publish();
    Q_EMIT treesChanged();
    return true;
}

void DatabasePage::deleteSelected()
{
    if (refusedDuringWrite(QStringLiteral("Из списка прибора ничего не удалено")))
        return;
    // Without a list read there is nothing to delete from; during a read the
    // list is about to be replaced.
    if (!m_db.instrument().exists() || readInProgress())
        return;
    const int removed = m_db.removeNodes(m_selection.nodes());
    m_selection.clear();
    m_state.instrumentEdited = true;
    rebuildAdditionalList();
    setStatus(QStringLiteral("Из списка прибора удалено ") + QString::number(removed) +
              QStringLiteral(" ТС"));
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
    // While a write is ahead the pane tells the write's progress, not a click.
    if ((count > 0 || evenNone) && !m_service.writeAhead())
        setStatus(QStringLiteral("Выбрано  позиций:") + QString::number(count) + QLatin1Char('.'));
    publish();
    Q_EMIT selectionChanged();
}

} // namespace kalent
