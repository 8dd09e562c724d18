#include "link/LineOwner.h"

#include "common/Clock.h"
#include "link/SerialPort.h"

namespace kalent {

LineOwner::LineOwner(Clock &clock, QObject *parent)
    : QObject(parent), m_deadline(clock.createTimer()), m_serve(clock.createTimer()),
      m_step(clock.createTimer())
{
    m_deadline->setSingleShot(true);
    m_serve->setSingleShot(true);
    m_step->setSingleShot(true);
    connect(m_deadline.get(), &Timer::timeout, this, &LineOwner::deadlinePassed);
    connect(m_serve.get(), &Timer::timeout, this, &LineOwner::serveNotices);
    connect(m_step.get(), &Timer::timeout, this, [this] {
        const std::function<void()> step = std::exchange(m_nextStep, nullptr);
        if (step)
            step();
    });
    for (Wait &wait : m_waits) {
        wait.timer = clock.createTimer();
        wait.timer->setSingleShot(true);
        // A copy runs: the wait may be declared again from inside it.
        connect(wait.timer.get(), &Timer::timeout, this, [&wait] {
            const std::function<void()> then = wait.then;
            if (then)
                then();
        });
    }
}

LineOwner::~LineOwner() = default;

QString LineOwner::jobName(LineJob job)
{
    switch (job) {
    case LineJob::None:
        break;
    case LineJob::ContactSearch:
        return QStringLiteral("поиск прибора");
    case LineJob::Table:
        return QStringLiteral("чтение таблицы оптических плотностей");
    case LineJob::FileName:
        return QStringLiteral("запрос имени файла таблицы");
    case LineJob::Protocol:
        return QStringLiteral("чтение протокола результатов");
    case LineJob::DatabaseRead:
        return QStringLiteral("чтение БД ТС из прибора");
    case LineJob::DatabaseWrite:
        return QStringLiteral("запись БД ТС в прибор");
    case LineJob::FirmwareUpload:
        return QStringLiteral("загрузка программы в прибор");
    }
    return QString();
}

JobHandle *LineOwner::begin(LineJob job, int silenceMs, SilenceReason silence)
{
    if (busy() || job == LineJob::None)
        return nullptr;
    m_job = job;
    m_handle = new JobHandle(job, this);
    JobHandle *handle = m_handle;
    ++m_serial;
    m_silenceMs = silenceMs;
    m_silence = std::move(silence);
    m_serve->stop();
    restartDeadline();
    m_progressed = false;
    Q_EMIT jobStarted(job);
    Q_EMIT busyChanged(true);
    return handle;
}

void LineOwner::restartDeadline()
{
    m_bytesSinceProgress = false;
    m_longestReply = 0;
    if (m_silenceMs > 0)
        m_deadline->start(m_silenceMs);
}

void LineOwner::handOver(LineJob from, LineJob to, int silenceMs)
{
    if (m_job != from || to == LineJob::None)
        return;
    m_job = to;
    if (m_handle)
        m_handle->m_job = to;
    m_silenceMs = silenceMs;
    m_silence = nullptr;
    m_progressed = false;
    m_deadline->stop();
    restartDeadline();
    Q_EMIT jobStarted(to);
}

void LineOwner::end(LineJob job, JobOutcome outcome, const QString &reason)
{
    const JobReason why = outcome == JobOutcome::Done        ? JobReason::None
                          : m_stopping                       ? *m_stopping
                          : outcome == JobOutcome::Cancelled ? JobReason::Cancelled
                                                             : JobReason::BadReply;
    end(job, JobResult{outcome, why, reason});
}

void LineOwner::end(LineJob job, const JobResult &result)
{
    if (job == LineJob::None || m_job != job)
        return;
    m_job = LineJob::None;
    // Nothing of this job may reach the next one: neither its silence limit
    // nor a step it left.
    m_deadline->stop();
    m_step->stop();
    m_nextStep = nullptr;
    JobHandle *handle = std::exchange(m_handle, nullptr);
    if (handle)
        handle->finish(result);
    Q_EMIT jobEnded(job, result.outcome, result.details);
    if (busy())
        return; // a listener started the next job at once
    Q_EMIT busyChanged(false);
    scheduleServing();
}

void LineOwner::cancel(const QString &reason, JobReason why)
{
    stop({JobOutcome::Cancelled, why, reason});
}

void LineOwner::deadlinePassed()
{
    if (!busy())
        return;
    const JobReason why = m_bytesSinceProgress ? JobReason::Noise
                          : m_progressed       ? JobReason::ReplyCut
                                               : JobReason::NoAnswer;
    stop({JobOutcome::Failed, why, m_silence ? m_silence() : noAnswer()});
}

void LineOwner::stop(const JobResult &result)
{
    const LineJob job = m_job;
    const quint64 serial = m_serial;
    if (job == LineJob::None)
        return;
    // The job's owner ends it with its own words; if it did not, it ends here.
    // Either way the reason is the one it was stopped for.
    const std::optional<JobReason> outer = std::exchange(m_stopping, result.reason);
    Q_EMIT cancelling(job, result.outcome, result.details);
    m_stopping = outer;
    if (m_serial == serial)
        end(job, result);
}

bool LineOwner::send(LineJob job, const QByteArray &bytes)
{
    if (job == LineJob::None || job != m_job || !m_port) {
        Q_EMIT sendRefused(job, bytes);
        return false;
    }
    m_port->output(bytes);
    return true;
}

bool LineOwner::sendProbe(const QByteArray &bytes)
{
    if (m_job != LineJob::None && m_job != LineJob::ContactSearch)
        return false;
    if (m_port)
        m_port->output(bytes);
    return m_port != nullptr;
}

void LineOwner::after(int ms, std::function<void()> step)
{
    if (!busy())
        return;
    m_nextStep = std::move(step);
    m_step->start(ms);
}

void LineOwner::wait(LineWait which, int ms, std::function<void()> then)
{
    Wait &wait = m_waits[static_cast<size_t>(which)];
    wait.then = std::move(then);
    wait.timer->start(ms);
}

void LineOwner::stopWait(LineWait which)
{
    m_waits[static_cast<size_t>(which)].timer->stop();
}

bool LineOwner::waiting(LineWait which) const
{
    return m_waits[static_cast<size_t>(which)].timer->isActive();
}

void LineOwner::bytesHeard()
{
    m_bytesSinceProgress = true;
}

void LineOwner::replyProgressed(const ReplyProgress &progress)
{
    // A reply of no known length, or one past its length, may be babble of
    // any length: only a reply growing toward its end is progress.
    if (!busy() || progress.have <= m_longestReply || progress.need < 0 ||
        progress.have > progress.need)
        return;
    const int longest = progress.have;
    restartDeadline();
    m_longestReply = longest;
    m_progressed = true;
    if (m_handle)
        Q_EMIT m_handle->progressed(progress.have, progress.need);
}

void LineOwner::replyArrived()
{
    if (!busy())
        return;
    m_progressed = true;
    restartDeadline();
}

bool LineOwner::awaits(ReplyCode code) const
{
    switch (code) {
    case ReplyCode::ContactAnswer:
        return m_job == LineJob::None || m_job == LineJob::ContactSearch;
    case ReplyCode::StartupReport:
    case ReplyCode::DensitiesMeasured:
    case ReplyCode::ResultsReady:
        return true;
    case ReplyCode::DensityBlock:
        return m_job == LineJob::Table;
    case ReplyCode::FileName:
        return m_job == LineJob::FileName;
    case ReplyCode::ProtocolLength:
    case ReplyCode::ProtocolText:
        return m_job == LineJob::Protocol;
    case ReplyCode::PageCount:
    case ReplyCode::DatabasePage:
        return m_job == LineJob::DatabaseRead;
    case ReplyCode::PageWanted:
    case ReplyCode::PageRefused:
        return m_job == LineJob::DatabaseWrite;
    }
    return false;
}

void LineOwner::notice(ReplyCode code, std::function<void()> serve)
{
    if (!busy() && !m_held && m_notices.empty() && m_afterJob.empty()) {
        serve();
        return;
    }
    m_notices.push_back({code, std::move(serve)});
    scheduleServing();
}

void LineOwner::noticeAgain(ReplyCode code, std::function<void()> serve)
{
    m_notices.push_front({code, std::move(serve)});
    scheduleServing();
}

void LineOwner::afterJob(std::function<void()> then)
{
    m_afterJob.push_back(std::move(then));
    scheduleServing();
}

void LineOwner::holdNotices(bool held)
{
    m_held = held;
    scheduleServing();
}

bool LineOwner::noticeWaiting(ReplyCode code) const
{
    for (const Notice &notice : m_notices) {
        if (notice.code == code)
            return true;
    }
    return false;
}

void LineOwner::scheduleServing()
{
    const bool due = !m_afterJob.empty() || (!m_held && !m_notices.empty());
    if (!busy() && due && !m_serve->isActive())
        m_serve->start(0);
}

void LineOwner::serveNotices()
{
    // One at a time: the one served may start a job, and the rest wait for
    // that job in turn (its end serves them again).
    while (!busy() && !m_afterJob.empty()) {
        const std::function<void()> then = std::move(m_afterJob.front());
        m_afterJob.pop_front();
        then();
    }
    while (!busy() && !m_held && !m_notices.empty()) {
        const std::function<void()> serve = std::move(m_notices.front().serve);
        m_notices.pop_front();
        serve();
    }
}

QString LineOwner::busyText() const
{
    return QStringLiteral("Дождитесь конца обмена с прибором: идёт %1.").arg(jobName(m_job));
}

} // namespace kalent
