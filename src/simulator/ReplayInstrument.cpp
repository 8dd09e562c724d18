#include "ReplayInstrument.h"

#include "common/Clock.h"
#include "common/FileKind.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "trace/TraceRecord.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

namespace kalent {

namespace {

// A replay file is a trace: far smaller than this in any real exchange.
constexpr qint64 MaxReplayFileBytes = 256LL * 1024 * 1024;
// One entry holds what one read gave or one write sent: far below this.
constexpr qint64 MaxLineBytes = 4LL * 1024 * 1024;

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

ReplayScript::ReplayScript(std::unique_ptr<QIODevice> device, QString name)
    : m_device(std::move(device)), m_name(std::move(name)),
      m_line(MaxLineBytes + 2, Qt::Uninitialized)
{}

ReplayScript::~ReplayScript() = default;

std::optional<ReplayScript::Step> ReplayScript::read(Position at, Position *next, QString *error)
{
    QString ignored;
    QString &why = error ? *error : ignored;
    if (!m_device->seek(at.offset))
        return std::nullopt;
    std::optional<Step> step;
    qint64 referenceUs = 0; // the step's last command byte, or the run's start
    bool lastWasSent = false;
    int lineNo = at.line;
    for (;; ++lineNo) {
        const qint64 lineStart = m_device->pos();
        *next = {lineStart, lineNo};
        if (m_device->atEnd())
            break;
        const qint64 got = m_device->readLine(m_line.data(), m_line.size());
        if (got < 0) {
            why = OperatorTexts::cannotReadFile(
                m_name, SystemErrorText::translate(m_device->errorString()));
            return std::nullopt;
        }
        const QByteArray text = QByteArray::fromRawData(m_line.constData(), got);
        if (got > MaxLineBytes && !text.endsWith('\n')) {
            why = QStringLiteral("строка %1 длиннее %2 байт").arg(lineNo).arg(MaxLineBytes);
            return std::nullopt;
        }
        const QByteArray line = text.trimmed();
        if (line.isEmpty())
            continue;
        QString fault;
        const std::optional<TraceRecord> record = TraceRecord::fromJsonLine(line, &fault);
        if (!record) {
            why = QStringLiteral("строка %1: %2").arg(lineNo).arg(fault);
            return std::nullopt;
        }
        switch (record->direction) {
        case TraceRecord::Direction::Start:
            // A later run appended to the file: its times start afresh.
            referenceUs = record->timeUs;
            lastWasSent = false;
            break;
        case TraceRecord::Direction::Sent:
            // A command after an answer, or at a new speed (the contact search's
            // probes), begins the next step.
            if (step && (!lastWasSent || step->baud != record->baud))
                return step;
            if (!step) {
                step.emplace();
                step->line = lineNo;
                step->baud = record->baud;
            }
            step->expected += record->bytes;
            referenceUs = record->timeUs;
            lastWasSent = true;
            break;
        case TraceRecord::Direction::Received:
        case TraceRecord::Direction::Dropped:
            // Only the trace's opening bytes come before any command.
            if (!step) {
                step.emplace();
                step->line = lineNo;
            }
            step->replies.append(
                {qMax<qint64>(0, record->timeUs - referenceUs) / 1000, record->bytes});
            lastWasSent = false;
            break;
        }
    }
    return step;
}

bool ReplayScript::check(QString *error)
{
    error->clear();
    Position at;
    Position next;
    while (const std::optional<Step> step = read(at, &next, error)) {
        ++m_stepCount;
        if (m_firstBaud == 0)
            m_firstBaud = step->baud;
        at = next;
    }
    if (!error->isEmpty())
        return false;
    if (m_stepCount == 0) {
        *error = QStringLiteral("в трассе нет ни одного обмена");
        return false;
    }
    return true;
}

std::unique_ptr<ReplayScript> ReplayScript::load(const QString &path, QString *error)
{
    const QString name = QDir::toNativeSeparators(path);
    // A FIFO or a device is refused before it is opened (opening a FIFO would
    // wait for a writer); a file past the cap is refused unread.
    if (const QString why = FileKind::refusal(path); !why.isEmpty()) {
        *error = OperatorTexts::cannotReadFile(name, why);
        return nullptr;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *error =
            OperatorTexts::cannotReadFile(name, SystemErrorText::translate(file->errorString()));
        return nullptr;
    }
    if (file->size() > MaxReplayFileBytes) {
        *error = OperatorTexts::cannotReadFile(name, SystemErrorText::tooLarge(MaxReplayFileBytes));
        return nullptr;
    }
    std::unique_ptr<ReplayScript> script(new ReplayScript(std::move(file), name));
    if (!script->check(error))
        return nullptr;
    return script;
}

std::unique_ptr<ReplayScript> ReplayScript::parse(const QByteArray &text, QString *error)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(text);
    buffer->open(QIODevice::ReadOnly);
    std::unique_ptr<ReplayScript> script(new ReplayScript(std::move(buffer), QString()));
    if (!script->check(error))
        return nullptr;
    return script;
}

ReplayInstrument::ReplayInstrument(std::unique_ptr<ReplayScript> script, Clock &clock,
                                   QObject *parent)
    : QObject(parent), m_script(std::move(script)), m_clock(clock), m_timer(clock.createTimer())
{
    m_timer->setSingleShot(true);
    connect(m_timer.get(), &Timer::timeout, this, &ReplayInstrument::sendDue);
    enterStep(0, {});
}

void ReplayInstrument::enterStep(int index, ReplayScript::Position at)
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

bool ReplayInstrument::pickUpAt(char byte)
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

ReplayInstrument::~ReplayInstrument() = default;

void ReplayInstrument::start()
{
    if (m_current && m_current->expected.isEmpty())
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

void ReplayInstrument::completeStep()
{
    const qint64 now = m_clock.nowMs();
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

void ReplayInstrument::schedule()
{
    if (m_pending.empty() || m_timer->isActive())
        return;
    // A pause longer than a timer counts is waited in parts (sendDue re-arms).
    const qint64 wait = std::clamp<qint64>(m_pending.front().dueMs - m_clock.nowMs(), 0,
                                           std::numeric_limits<int>::max());
    m_timer->start(static_cast<int>(wait));
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
    if (m_finished || m_traceLost || m_step < stepCount() || !m_pending.empty())
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
