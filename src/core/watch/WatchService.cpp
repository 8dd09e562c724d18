#include "watch/WatchService.h"

#include "Session.h"
#include "common/Clock.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

namespace kalent {

namespace {
ReplyCode noticeOf(WatchService::Job job)
{
    return job == WatchService::Job::Table ? ReplyCode::DensitiesMeasured : ReplyCode::ResultsReady;
}
} // namespace

WatchService::WatchService(Session &session, const QString &portName, QObject *parent)
    : QObject(parent), m_session(session), m_portName(portName),
      m_retryTimer(session.clock().createTimer())
{
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer.get(), &Timer::timeout, this, &WatchService::connectNow);
    connect(&session.connection(), &Connection::fastContactEnded, this,
            &WatchService::contactEnded);
    // Until the service follows, notices wait with the line's owner.
    moveTo(State::Idle);

    OpticalDensityReader &reader = session.reader();
    ResultsProtocol &results = session.results();
    // The chains save what they read; which notice starts which read is decided
    // here, so that two reads never share the line.
    reader.setAutoRead(false);
    reader.setAutoSave(true);
    results.setAutoRead(false);
    results.setAutoSave(true);
    // As read-protocol: no scratch file whose failure would lose every protocol.
    results.setKeepsTemporaryFile(false);
    // The notices are heard beside the pages (which only show them here); the
    // line's owner serves each one in turn.
    ReceiveDispatcher &dispatcher = session.dispatcher();
    dispatcher.subscribe(ReplyCode::DensitiesMeasured,
                         [this](const Message &) { noticed(Job::Table); });
    dispatcher.subscribe(ReplyCode::ResultsReady,
                         [this](const Message &) { noticed(Job::Protocol); });

    const auto savedFile = [this](const QString &path) {
        if (m_state != State::Reading)
            return;
        Q_EMIT saved(path);
        jobDone();
    };
    connect(&reader, &OpticalDensityReader::autoSaved, this, savedFile);
    connect(&results, &ResultsProtocol::autoSaved, this, savedFile);
    const auto fileFailed = [this](const QString &text) {
        if (m_state != State::Reading)
            return;
        // A file that cannot be written is not the line's fault: said, and the
        // next notice gets its turn.
        Q_EMIT message(text);
        jobDone();
    };
    connect(&reader, &OpticalDensityReader::fileError, this, fileFailed);
    connect(&results, &ResultsProtocol::fileError, this, fileFailed);
    // An instrument with nothing to give answered: the read is done, not failed.
    const auto nothingRead = [this](const QString &text) {
        if (m_state != State::Reading)
            return;
        Q_EMIT message(text);
        jobDone();
    };
    connect(&results, &ResultsProtocol::nothingToFetch, this, [nothingRead](int) {
        nothingRead(QStringLiteral("Прибор сообщил, что протокола нет."));
    });
    connect(&results, &ResultsProtocol::protocolEmpty, this,
            [nothingRead] { nothingRead(OperatorTexts::emptyProtocol()); });
    connect(&results, &ResultsProtocol::lengthNotANumber, this,
            [this] { jobFailed(QStringLiteral("неверная длина протокола")); });
    connect(&session.connection(), &Connection::lineChecked, this, [this](bool up) {
        if (!up && (m_state == State::Following || m_state == State::Reading))
            linkLost(OperatorTexts::noLink());
    });
    // The port tells when its device went away: nothing here looks on a timer.
    connect(&session.connection(), &Connection::portLost, this, [this] {
        if (m_state == State::Following || m_state == State::Reading)
            linkLost(QStringLiteral("Порт %1 закрылся").arg(m_portName));
    });
}

WatchService::~WatchService()
{
    // The session may outlive the service: its notices are no longer held for it.
    m_session.line().holdNotices(false);
}

void WatchService::moveTo(State state)
{
    m_state = state;
    m_session.line().holdNotices(state != State::Following);
}

void WatchService::start()
{
    connectNow();
}

void WatchService::stop()
{
    m_stopRequested = true;
    // A read under way finishes (its file is written whole) before the end.
    if (m_state != State::Reading)
        finishStop();
}

void WatchService::finishStop()
{
    m_retryTimer->stop();
    moveTo(State::Stopped);
    Q_EMIT stopped();
}

void WatchService::connectNow()
{
    if (m_stopRequested)
        return finishStop();
    moveTo(State::Connecting);
    Connection &link = m_session.connection();
    link.openFirstPort({m_portName});
    if (!m_session.port().isOpen()) {
        linkLost(QStringLiteral("Не удалось открыть порт %1: %2")
                     .arg(m_portName, SystemErrorText::translate(m_session.port().errorString())));
        return;
    }
    link.makeFastContact(ContactWaitMs);
}

void WatchService::contactEnded(bool reached)
{
    if (m_state != State::Connecting)
        return;
    if (!reached) {
        linkLost(OperatorTexts::noAnswer());
        return;
    }
    m_retryMs = FirstRetryMs;
    Q_EMIT message(QStringLiteral("Есть контакт с прибором на порту %1").arg(m_portName));
    if (m_stopRequested)
        return finishStop();
    // The notices that waited (and a read cut short, first) are served now.
    moveTo(State::Following);
}

void WatchService::linkLost(const QString &why)
{
    // The read under way is done again first once the link is back.
    if (m_state == State::Reading) {
        const Job job = m_read;
        m_session.line().noticeAgain(noticeOf(job), [this, job] { noticed(job, true); });
    }
    if (m_stopRequested)
        return finishStop();
    moveTo(State::WaitingToRetry);
    // The exchange that was running gives the line up now: a dead read must
    // not hold it for its whole deadline.
    m_session.line().cancel(why);
    m_session.port().close();
    Q_EMIT message(QStringLiteral("%1; новая попытка через %2 с")
                       .arg(why)
                       .arg(static_cast<double>(m_retryMs) / 1000.0));
    m_retryTimer->start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, LongestRetryMs);
}

void WatchService::noticed(Job job, bool again)
{
    if (m_state == State::Stopped)
        return;
    // Served while the service does not follow (it was let go by another user of
    // the owner's queue): it waits for its turn again.
    if (m_state != State::Following) {
        m_session.line().notice(noticeOf(job), [this, job, again] { noticed(job, again); });
        return;
    }
    // The instrument keeps one table and one protocol: a notice of the same kind
    // still waiting reads the same data later, so this one reads nothing.
    if (m_session.line().noticeWaiting(noticeOf(job)))
        return;
    if (!again)
        m_attempts = 0;
    startRead(job);
}

void WatchService::startRead(Job job)
{
    m_read = job;
    ++m_readSerial;
    moveTo(State::Reading);
    JobHandle *read =
        job == Job::Table ? m_session.reader().readTable() : m_session.results().readProtocol();
    // One that could not take the line says why on the pane.
    if (!read) {
        jobFailed(m_session.pane().text());
        return;
    }
    // The read holds the line: its one end is given to its handle.
    connect(read, &JobHandle::finished, this, &WatchService::readEnded);
}

void WatchService::readEnded(const JobResult &result)
{
    if (m_state != State::Reading)
        return;
    if (result.outcome != JobOutcome::Done) {
        jobFailed(result.details.isEmpty() ? LineOwner::noAnswer() : result.details);
        return;
    }
    // The file (or why there is none) is heard of right after the owner ended
    // the read; a read done that said nothing of it is done all the same.
    const quint64 serial = m_readSerial;
    m_session.line().afterJob([this, serial] {
        if (m_state == State::Reading && m_readSerial == serial)
            jobDone();
    });
}

void WatchService::jobDone()
{
    if (m_state != State::Reading)
        return;
    m_attempts = 0;
    if (m_stopRequested)
        return finishStop();
    moveTo(State::Following);
}

void WatchService::jobFailed(const QString &why)
{
    if (m_state != State::Reading)
        return;
    if (++m_attempts >= ReadAttempts) {
        Q_EMIT message(QStringLiteral("%1 не прочитан%2: %3")
                           .arg(m_read == Job::Table
                                    ? QStringLiteral("Таблица оптических плотностей")
                                    : QStringLiteral("Протокол результатов"),
                                m_read == Job::Table ? QStringLiteral("а") : QString(), why));
        m_attempts = 0;
        // Given up: not done again.
        moveTo(State::Following);
    }
    if (m_stopRequested)
        return finishStop();
    // An unanswered read may mean the instrument has gone: contact again first.
    linkLost(QStringLiteral("Прибор не ответил на запрос данных"));
}

} // namespace kalent
