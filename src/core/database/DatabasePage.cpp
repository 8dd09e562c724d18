#include "database/DatabasePage.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/Clock.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "database/DatabaseImage.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFile>

namespace kalent {

using namespace DatabaseImage;
using Code = ReceiveDispatcher::ReplyCode;

namespace {
const QString PortClosed = QStringLiteral("Порт отключен.");
const QString WrongFormat = QStringLiteral("Неверный формат файла.");
const QString Received = QStringLiteral("Принято из прибора страниц: ");
const QString NotRead = QStringLiteral("БД ТС из прибора не считана: ");

// "R", one character the program does not use, then the count as "%3d".
constexpr int FullCountReply = 5;
} // namespace

DatabasePage::DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, Connection &connection,
                           MessagePane &pane, Clock &clock, const DataFolder &dataFolder,
                           LastFileChoice &lastFile, QObject *parent)
    : QObject(parent), m_port(port), m_dispatcher(dispatcher), m_pane(pane),
      m_dataFolder(dataFolder), m_lastFile(lastFile), m_countRestWait(clock.createTimer()),
      m_readSilence(clock.createTimer())
{
    dispatcher.setReplyHandler(Code::PageCount, [this](QByteArray &b) { handlePageCountReply(b); });
    dispatcher.setReplyHandler(Code::DatabasePage, [this](QByteArray &b) { handlePageReply(b); });
    dispatcher.setReplyHandler(Code::PageWanted,
                               [this](QByteArray &b) { handlePageWantedReply(b); });
    for (DatabaseTreeModel *model : {&m_instrumentModel, &m_fileModel, &m_additionalModel})
        m_db.addObserver(model);
    // Whatever changed the selection or the trees, the selection model follows.
    connect(this, &DatabasePage::selectionChanged, this, &DatabasePage::mirrorSelection);
    connect(this, &DatabasePage::treesChanged, this, &DatabasePage::mirrorSelection);
    m_countRestWait->setSingleShot(true);
    m_readSilence->setSingleShot(true);
    connect(m_countRestWait.get(), &Timer::timeout, this, &DatabasePage::countRestWaited);
    connect(m_readSilence.get(), &Timer::timeout, this, &DatabasePage::readFellSilent);
    connect(&connection, &Connection::instrumentControlsEnabled, this, [this](bool up) {
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
        m_state.instrumentCaption = QStringLiteral("Список ТС в приборе (%1):").arg(vir.tsCount());
    if (m_fromFile)
        m_state.fileCaption = QStringLiteral("Список ТС в файле (%1):").arg(m_db.file().tsCount());
    const DatabaseList &add = m_db.additional();
    if (add.exists())
        m_state.additionalCaption =
            QStringLiteral("Дополнительный список ТС (%1):").arg(add.tsCount());
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

void DatabasePage::dropUnfinishedReply()
{
    // A page or count cut short (a glitch, the instrument switched off mid-read)
    // never completes: every later reply would be appended behind it and no read
    // or write could ever finish. The new request replaces that transfer anyway.
    const QByteArray &in = m_dispatcher.inBuffer();
    if (in.startsWith(char(Code::DatabasePage)) || in.startsWith(char(Code::PageCount)))
        m_dispatcher.clearInBuffer();
}

void DatabasePage::endTransfer()
{
    m_transfer = Transfer::None;
    m_countRestWait->stop();
    m_readSilence->stop();
    m_received.clear();
}

void DatabasePage::ReadDatabaseFromDevice()
{
    if (!m_port.isOpen()) {
        setStatus(PortClosed);
        return;
    }
    dropUnfinishedReply();
    // A new request restarts the transfer state, also in the middle of a write.
    endTransfer();
    m_transfer = Transfer::CountAsked;
    // The tree is hidden until the read completes: nothing can be selected in it.
    m_selection.clear();
    m_port.output(QByteArrayLiteral("R"));
    m_readSilence->start(ReadSilenceMs);
    m_state.virTreeVisible = false;
    deriveButtons();
    publish();
    Q_EMIT selectionChanged();
}

void DatabasePage::handlePageCountReply(QByteArray &inBuffer)
{
    setStatus(QStringLiteral("Чтение БД ТС из прибора."));
    // The count comes as three characters; a reply cut before them may be only
    // on its way (a line delivers in pieces), so the rest is waited for a moment.
    if (inBuffer.size() < FullCountReply) {
        m_countRestWait->start(CountRestWaitMs);
        return;
    }
    const QByteArray reply = inBuffer;
    inBuffer.clear();
    takePageCount(reply);
}

void DatabasePage::countRestWaited()
{
    if (!m_dispatcher.inBuffer().startsWith(char(Code::PageCount)))
        return;
    const QByteArray reply = m_dispatcher.inBuffer();
    m_dispatcher.clearInBuffer();
    takePageCount(reply);
}

void DatabasePage::takePageCount(const QByteArray &reply)
{
    m_countRestWait->stop();
    const std::optional<int> count = parseDecimal(reply.mid(2));
    if (!count) {
        failRead(QStringLiteral("Прибор ответил на запрос числа страниц БД ТС не числом."));
        return;
    }
    if (*count > MaxPages) {
        failRead(QStringLiteral("Прибор сообщил %1 страниц БД ТС: больше 999 не помещается в "
                                "заголовок, чтение отменено.")
                     .arg(*count));
        return;
    }
    if (*count < 1) {
        // Nothing more happens: the instrument list stays, its tree hidden.
        endTransfer();
        ++m_readsFailed;
        deriveButtons();
        publish();
        return;
    }
    endTransfer();
    m_transfer = Transfer::Reading;
    m_pagesExpected = *count;
    m_pageNo = 1;
    // The header always reads back as the count, whatever digits the reply carried.
    m_received = header(*count);
    m_readSilence->start(ReadSilenceMs);
    m_port.output(QByteArrayLiteral("r"));
}

void DatabasePage::handlePageReply(QByteArray &inBuffer)
{
    // A page nobody asked for is dropped instead of blocking every later reply.
    if (m_transfer != Transfer::Reading || m_pageNo > m_pagesExpected) {
        inBuffer.clear();
        return;
    }
    if (inBuffer.size() != 1 + PageSize)
        return;
    m_received.append(inBuffer.constData() + 1, PageSize);
    inBuffer.clear();
    m_readSilence->start(ReadSilenceMs);
    if (m_pageNo == m_pagesExpected - 2)
        setStatus(Received + QString::number(m_pageNo));
    if (m_pageNo == m_pagesExpected) {
        finishRead();
        return;
    }
    ++m_pageNo;
    m_pane.setProgress(m_pageNo * 100 / m_pagesExpected);
    m_port.output(QByteArrayLiteral("r"));
}

void DatabasePage::failRead(const QString &text)
{
    endTransfer();
    ++m_readsFailed;
    m_pane.setProgress(0);
    setStatus(text);
    // The list read before is still the instrument list: it is shown again.
    m_state.virTreeVisible = true;
    deriveButtons();
    publish();
}

void DatabasePage::readFellSilent()
{
    if (m_transfer == Transfer::CountAsked) {
        failRead(NotRead + QStringLiteral("прибор не ответил."));
    } else if (m_transfer == Transfer::Reading) {
        failRead(
            NotRead +
            QStringLiteral("принято страниц %1 из %2.").arg(m_pageNo - 1).arg(m_pagesExpected));
    }
}

void DatabasePage::finishRead()
{
    const QByteArray received = m_received;
    endTransfer();
    // Complete only when the last page closes the database: a count that does
    // not match the pages the instrument holds ends on a record page.
    const TestSystemDatabase::Taken taken =
        m_db.take(TestSystemDatabase::Which::Instrument, received);
    if (taken.fault != Fault::None) {
        failRead(NotRead + QStringLiteral("последняя страница не завершающая."));
        return;
    }
    instrumentListTaken(taken.passedOver);
}

void DatabasePage::instrumentListTaken(int passedOver)
{
    const DatabaseList &list = m_db.instrument();
    m_selection.clear();
    writeListText(list.tree(), QStringLiteral("SpisokTSinVir.txt"));
    m_fromDevice = true;
    m_state.virTreeVisible = true;
    formAdditionalList();
    m_pane.setProgress(0);
    setStatus(Received + QString::number(list.pageCount()));
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

void DatabasePage::saveDialogAccepted(const QString &path)
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

void DatabasePage::btnReadBDTSFromFileClick()
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

bool DatabasePage::openDialogAccepted(const QString &path)
{
    m_lastFile.remember(path);
    const QString name = m_lastFile.name();
    setStatus(QStringLiteral("Чтение из файла ") + name);
    // A rejected file must leave nothing behind that a write or the additional
    // list could draw on.
    btnReadBDTSFromFileClick();
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
    instrumentListTaken(taken.passedOver);
    return true;
}

void DatabasePage::WriteDatabaseToDevice(Which which)
{
    // Every list the page holds is sound: its header, count and size agree and
    // it ends with its closing page, so it is sent as it stands.
    const DatabaseList &list = which == Which::FileList ? m_db.file() : m_db.instrument();
    if (!list.exists()) {
        setStatus(QStringLiteral("Список не считан из файла."));
        return;
    }
    if (!m_port.isOpen()) {
        setStatus(PortClosed);
        return;
    }
    // The journal is the service record: a write it cannot record does not start.
    const QString source =
        which == Which::FileList ? m_fileSource : QStringLiteral("список прибора");
    const QString opening = ServiceJournal::databaseWrite(source, list.pageCount(), list.image(),
                                                          QStringLiteral("начата"));
    if (m_journalGate) {
        if (const QString why = m_journalGate(opening); !why.isEmpty()) {
            setStatus(why + QStringLiteral(". Запись БД ТС в прибор не начата."));
            return;
        }
    } else {
        Q_EMIT journalEvent(opening);
    }
    setStatus(QStringLiteral("Запись БД ТС в прибор."));
    dropUnfinishedReply();
    endTransfer();
    m_outStream = list.image();
    m_pagesToSend = list.pageCount();
    m_outPosition = HeaderSize;
    m_pageNo = 1;
    m_transfer = Transfer::Writing;
    m_writeSource = source;
    deriveButtons();
    publish();
    QByteArray start("M");
    start.append(static_cast<char>(m_pagesToSend / 256));
    start.append(static_cast<char>(m_pagesToSend % 256));
    m_port.output(start);
}

void DatabasePage::handlePageWantedReply(QByteArray &inBuffer)
{
    inBuffer.clear();
    if (m_transfer != Transfer::Writing)
        return;
    if (m_pagesToSend < m_pageNo) {
        endTransfer();
        m_pane.setProgress(0);
        setStatus(QStringLiteral("Отправлено в прибор страниц: ") + QString::number(m_pagesToSend));
        ++m_writesCompleted;
        Q_EMIT journalEvent(
            ServiceJournal::databaseWrite(m_writeSource, m_pagesToSend, m_outStream,
                                          QStringLiteral("прибор принял все страницы")));
        ReadDatabaseFromDevice();
        return;
    }
    m_port.output(QByteArrayLiteral("m"));
    // One output() call per byte; the port buffers the calls, so on the line
    // the marker and the page leave as one stream, not byte by byte.
    for (int i = 0; i < PageSize; ++i)
        m_port.output(m_outStream.mid(m_outPosition + i, 1));
    m_outPosition += PageSize;
    m_pane.setProgress(m_pageNo * 100 / m_pagesToSend);
    ++m_pageNo;
}

bool DatabasePage::btnAddTSInVirClick()
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

void DatabasePage::btnDeleteTSClick()
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

void DatabasePage::TreeViewVirClick(const NodePath &node, TreeSelection::Click kind,
                                    const std::vector<NodePath> &visibleInOrder)
{
    if (readInProgress())
        return;
    if (!node.isEmpty() && instrumentTree().find(node))
        m_selection.click(node, kind, visibleInOrder);
    showSelectionCount(false);
}

void DatabasePage::TreeViewVirCollapsed(const std::vector<NodePath> &visibleInOrder)
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
