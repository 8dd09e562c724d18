#include "database/DatabasePage.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
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

namespace {
const QString PortClosed = QStringLiteral("Порт отключен.");
const QString WrongFormat = QStringLiteral("Неверный формат файла.");
const QString ListError = QStringLiteral("Ошибка в создании списка.");
const QString Received = QStringLiteral("Принято из прибора страниц: ");
} // namespace

DatabasePage::DatabasePage(SerialPort &port, ReceiveDispatcher &dispatcher, Connection &connection,
                           MessagePane &pane, const DataFolder &dataFolder,
                           LastFileChoice &lastFile, QObject *parent)
    : QObject(parent), m_port(port), m_dispatcher(dispatcher), m_pane(pane),
      m_dataFolder(dataFolder), m_lastFile(lastFile)
{
    dispatcher.setReplyHandler('R', [this](QByteArray &b) { handlePageCountReply(b); });
    dispatcher.setReplyHandler('r', [this](QByteArray &b) { handlePageReply(b); });
    dispatcher.setReplyHandler('m', [this](QByteArray &b) { handlePageWantedReply(b); });
    connect(&connection, &Connection::instrumentControlsEnabled, this, [this](bool up) {
        if (!m_frameExists)
            return;
        m_state.readFromVirEnabled = up;
        publish();
    });
}

void DatabasePage::frameCreated()
{
    m_frameExists = true;
}

QString DatabasePage::dialogFolder() const
{
    return m_dataFolder.ensureFilesInVirant();
}

void DatabasePage::setStatus(const QString &text)
{
    m_pane.setText(text);
}

void DatabasePage::publish()
{
    Q_EMIT stateChanged();
}

void DatabasePage::dropUnfinishedPage()
{
    // A page cut short (a glitch, the instrument switched off mid-read) never
    // completes: every later reply would be appended behind it and no read or
    // write could ever finish. The new request replaces that transfer anyway.
    if (m_dispatcher.inBuffer().startsWith('r'))
        m_dispatcher.clearInBuffer();
}

void DatabasePage::ReadDatabaseFromDevice()
{
    if (!m_port.isOpen()) {
        setStatus(PortClosed);
        return;
    }
    dropUnfinishedPage();
    // A new request restarts the transfer state, also in the middle of a write.
    m_writing = false;
    m_header = signature();
    m_port.output(QByteArrayLiteral("R"));
    m_state.virTreeVisible = false;
    publish();
}

void DatabasePage::handlePageCountReply(QByteArray &inBuffer)
{
    setStatus(QStringLiteral("Чтение БД ТС из прибора."));
    // "R", one unused character, then the digits: without digits yet the reply
    // is still on its way.
    if (inBuffer.size() < 3)
        return;
    const std::optional<int> count = parseDecimal(inBuffer.mid(2));
    inBuffer.clear();
    ++m_pageCountReplies;
    m_reading = false;
    if (!count) {
        setStatus(QStringLiteral("Прибор ответил на запрос числа страниц БД ТС не числом."));
        return;
    }
    if (*count > MaxPages) {
        setStatus(QStringLiteral("Прибор сообщил %1 страниц БД ТС: больше 999 не помещается в "
                                 "заголовок, чтение отменено.")
                      .arg(*count));
        return;
    }
    DatabaseList &list = m_db.instrument();
    list.pageCount = *count;
    if (*count < 1)
        return;
    // The header always reads back as the count, whatever digits the reply carried.
    m_header = header(*count);
    m_pageNo = 1;
    list.tsCount = 0;
    list.setImage(m_header.left(HeaderSize));
    list.locators.assign(static_cast<size_t>(*count), TSLocator{});
    m_reading = true;
    m_port.output(QByteArrayLiteral("r"));
}

void DatabasePage::handlePageReply(QByteArray &inBuffer)
{
    DatabaseList &list = m_db.instrument();
    // A page nobody asked for is dropped instead of blocking every later reply.
    if (!m_reading || m_pageNo > list.pageCount) {
        inBuffer.clear();
        return;
    }
    if (inBuffer.size() != 1 + PageSize)
        return;
    list.image.append(inBuffer.constData() + 1, PageSize);
    if (m_pageNo == list.pageCount - 2)
        setStatus(Received + QString::number(m_pageNo));
    if (m_pageNo == list.pageCount) {
        inBuffer.clear();
        finishRead();
        return;
    }
    ++m_pageNo;
    m_pane.setProgress(m_pageNo * 100 / list.pageCount);
    inBuffer.clear();
    m_port.output(QByteArrayLiteral("r"));
}

void DatabasePage::finishRead()
{
    DatabaseList &list = m_db.instrument();
    m_reading = false;
    m_selection.reset();
    m_db.ParseDatabase(list);
    writeListText(list.tree, QStringLiteral("SpisokTSinVir.txt"));
    m_db.RebuildDatabase(list);
    m_fromDevice = true;
    m_state.instrumentCaption = QStringLiteral("Список ТС в приборе (%1):").arg(list.tsCount);
    m_state.virTreeVisible = true;
    m_state.saveToFileEnabled = true;
    formAdditionalList();
    m_pane.setProgress(0);
    setStatus(Received + QString::number(list.pageCount));
    ++m_readsCompleted;
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::writeListText(const TSTree &tree, const QString &fileName)
{
    const QString error =
        AtomicFile::write(m_dataFolder.filePath(fileName), TestSystemDatabase::listText(tree));
    // Nothing reads the list back, so a failure is reported and the flow goes on.
    if (!error.isEmpty())
        Q_EMIT errorRaised(error);
}

void DatabasePage::formAdditionalList()
{
    const auto result = m_db.FormAdditionalList();
    if (result == TestSystemDatabase::AdditionalResult::NotFormed)
        return;
    const DatabaseList &add = m_db.additional();
    m_state.additionalCaption = QStringLiteral("Дополнительный список ТС (%1):").arg(add.tsCount);
    m_state.addEnabled = m_fromDevice && m_fromFile && add.tsCount > 0;
    if (result == TestSystemDatabase::AdditionalResult::SizeMismatch)
        setStatus(QStringLiteral("Ошибка формирования доп.списка."));
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::saveDialogAccepted(const QString &path)
{
    m_lastFile.remember(path);
    const DatabaseList &list = m_db.instrument();
    if (!list.hasImage)
        return;
    const QString error = AtomicFile::write(path, list.image);
    if (!error.isEmpty()) {
        Q_EMIT errorRaised(error);
        return;
    }
    setStatus(QStringLiteral("БД ТС записана в файл: ") + m_lastFile.name());
}

void DatabasePage::btnReadBDTSFromFileClick()
{
    m_db.file().discardImage();
}

int DatabasePage::checkImage(const QByteArray &bytes, const QString &name)
{
    if (!hasSignature(bytes)) {
        setStatus(QStringLiteral("Файл ") + name + QStringLiteral(" не содержит БД ТС."));
        return -1;
    }
    const std::optional<int> count = headerCount(bytes);
    if (!count) {
        setStatus(WrongFormat);
        return -1;
    }
    // The closing page's trailer must lie inside the file and carry its kind.
    const qint64 last = pageStart(qint64(*count) - 1);
    if (*count < 1 || !pageInside(bytes, last) || pageKind(bytes, last) != ClosingKind)
        return 0;
    return *count;
}

bool DatabasePage::openDialogAccepted(const QString &path)
{
    m_lastFile.remember(path);
    const QString name = m_lastFile.name();
    setStatus(QStringLiteral("Чтение из файла ") + name);
    // A rejected file must leave nothing behind that a write or the additional
    // list could draw on.
    m_db.file().discardImage();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Q_EMIT errorRaised(QStringLiteral("Не удалось открыть файл %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    // The header holds at most 999 pages; whatever a larger file holds behind
    // them is never used, so a wrong choice (a huge file) is not read whole.
    const QByteArray bytes = file.read(pageStart(MaxPages));
    DatabaseList &list = m_db.file();
    const int count = checkImage(bytes, name);
    if (count < 0)
        return false;
    if (count == 0) {
        m_state.fileTreeVisible = false;
        m_state.addTreeVisible = false;
        setStatus(WrongFormat);
        publish();
        return false;
    }
    m_state.fileTreeVisible = false;
    m_state.addTreeVisible = false;
    // Only what the header counts is the database; bytes behind it are not.
    list.setImage(bytes.left(pageStart(count)));
    m_fileSource = QStringLiteral("файл ") + QDir::toNativeSeparators(path);
    list.pageCount = count;
    list.locators.assign(static_cast<size_t>(count), TSLocator{});
    m_db.ParseDatabase(list);
    m_db.RebuildDatabase(list);
    m_fromFile = true;
    m_state.fileCaption = QStringLiteral("Список ТС в файле (%1):").arg(list.tsCount);
    setStatus(QStringLiteral("Считано из файла ") + name + QLatin1Char(' ') +
              QString::number(list.tsCount) + QStringLiteral(" ТС"));
    m_state.fileTreeVisible = true;
    m_state.writeFileListEnabled = true;
    formAdditionalList();
    m_state.addTreeVisible = true;
    writeListText(list.tree, QStringLiteral("SpisokTSinFile.txt"));
    publish();
    Q_EMIT treesChanged();
    return true;
}

bool DatabasePage::takeInstrumentImage(const QByteArray &image, const QString &name)
{
    const int count = checkImage(image, name);
    if (count <= 0) {
        if (count == 0)
            setStatus(WrongFormat);
        return false;
    }
    DatabaseList &list = m_db.instrument();
    list.setImage(image.left(pageStart(count)));
    list.pageCount = count;
    list.locators.assign(static_cast<size_t>(count), TSLocator{});
    finishRead();
    return true;
}

void DatabasePage::WriteDatabaseToDevice(Which which)
{
    const DatabaseList &list = which == Which::FileList ? m_db.file() : m_db.instrument();
    if (!list.hasImage) {
        setStatus(QStringLiteral("Список не считан из файла."));
        return;
    }
    if (!m_port.isOpen()) {
        setStatus(PortClosed);
        return;
    }
    setStatus(QStringLiteral("Запись БД ТС в прибор."));
    const std::optional<int> count = headerCount(list.image);
    if (!count) {
        setStatus(WrongFormat);
        return;
    }
    // The bytes must hold exactly the pages the header announces, or pages of
    // whatever follows would be sent.
    if (*count != list.pageCount || *count < 1 || list.image.size() != pageStart(*count)) {
        setStatus(ListError);
        return;
    }
    m_reading = false;
    dropUnfinishedPage();
    m_outStream = list.image;
    m_pagesToSend = *count;
    m_outPosition = HeaderSize;
    m_pageNo = 1;
    m_writing = true;
    m_writeSource = which == Which::FileList ? m_fileSource : QStringLiteral("список прибора");
    Q_EMIT journalEvent(ServiceJournal::databaseWrite(m_writeSource, m_pagesToSend, m_outStream,
                                                      QStringLiteral("начата")));
    QByteArray start("M");
    start.append(static_cast<char>(m_pagesToSend / 256));
    start.append(static_cast<char>(m_pagesToSend % 256));
    m_port.output(start);
}

void DatabasePage::handlePageWantedReply(QByteArray &inBuffer)
{
    inBuffer.clear();
    if (!m_writing)
        return;
    if (m_pagesToSend < m_pageNo) {
        m_writing = false;
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
    // The instrument takes a page one byte per write.
    for (int i = 0; i < PageSize; ++i)
        m_port.output(m_outStream.mid(m_outPosition + i, 1));
    m_outPosition += PageSize;
    m_pane.setProgress(m_pageNo * 100 / m_pagesToSend);
    ++m_pageNo;
}

bool DatabasePage::btnAddTSInVirClick()
{
    DatabaseList &list = m_db.instrument();
    const DatabaseList &add = m_db.additional();
    setStatus(QStringLiteral("Включение в список прибора дополнительно ") +
              QString::number(add.tsCount) + QStringLiteral(" ТС"));
    if (!list.hasImage || !add.hasImage)
        return false;
    // A read that announced no pages leaves the old bytes under a count that no
    // longer matches them; adding would miscount the pages.
    const std::optional<int> headerPages = headerCount(list.image);
    if (list.pageCount < 1 || list.image.size() != pageStart(list.pageCount) ||
        headerPages != list.pageCount) {
        setStatus(QStringLiteral("Добавление невозможно: список прибора не совпадает с "
                                 "числом его страниц. Считайте БД ТС из прибора снова."));
        return false;
    }
    const int newCount = list.pageCount + add.pageCount - 1;
    if (newCount > MaxPages) {
        setStatus(QStringLiteral("Добавление отменено: в списке прибора было бы %1 страниц, "
                                 "а помещается не больше 999.")
                      .arg(newCount));
        return false;
    }
    list.image.chop(PageSize);
    list.image.append(add.image);
    list.pageCount = newCount;
    if (list.image.size() / PageSize != list.pageCount)
        setStatus(QStringLiteral("Ошибка добавления в список прибора."));
    list.image.replace(7, 3, header(list.pageCount).mid(7, 3));
    setStatus(QStringLiteral("В список прибора добавлено ") + QString::number(add.tsCount) +
              QStringLiteral(" ТС"));
    list.pageCount = headerCount(list.image).value_or(0);
    list.locators.assign(static_cast<size_t>(std::max(list.pageCount, 0)), TSLocator{});
    m_selection.reset();
    m_db.ParseDatabase(list);
    formAdditionalList();
    m_state.instrumentCaption = QStringLiteral("Список ТС в приборе (%1):").arg(list.tsCount);
    m_state.writeInstrumentListEnabled = true;
    publish();
    Q_EMIT treesChanged();
    return true;
}

void DatabasePage::btnDeleteTSClick()
{
    DatabaseList &list = m_db.instrument();
    // Without a list read there is nothing to delete from (and nothing to rebuild).
    if (!list.hasImage)
        return;
    const int before = list.tsCount;
    TestSystemDatabase::RemoveSelectedNodes(list.tree);
    m_selection.reset();
    m_db.RebuildDatabase(list);
    list.locators.assign(static_cast<size_t>(list.pageCount), TSLocator{});
    m_db.ParseDatabase(list);
    m_state.instrumentCaption = QStringLiteral("Список ТС в приборе (%1):").arg(list.tsCount);
    m_state.writeInstrumentListEnabled = true;
    formAdditionalList();
    setStatus(QStringLiteral("Из списка прибора удалено ") +
              QString::number(before - list.tsCount) + QStringLiteral(" ТС"));
    publish();
    Q_EMIT treesChanged();
}

void DatabasePage::TreeViewVirClick(const TSNode *node, TreeSelection::Click kind,
                                    const std::vector<const TSNode *> &visibleInOrder)
{
    std::vector<TSNode *> visible;
    visible.reserve(visibleInOrder.size());
    for (const TSNode *n : visibleInOrder)
        visible.push_back(mutableNode(n));
    m_selection.click(m_db.instrument().tree, mutableNode(node), kind, visible);
    showSelectionCount();
}

void DatabasePage::TreeViewVirCollapsed(const std::vector<const TSNode *> &visibleInOrder)
{
    std::vector<TSNode *> visible;
    visible.reserve(visibleInOrder.size());
    for (const TSNode *n : visibleInOrder)
        visible.push_back(mutableNode(n));
    if (m_selection.keepVisible(m_db.instrument().tree, visible))
        showSelectionCount();
}

void DatabasePage::selectInstrumentNodes(const std::vector<const TSNode *> &nodes)
{
    m_db.instrument().tree.clearSelection();
    for (const TSNode *n : nodes)
        mutableNode(n)->selected = true;
    showSelectionCount();
}

void DatabasePage::showSelectionCount()
{
    const int count = m_db.instrument().tree.selectedCount();
    if (count > 0) {
        m_state.deleteEnabled = true;
        setStatus(QStringLiteral("Выбрано  позиций:") + QString::number(count) + QLatin1Char('.'));
    } else {
        m_state.deleteEnabled = false;
    }
    publish();
    Q_EMIT selectionChanged();
}

} // namespace kalent
