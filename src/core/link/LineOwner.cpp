#include "link/LineOwner.h"

#include "common/Clock.h"

namespace kalent {

LineOwner::LineOwner(Clock &clock, QObject *parent)
    : QObject(parent), m_deadline(clock.createTimer()), m_serve(clock.createTimer())
{
    m_deadline->setSingleShot(true);
    m_serve->setSingleShot(true);
    connect(m_deadline.get(), &Timer::timeout, this, &LineOwner::deadlinePassed);
    connect(m_serve.get(), &Timer::timeout, this, &LineOwner::serveNotices);
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

bool LineOwner::begin(LineJob job, int silenceMs, SilenceReason silence)
{
    if (busy() || job == LineJob::None)
        return false;
    m_job = job;
    ++m_serial;
    m_silenceMs = silenceMs;
    m_silence = std::move(silence);
    m_serve->stop();
    if (silenceMs > 0)
        m_deadline->start(silenceMs);
    Q_EMIT jobStarted(job);
    Q_EMIT busyChanged(true);
    return true;
}

void LineOwner::handOver(LineJob from, LineJob to, int silenceMs)
{
    if (m_job != from || to == LineJob::None)
        return;
    m_job = to;
    m_silenceMs = silenceMs;
    m_silence = nullptr;
    m_deadline->stop();
    if (silenceMs > 0)
        m_deadline->start(silenceMs);
    Q_EMIT jobStarted(to);
}

void LineOwner::end(LineJob job, JobOutcome outcome, const QString &reason)
{
    if (job == LineJob::None || m_job != job)
        return;
    m_job = LineJob::None;
    m_deadline->stop();
    Q_EMIT jobEnded(job, outcome, reason);
    if (busy())
        return; // a listener started the next job at once
    Q_EMIT busyChanged(false);
    scheduleServing();
}

void LineOwner::cancel(const QString &reason)
{
    stop(JobOutcome::Cancelled, reason);
}

void LineOwner::deadlinePassed()
{
    if (busy())
        stop(JobOutcome::Failed, m_silence ? m_silence() : noAnswer());
}

void LineOwner::stop(JobOutcome outcome, const QString &reason)
{
    const LineJob job = m_job;
    const quint64 serial = m_serial;
    if (job == LineJob::None)
        return;
    // The job's owner ends it with its own words; if it did not, it ends here.
    Q_EMIT cancelling(job, outcome, reason);
    if (m_serial == serial)
        end(job, outcome, reason);
}

void LineOwner::heardFromInstrument()
{
    if (m_deadline->isActive())
        m_deadline->start(m_silenceMs);
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
