#include "ReplayInstrument.h"

#include "common/BoundedFile.h"
#include "common/Clock.h"
#include "common/SystemErrorText.h"
#include "trace/TraceRecord.h"

#include <QFile>

namespace kalent {

namespace {

// A replay file is a trace: far smaller than this in any real exchange.
constexpr qint64 MaxReplayFileBytes = 256LL * 1024 * 1024;

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

std::optional<ReplayScript> ReplayScript::load(const QString &path, QString *error)
{
    // Bounded even where the size is unknown (a FIFO, a device).
    QByteArray bytes;
    if (const QString why = BoundedFile::read(path, MaxReplayFileBytes, &bytes); !why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    return parse(bytes, error);
}

std::optional<ReplayScript> ReplayScript::parse(const QByteArray &text, QString *error)
{
    ReplayScript script;
    const QList<QByteArray> lines = text.split('\n');
    qint64 referenceUs = 0; // the step's last command byte, or the run's start
    bool lastWasSent = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        QString why;
        const std::optional<TraceRecord> record = TraceRecord::fromJsonLine(line, &why);
        if (!record) {
            *error = QStringLiteral("строка %1: %2").arg(i + 1).arg(why);
            return std::nullopt;
        }
        switch (record->direction) {
        case TraceRecord::Direction::Start:
            // A later run appended to the file: its times start afresh.
            referenceUs = record->timeUs;
            lastWasSent = false;
            break;
        case TraceRecord::Direction::Sent:
            // A new speed is a new command (the contact search's probes).
            if (!lastWasSent || script.steps.last().baud != record->baud) {
                Step step;
                step.line = i + 1;
                step.baud = record->baud;
                script.steps.append(step);
            }
            script.steps.last().expected += record->bytes;
            referenceUs = record->timeUs;
            lastWasSent = true;
            break;
        case TraceRecord::Direction::Received:
        case TraceRecord::Direction::Dropped:
            if (script.steps.isEmpty()) {
                Step opening;
                opening.line = i + 1;
                script.steps.append(opening);
            }
            script.steps.last().replies.append(
                {qMax<qint64>(0, record->timeUs - referenceUs) / 1000, record->bytes});
            lastWasSent = false;
            break;
        }
    }
    if (script.steps.isEmpty()) {
        *error = QStringLiteral("в трассе нет ни одного обмена");
        return std::nullopt;
    }
    return script;
}

ReplayInstrument::ReplayInstrument(ReplayScript script, Clock &clock, QObject *parent)
    : QObject(parent), m_script(std::move(script)), m_clock(clock), m_timer(clock.createTimer())
{
    m_timer->setSingleShot(true);
    connect(m_timer.get(), &Timer::timeout, this, &ReplayInstrument::sendDue);
}

ReplayInstrument::~ReplayInstrument() = default;

void ReplayInstrument::start()
{
    if (!m_script.steps.isEmpty() && m_script.steps.constFirst().expected.isEmpty())
        completeStep();
}

void ReplayInstrument::hear(const QByteArray &bytes, int lineBaud)
{
    for (char byte : bytes)
        hearByte(byte, lineBaud);
}

void ReplayInstrument::hearByte(char byte, int lineBaud)
{
    if (m_step >= stepCount()) {
        depart(QStringLiteral("программа передала %1 после конца записи")
                   .arg(hexOf(QByteArray(1, byte))));
        return;
    }
    const ReplayScript::Step &step = m_script.steps.at(m_step);
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
    // Pick up at the next step that begins with this byte.
    for (int next = m_step + 1; next < stepCount(); ++next) {
        if (m_script.steps.at(next).expected.startsWith(byte)) {
            m_step = next;
            m_matched = 1;
            if (m_script.steps.at(next).expected.size() == 1)
                completeStep();
            return;
        }
    }
    m_matched = 0;
}

void ReplayInstrument::completeStep()
{
    const qint64 now = m_clock.nowMs();
    for (const ReplayScript::Reply &reply : m_script.steps.at(m_step).replies)
        m_pending.push_back({now + reply.delayMs, reply.bytes});
    ++m_step;
    m_matched = 0;
    schedule();
    finishWhenDone();
}

void ReplayInstrument::schedule()
{
    if (m_pending.empty() || m_timer->isActive())
        return;
    m_timer->start(static_cast<int>(qMax<qint64>(0, m_pending.front().dueMs - m_clock.nowMs())));
}

void ReplayInstrument::sendDue()
{
    const qint64 now = m_clock.nowMs();
    while (!m_pending.empty() && m_pending.front().dueMs <= now) {
        const QByteArray bytes = m_pending.front().bytes;
        m_pending.pop_front();
        Q_EMIT transmitted(bytes);
    }
    schedule();
    finishWhenDone();
}

void ReplayInstrument::finishWhenDone()
{
    if (m_finished || m_step < stepCount() || !m_pending.empty())
        return;
    m_finished = true;
    Q_EMIT finished();
}

void ReplayInstrument::depart(const QString &report)
{
    ++m_departures;
    Q_EMIT departed(report);
}

} // namespace kalent
