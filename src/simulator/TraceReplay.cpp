#include "TraceReplay.h"

#include "common/Clock.h"

#include <algorithm>
#include <limits>

namespace kalent {

namespace {

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

TraceReplay::TraceReplay(InstrumentControl &instrument, std::unique_ptr<ReplayScript> script,
                         QObject *parent)
    : QObject(parent), m_instrument(instrument), m_script(std::move(script)),
      m_timer(instrument.clock().createTimer())
{
    m_timer->setSingleShot(true);
    connect(m_timer.get(), &Timer::timeout, this, &TraceReplay::sendDue);
    enterStep(0, {});
}

void TraceReplay::enterStep(int index, ReplayScript::Position at)
{
    m_step = index;
    m_matched = 0;
    QString why;
    m_current = m_script->read(at, &m_nextAt, &why);
    if (m_current)
        return;
    // The trace changed on the disk since it was checked (cut short, replaced or
    // unreadable): the replay ends here and never says it answered everything.
    m_step = stepCount();
    m_traceLost = true;
    depart(QStringLiteral("трасса перестала читаться на строке %1%2")
               .arg(at.line)
               .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
}

bool TraceReplay::pickUpAt(char byte)
{
    Lookahead &memo = m_lookahead[static_cast<unsigned char>(byte)];
    const bool known =
        memo.from >= 0 && memo.from <= m_step && (memo.found < 0 || memo.found > m_step);
    if (!known) {
        memo = {m_step, -1, {}};
        ReplayScript::Position at = m_nextAt;
        ReplayScript::Position next;
        for (int index = m_step + 1; index < stepCount(); ++index) {
            const std::optional<ReplayScript::Step> step = m_script->read(at, &next);
            if (!step)
                break;
            if (step->expected.startsWith(byte)) {
                memo.found = index;
                memo.at = at;
                break;
            }
            at = next;
        }
    }
    if (memo.found < 0)
        return false;
    enterStep(memo.found, memo.at);
    return true;
}

TraceReplay::~TraceReplay() = default;

void TraceReplay::start()
{
    if (m_current && m_current->expected.isEmpty())
        completeStep();
}

int TraceReplay::consume(InstrumentControl &instrument, const QByteArray &heard)
{
    for (char byte : heard)
        hearByte(byte, instrument.lineBaud());
    return static_cast<int>(heard.size());
}

void TraceReplay::hearByte(char byte, int lineBaud)
{
    if (m_step >= stepCount()) {
        depart(QStringLiteral("программа передала %1 после конца записи")
                   .arg(hexOf(QByteArray(1, byte))));
        return;
    }
    const ReplayScript::Step &step = *m_current;
    if (step.expected.at(m_matched) == byte) {
        if (m_matched == 0 && step.baud != 0 && lineBaud != 0 && lineBaud != step.baud) {
            depart(QStringLiteral("строка %1: программа передаёт на %2 бод, в записи — %3 бод")
                       .arg(step.line)
                       .arg(lineBaud)
                       .arg(step.baud));
        }
        if (++m_matched == step.expected.size())
            completeStep();
        return;
    }
    depart(QStringLiteral("строка %1: в записи после %3 идёт %2, программа передала %4")
               .arg(step.line)
               .arg(hexOf(step.expected.mid(m_matched, 1)))
               .arg(m_matched == 0 ? QStringLiteral("предыдущего ответа")
                                   : hexOf(step.expected.left(m_matched).right(8)))
               .arg(hexOf(QByteArray(1, byte))));
    if (pickUpAt(byte)) {
        m_matched = 1;
        if (m_current->expected.size() == 1)
            completeStep();
        return;
    }
    m_matched = 0;
}

void TraceReplay::completeStep()
{
    const qint64 now = m_instrument.clock().nowMs();
    for (const ReplayScript::Reply &reply : std::as_const(m_current->replies))
        m_pending.push_back({now + reply.delayMs, reply.bytes});
    ++m_answered;
    if (m_step + 1 < stepCount()) {
        enterStep(m_step + 1, m_nextAt);
    } else {
        m_step = stepCount();
        m_current.reset();
        m_matched = 0;
    }
    schedule();
    finishWhenDone();
}

void TraceReplay::schedule()
{
    if (m_pending.empty() || m_timer->isActive())
        return;
    // A pause longer than a timer counts is waited in parts (sendDue re-arms).
    const qint64 wait = std::clamp<qint64>(m_pending.front().dueMs - m_instrument.clock().nowMs(),
                                           0, std::numeric_limits<int>::max());
    m_timer->start(static_cast<int>(wait));
}

void TraceReplay::sendDue()
{
    const qint64 now = m_instrument.clock().nowMs();
    while (!m_pending.empty() && m_pending.front().dueMs <= now) {
        const QByteArray bytes = m_pending.front().bytes;
        m_pending.pop_front();
        m_instrument.sendRaw(bytes);
    }
    schedule();
    finishWhenDone();
}

void TraceReplay::finishWhenDone()
{
    if (m_finished || m_traceLost || m_step < stepCount() || !m_pending.empty())
        return;
    m_finished = true;
    Q_EMIT finished();
}

void TraceReplay::depart(const QString &report)
{
    ++m_departures;
    Q_EMIT departed(report);
}

QString TraceReplay::refusedText(const QString &path, const QString &why)
{
    return QStringLiteral("Трасса %1 не воспроизводится: %2").arg(path, why);
}

QString TraceReplay::departureText(const QString &report)
{
    return QStringLiteral("воспроизведение расходится с записью: ") + report;
}

QString TraceReplay::endText() const
{
    // A run that departed or stopped early still says how far it came.
    if (m_finished)
        return QStringLiteral("воспроизведение: ответ дан на все записанные обмены (%1), "
                              "расхождений: %2")
            .arg(stepCount())
            .arg(m_departures);
    return QStringLiteral("воспроизведение: ответ дан на %1 из %2 записанных обменов, "
                          "расхождений: %3")
        .arg(m_answered)
        .arg(stepCount())
        .arg(m_departures);
}

} // namespace kalent
