#include "measurement/OpticalDensityReader.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/DataFolder.h"
#include "common/OperatorTexts.h"
#include "common/SafeFileName.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QDir>

namespace kalent {

namespace {
// The reply: "D", then 8 rows of 12 values (6 characters, 3 of separator) and a
// row end each.
constexpr int RowLength = 109;
constexpr int ValueStep = 9;
constexpr int ValueWidth = 6;
constexpr int PlateRows = 8;
constexpr int PlateColumns = 12;

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
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_dataFolder(dataFolder),
      m_cells(GridColumns * GridRows)
{
    dispatcher.subscribe(ReplyCode::DensityBlock, [this](const Message &m) { handleTable(m); });
    dispatcher.subscribe(ReplyCode::DensitiesMeasured,
                         [this](const Message &m) { handleMeasured(m); });
    dispatcher.subscribe(ReplyCode::FileName, [this](const Message &m) { handleFileName(m); });
    dispatcher.subscribeProgress([this](const ReplyProgress &p) {
        if (p.code == ReplyCode::DensityBlock)
            handleTableProgress(p);
    });
    connect(&connection, &Connection::instrumentControlsEnabled, this,
            &OpticalDensityReader::setReadEnabled);
    connect(&m_handOff, &SpreadsheetHandOff::refusedLater, this,
            [this](const QString &path, const QString &reason) {
                Q_EMIT fileError(notOpenedText(path) + QLatin1Char('\n') + reason);
            });
}

QString OpticalDensityReader::cell(int column, int row) const
{
    if (column < 0 || column >= GridColumns || row < 0 || row >= GridRows)
        return {};
    return m_cells.at(row * GridColumns + column);
}

void OpticalDensityReader::setCell(int column, int row, const QString &text)
{
    m_cells[row * GridColumns + column] = text;
}

QString OpticalDensityReader::excelTempFileName() const
{
    return m_dataFolder.filePath(QStringLiteral("TempBDTS.xls"));
}

void OpticalDensityReader::setAutoRead(bool checked)
{
    if (checked == m_autoRead)
        return;
    m_autoRead = checked;
    Q_EMIT stateChanged();
}

void OpticalDensityReader::setAutoSave(bool checked)
{
    if (checked == m_autoSave)
        return;
    m_autoSave = checked;
    Q_EMIT stateChanged();
}

void OpticalDensityReader::setReadEnabled(bool enabled)
{
    if (enabled == m_readEnabled)
        return;
    m_readEnabled = enabled;
    Q_EMIT stateChanged();
}

void OpticalDensityReader::labelGrid()
{
    for (int row = 1; row < GridRows; ++row) {
        for (int column = 0; column < GridColumns; ++column)
            setCell(column, row, QString());
        setCell(0, row, QString(QChar(u'A' + (row - 1))));
    }
    for (int column = 1; column < GridColumns; ++column) {
        for (int row = 0; row < GridRows; ++row)
            setCell(column, row, QString());
        setCell(column, 0, QString::number(column));
    }
    Q_EMIT gridChanged();
    Q_EMIT gridLabelled();
}

bool OpticalDensityReader::startRead()
{
    if (!m_line.begin(LineJob::Table, LineOwner::ReplySilenceMs))
        return false;
    m_handOff.drop();
    m_port.output(QByteArrayLiteral("G"));
    m_opData.clear();
    m_tableAwaitsName = false;
    return true;
}

void OpticalDensityReader::readTable()
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return;
    }
    if (!startRead())
        m_pane.setText(m_line.busyText());
}

void OpticalDensityReader::handleTableProgress(const ReplyProgress &table)
{
    m_pane.setText(QString::number(table.have));
    m_pane.setProgress(table.have * 100 / table.need);
}

void OpticalDensityReader::handleTable(const Message &table)
{
    const QByteArray &bytes = table.bytes;

    for (int row = 1; row <= PlateRows; ++row)
        for (int column = 1; column <= PlateColumns; ++column) {
            // Positions counted from 1: 2 + (r-1)*109 + (c-1)*9.
            const int at = 1 + (row - 1) * RowLength + (column - 1) * ValueStep;
            setCell(column, row, Cp1251::decode(bytes.mid(at, ValueWidth)));
        }
    Q_EMIT gridChanged();

    m_pane.setProgress(0);
    m_pane.setText(QStringLiteral("Оптические плотности приняты"));
    m_opData = bytes;
    m_opData[0] = ' ';
    m_tableAwaitsName = true;
    m_readEnabled = true;
    m_saveEnabled = true;
    m_createExcelEnabled = true;
    // The file name follows as the same exchange: the line stays taken. A
    // table nobody asked for asks for its name only on a free line.
    const bool askName = m_autoSave && (m_line.job() == LineJob::Table ||
                                        m_line.begin(LineJob::FileName, LineOwner::ReplySilenceMs));
    if (askName)
        m_line.handOver(LineJob::Table, LineJob::FileName, LineOwner::ReplySilenceMs);
    else
        m_line.end(LineJob::Table, JobOutcome::Done);
    Q_EMIT stateChanged();
    Q_EMIT tableReceived();
    if (askName)
        m_port.output(QByteArrayLiteral("D"));
}

void OpticalDensityReader::handleMeasured(const Message &)
{
    m_readEnabled = true;
    Q_EMIT stateChanged();
    m_pane.setText(QStringLiteral("Оптические плотности измерены"));
    if (m_autoRead)
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
    if (!m_tableAwaitsName || m_opData.isEmpty()) {
        m_pane.setText(
            QStringLiteral("Нет новой таблицы оптических плотностей: файл %1 не записан.")
                .arg(name));
        return;
    }
    const QString path = m_dataFolder.filePath(name);
    const QString error = AtomicFile::write(path, m_opData);
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return;
    }
    m_tableAwaitsName = false;
    m_pane.setText(QStringLiteral("Данные записаны в файл: ") + name);
    Q_EMIT autoSaved(path);
}

bool OpticalDensityReader::refuseWithoutTable(const QString &path)
{
    if (!m_opData.isEmpty())
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
    const QString error = AtomicFile::write(path, m_opData);
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
    const QString error = AtomicFile::write(path, m_opData);
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
