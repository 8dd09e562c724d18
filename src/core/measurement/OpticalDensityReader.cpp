#include "measurement/OpticalDensityReader.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/OperatorTexts.h"
#include "common/SafeFileName.h"
#include "journal/DataRecords.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

namespace {
QString notOpenedText(const QString &path)
{
    return QStringLiteral("Не удалось открыть файл %1 в приложении для таблиц.")
        .arg(QDir::toNativeSeparators(path));
}
} // namespace

OpticalDensityReader::OpticalDensityReader(SerialPort &port, ReceiveDispatcher &dispatcher,
                                           LineOwner &line, MessagePane &pane,
                                           Connection &connection, const DataFolder &dataFolder,
                                           QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_dataFolder(dataFolder)
{
    dispatcher.subscribe(ReplyCode::DensityBlock, [this](const Message &m) { handleTable(m); });
    dispatcher.subscribe(ReplyCode::DensitiesMeasured,
                         [this](const Message &m) { handleMeasured(m); });
    dispatcher.subscribe(ReplyCode::FileName, [this](const Message &m) { handleFileName(m); });
    dispatcher.subscribeProgress([this](const ReplyProgress &p) {
        if (p.code == ReplyCode::DensityBlock)
            handleTableProgress(p);
    });
    connect(&connection, &Connection::lineChecked, this,
            &OpticalDensityReader::setInstrumentPresent);
    connect(&m_handOff, &SpreadsheetHandOff::refusedLater, this,
            [this](const QString &path, const QString &reason) {
                Q_EMIT fileError(notOpenedText(path) + QLatin1Char('\n') + reason);
            });
}

QString OpticalDensityReader::excelTempFileName() const
{
    return m_dataFolder.filePath(QStringLiteral("TempBDTS.xls"));
}

void OpticalDensityReader::setState(const State &state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void OpticalDensityReader::setAutoRead(bool on)
{
    State next = m_state;
    next.autoRead = on;
    setState(next);
}

void OpticalDensityReader::setAutoSave(bool on)
{
    State next = m_state;
    next.autoSave = on;
    setState(next);
}

void OpticalDensityReader::setInstrumentPresent(bool present)
{
    State next = m_state;
    next.instrumentPresent = present;
    setState(next);
}

JobHandle *OpticalDensityReader::startRead()
{
    JobHandle *job = m_line.begin(LineJob::Table, LineOwner::ReplySilenceMs);
    if (!job)
        return nullptr;
    connect(job, &JobHandle::finished, this, &OpticalDensityReader::readEnded);
    m_handOff.drop();
    m_line.send(LineJob::Table, QByteArrayLiteral("G"));
    if (!m_table.isEmpty())
        m_lastWhole = m_table;
    m_table = PlateTable();
    m_tableAwaitsName = false;
    return job;
}

QString OpticalDensityReader::failureText(const JobResult &result, int have)
{
    const QString none = QStringLiteral("Прибор не прислал таблицу оптических плотностей");
    switch (result.reason) {
    case JobReason::NoAnswer:
        return none + QLatin1Char('.');
    case JobReason::ReplyCut:
        return none + QStringLiteral(" целиком: принято символов %1 из %2.")
                          .arg(have)
                          .arg(ReplyLength::DensityBlock);
    case JobReason::Noise:
        return none + QStringLiteral(": на линии помехи.");
    default:
        return QStringLiteral("Таблица оптических плотностей не принята: %1.").arg(result.details);
    }
}

void OpticalDensityReader::readEnded(const JobResult &result)
{
    if (result.outcome == JobOutcome::Done)
        return;
    const bool tableCame = !m_table.isEmpty();
    // The last whole table stays what every save writes, under its own title;
    // the read that failed leaves nothing half in its place.
    if (!tableCame)
        m_table = m_lastWhole;
    m_pane.setProgress(0);
    if (!tableCame) {
        m_pane.setText(failureText(result, m_tableHave));
    } else if (result.reason == JobReason::Cancelled || result.reason == JobReason::LineGone) {
        m_pane.setText(QStringLiteral("Имя файла таблицы не получено: %1.").arg(result.details));
    } else {
        m_pane.setText(QStringLiteral("Прибор не сообщил имя файла для таблицы."));
    }
    m_tableHave = 0;
    Q_EMIT readFailed(result);
}

JobHandle *OpticalDensityReader::readTable()
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return nullptr;
    }
    JobHandle *job = startRead();
    if (!job)
        m_pane.setText(m_line.busyText());
    return job;
}

void OpticalDensityReader::handleTableProgress(const ReplyProgress &table)
{
    m_tableHave = table.have;
    m_pane.setText(QString::number(table.have));
    m_pane.setProgress(table.have * 100 / table.need);
}

void OpticalDensityReader::handleTable(const Message &table)
{
    m_table =
        PlateTable::fromReply(table.bytes, PlateTitle{QString(), QDateTime::currentDateTime()});
    m_pane.setProgress(0);
    m_pane.setText(QStringLiteral("Оптические плотности приняты"));
    m_tableAwaitsName = true;
    m_tableHave = 0;
    State next = m_state;
    next.instrumentPresent = true;
    next.tableEverReceived = true;
    // The file name follows as the same exchange: the line stays taken. A
    // table nobody asked for asks for its name only on a free line.
    bool askName = next.autoSave && m_line.job() == LineJob::Table;
    if (next.autoSave && !askName) {
        if (JobHandle *job = m_line.begin(LineJob::FileName, LineOwner::ReplySilenceMs)) {
            connect(job, &JobHandle::finished, this, &OpticalDensityReader::readEnded);
            askName = true;
        }
    }
    if (askName)
        m_line.handOver(LineJob::Table, LineJob::FileName, LineOwner::ReplySilenceMs);
    else
        m_line.end(LineJob::Table, JobOutcome::Done);
    setState(next);
    Q_EMIT tableReceived();
    if (askName)
        m_line.send(LineJob::FileName, QByteArrayLiteral("D"));
}

void OpticalDensityReader::handleMeasured(const Message &)
{
    setInstrumentPresent(true);
    m_pane.setText(QStringLiteral("Оптические плотности измерены"));
    if (m_state.autoRead)
        startRead();
}

void OpticalDensityReader::handleFileName(const Message &reply)
{
    const QByteArray &given = reply.bytes;
    m_line.end(LineJob::FileName, JobOutcome::Done);
    const QString name = SafeFileName::fromInstrument(given);
    // A name that comes before any table (stale, or repeated after the save)
    // names nothing: writing the empty or the already saved table under it would
    // wipe out whatever file has that name.
    if (!m_tableAwaitsName || m_table.isEmpty()) {
        m_pane.setText(
            QStringLiteral("Нет новой таблицы оптических плотностей: файл %1 не записан.")
                .arg(name));
        return;
    }
    const QString path = m_dataFolder.filePath(name);
    const QString error = AtomicFile::write(path, m_table.text());
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        Q_EMIT autoSaveFailed(path, m_table.text(), error);
        return;
    }
    m_tableAwaitsName = false;
    m_table.setInstrumentFileName(QFileInfo(path).fileName());
    m_pane.setText(QStringLiteral("Данные записаны в файл: ") + name);
    Q_EMIT autoSaved(path);
}

bool OpticalDensityReader::refuseWithoutTable(const QString &path)
{
    if (!m_table.isEmpty())
        return false;
    Q_EMIT fileError(
        QStringLiteral("Таблица оптических плотностей не принята целиком: файл %1 не записан.")
            .arg(QDir::toNativeSeparators(path)));
    return true;
}

void OpticalDensityReader::saveChosen(const QString &path)
{
    if (refuseWithoutTable(path))
        return;
    // The journal or a backup chosen in the dialog stays as it is.
    if (const QString refusal = DataRecords::saveRefusal(m_dataFolder.path(), path);
        !refusal.isEmpty()) {
        Q_EMIT fileError(refusal);
        return;
    }
    const QString error = AtomicFile::write(path, m_table.text());
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return;
    }
    m_pane.setText(OperatorTexts::dataWritten());
    m_handOff.hold(path);
}

void OpticalDensityReader::openTableInSpreadsheet(DesktopOpener &opener)
{
    const QString path = excelTempFileName();
    if (refuseWithoutTable(path))
        return;
    const QString error = AtomicFile::write(path, m_table.text());
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return;
    }
    if (!m_handOff.show(path, opener))
        Q_EMIT fileError(notOpenedText(path));
}

void OpticalDensityReader::fileToExcelChosen(const QString &path, DesktopOpener &opener)
{
    if (!m_handOff.show(path, opener))
        Q_EMIT fileError(notOpenedText(path));
}

} // namespace kalent
