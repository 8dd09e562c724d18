#include "database/DatabaseService.h"

#include "MessagePane.h"
#include "common/OperatorTexts.h"
#include "database/DatabaseBackup.h"
#include "database/DatabaseImage.h"
#include "database/WriteVerification.h"
#include "journal/ServiceJournal.h"
#include "journal/UnfinishedWrites.h"
#include "link/Connection.h"
#include "link/SerialPort.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <utility>

namespace kalent {

using namespace DatabaseImage;

namespace {
const QString Received = QStringLiteral("Принято из прибора страниц: ");
const QString NotRead = QStringLiteral("БД ТС из прибора не считана: ");
} // namespace

DatabaseService::DatabaseService(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                                 Connection &connection, MessagePane &pane, Clock &clock,
                                 const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_dataFolder(dataFolder),
      m_transfer(port, dispatcher, line, clock)
{
    connect(&m_transfer, &DatabaseTransfer::countAnswered, this,
            [this] { m_pane.setText(OperatorTexts::databaseReading()); });
    connect(&m_transfer, &DatabaseTransfer::pageReceived, this, &DatabaseService::pageReceived);
    connect(&m_transfer, &DatabaseTransfer::pageSent, this,
            [this](int pageNo, int pageCount) { m_pane.setProgress(pageNo * 100 / pageCount); });
    connect(&m_transfer, &DatabaseTransfer::readEnded, this, &DatabaseService::readEnded);
    connect(&m_transfer, &DatabaseTransfer::writeEnded, this, &DatabaseService::writeEnded);
    // A new search or a lost port may mean another instrument: its database
    // must be read again before a write can be backed up.
    connect(&connection, &Connection::searchStarted, this, [this] { m_lastRead.clear(); });
    connect(&connection, &Connection::portLost, this, [this] { m_lastRead.clear(); });
}

DatabaseService::~DatabaseService() = default;

void DatabaseService::setPhase(Phase phase)
{
    if (phase == Phase::Idle)
        m_state.write.reset();
    m_state.phase = phase;
    Q_EMIT stateChanged();
}

bool DatabaseService::read()
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return false;
    }
    // One exchange at a time: a read never starts over a write or another read.
    if (!m_transfer.startRead()) {
        m_pane.setText(m_line.busyText());
        return false;
    }
    if (m_state.phase != Phase::WaitingForBackup)
        setPhase(Phase::Reading);
    Q_EMIT readStarted();
    return true;
}

void DatabaseService::pageReceived(int pageNo, int pageCount)
{
    if (pageNo == pageCount - 2)
        m_pane.setText(Received + QString::number(pageNo));
    if (pageNo < pageCount)
        m_pane.setProgress((pageNo + 1) * 100 / pageCount);
}

void DatabaseService::readEnded(JobOutcome outcome, const QByteArray &image, const QString &why)
{
    // A read-back answers for the write before it: judged once the read has ended.
    const std::optional<DatabaseWriteInput> written = std::exchange(m_written, std::nullopt);
    const bool complete = finishRead(outcome, image, why);
    if (written)
        checkWritten(*written, complete ? image : QByteArray());
}

void DatabaseService::checkWritten(const DatabaseWriteInput &written, const QByteArray &readBack)
{
    const WriteVerification::Verdict verdict =
        WriteVerification::judge(written.image, written.pages, readBack);
    m_pane.setText(verdict.paneText);
    Q_EMIT journalEvent(journalLine(written, verdict.journalResult, m_backupNote));
    Q_EMIT writeChecked(verdict.outcome, verdict.journalResult);
}

bool DatabaseService::finishRead(JobOutcome outcome, const QByteArray &image, const QString &why)
{
    if (outcome != JobOutcome::Done) {
        if (!why.isEmpty()) {
            failRead(why, outcome);
            return false;
        }
        // No pages announced: nothing more happens, the instrument list stays.
        ++m_readsFailed;
        Q_EMIT readFailed(true);
        Q_EMIT jobEnded(LineJob::DatabaseRead, outcome, why);
        if (m_state.phase == Phase::WaitingForBackup)
            refuseWrite(QStringLiteral("прибор не сообщил число страниц БД ТС"), true);
        else
            setPhase(Phase::Idle);
        return false;
    }
    // Complete only when the last page closes the database: a count that does
    // not match the pages the instrument holds ends on a record page. The image
    // is the header the count gives and exactly the pages it counts.
    int pages = 0;
    if (check(image, &pages) != Fault::None || image.size() != pageStart(pages)) {
        failRead(NotRead + QStringLiteral("последняя страница не завершающая."),
                 JobOutcome::Failed);
        return false;
    }
    // Kept as the instrument sent it: written back, a backup gives the
    // instrument these very bytes, repeats and stray pages included.
    m_lastRead = image;
    ++m_readsCompleted;
    Q_EMIT readDone(image, m_transfer.pageCount());
    Q_EMIT jobEnded(LineJob::DatabaseRead, JobOutcome::Done, QString());
    // The read a write waited for: its backup can be saved now.
    if (m_state.phase == Phase::WaitingForBackup)
        backUpAndWrite();
    else
        setPhase(Phase::Idle);
    return true;
}

void DatabaseService::failRead(const QString &text, JobOutcome outcome)
{
    ++m_readsFailed;
    m_pane.setProgress(0);
    m_pane.setText(text);
    Q_EMIT readFailed(false);
    Q_EMIT jobEnded(LineJob::DatabaseRead, outcome, text);
    if (m_state.phase == Phase::WaitingForBackup)
        refuseWrite(QStringLiteral("БД ТС из прибора не считана"), true);
    else
        setPhase(Phase::Idle);
}

bool DatabaseService::write(DatabaseWriteInput input)
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return false;
    }
    if (m_line.busy()) {
        m_pane.setText(m_line.busyText());
        return false;
    }
    m_state.write = std::move(input);
    m_backupPath.clear();
    if (!m_backupBeforeWrite) {
        startWrite(QStringLiteral("резервная копия: не сохранялась (запись без резервной копии)"));
        return m_state.phase == Phase::Writing;
    }
    if (!m_lastRead.isEmpty()) {
        backUpAndWrite();
        return m_state.phase == Phase::Writing;
    }
    // No complete read of this connection to back up: the instrument's database
    // is read first; the write follows once it is complete.
    m_state.phase = Phase::WaitingForBackup;
    if (!read()) {
        setPhase(Phase::Idle);
        return false;
    }
    Q_EMIT stateChanged();
    return true;
}

void DatabaseService::cancel(const QString &reason)
{
    const LineJob job = m_line.job();
    if (m_state.phase != Phase::Idle &&
        (job == LineJob::DatabaseRead || job == LineJob::DatabaseWrite))
        m_line.cancel(reason);
}

void DatabaseService::backUpAndWrite()
{
    const DatabaseBackup::Saved saved =
        DatabaseBackup::save(m_dataFolder, QDateTime::currentDateTime(), m_lastRead);
    if (!saved.error.isEmpty()) {
        refuseWrite(saved.error);
        return;
    }
    m_backupPath = saved.path;
    startWrite(DatabaseBackup::journalNote(saved.path, m_lastRead));
}

QString DatabaseService::journalLine(const QString &result, const QString &backupNote) const
{
    return journalLine(*m_state.write, result, backupNote);
}

QString DatabaseService::journalLine(const DatabaseWriteInput &input, const QString &result,
                                     const QString &backupNote)
{
    return ServiceJournal::databaseWrite(input.journalSource(), input.pages, input.image, result,
                                         backupNote);
}

void DatabaseService::refuseWrite(const QString &why, bool readFailed)
{
    QString reason = why;
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    QString text = QStringLiteral("Резервная копия БД ТС прибора не сохранена: %1. "
                                  "Запись БД ТС в прибор не начата.")
                       .arg(reason);
    // An instrument whose database cannot be read (a write to it was cut
    // short) would refuse every write for ever: the way out is named.
    if (readFailed)
        text += QStringLiteral(" Если БД ТС прибора не считывается (прежняя запись могла "
                               "остаться недописанной), запишите без резервной копии: %1.")
                    .arg(m_noBackupWay);
    m_pane.setText(text);
    Q_EMIT journalEvent(
        journalLine(QStringLiteral("не начата: резервная копия не сохранена: ") + reason, {}));
    setPhase(Phase::Idle);
    Q_EMIT writeNotStarted(text);
}

void DatabaseService::startWrite(const QString &backupNote)
{
    // The journal is the service record: a write it cannot record does not start.
    // The process is named: a later start that finds no outcome for this line
    // tells a killed write from one still running elsewhere.
    const QString opening = journalLine(
        UnfinishedWrites::openingResult(QCoreApplication::applicationPid()), backupNote);
    if (m_journalGate) {
        if (const QString why = m_journalGate(opening); !why.isEmpty()) {
            m_pane.setText(why + QStringLiteral(". Запись БД ТС в прибор не начата."));
            setPhase(Phase::Idle);
            Q_EMIT writeNotStarted(why);
            return;
        }
    } else {
        Q_EMIT journalEvent(opening);
    }
    if (!m_transfer.startWrite(m_state.write->image, m_state.write->pages)) {
        m_pane.setText(m_line.busyText());
        setPhase(Phase::Idle);
        Q_EMIT writeNotStarted(m_line.busyText());
        return;
    }
    m_backupNote = backupNote;
    m_pane.setText(OperatorTexts::databaseWriting());
    // What goes to the instrument, named while it goes.
    m_pane.setText(m_state.write->paneText());
    setPhase(Phase::Writing);
}

void DatabaseService::writeEnded(JobOutcome outcome, const QString &why)
{
    m_pane.setProgress(0);
    if (outcome != JobOutcome::Done) {
        // Some pages may have been stored: the instrument is not known to hold
        // its old database any more, and the way back is named.
        m_pane.setText(
            QStringLiteral("Запись БД ТС в прибор прервана: %1. ").arg(why) +
            (m_backupPath.isEmpty()
                 ? QStringLiteral("Прибор может держать недописанную БД ТС; резервной копии этой "
                                  "записи нет, запишите БД ТС заново.")
                 : QStringLiteral("Прибор может держать недописанную БД ТС; прежняя БД ТС "
                                  "сохранена в резервной копии %1, её можно восстановить.")
                       .arg(QDir::toNativeSeparators(m_backupPath))));
        Q_EMIT journalEvent(journalLine(QStringLiteral("прервана: ") + why +
                                            QStringLiteral("; прибор может держать "
                                                           "недописанную БД ТС"),
                                        m_backupNote));
        setPhase(Phase::Idle);
        Q_EMIT jobEnded(LineJob::DatabaseWrite, outcome, why);
        return;
    }
    m_pane.setText(QStringLiteral("Отправлено в прибор страниц: ") +
                   QString::number(m_state.write->pages));
    ++m_writesCompleted;
    Q_EMIT journalEvent(journalLine(QStringLiteral("прибор принял все страницы"), m_backupNote));
    m_written = m_state.write;
    setPhase(Phase::Idle);
    Q_EMIT jobEnded(LineJob::DatabaseWrite, JobOutcome::Done, QString());
    // The instrument list is read again from the instrument, and the write
    // judged by it.
    if (!read() && m_written)
        checkWritten(*std::exchange(m_written, std::nullopt), QByteArray());
}

} // namespace kalent
