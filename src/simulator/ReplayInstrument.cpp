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

// Builds the script entry by entry, as the lines are read.
class ScriptBuilder
{
public:
    // False, with the reason, for a line that is no entry.
    bool take(const QByteArray &rawLine, int lineNo, QString *error)
    {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty())
            return true;
        QString why;
        const std::optional<TraceRecord> record = TraceRecord::fromJsonLine(line, &why);
        if (!record) {
            *error = QStringLiteral("строка %1: %2").arg(lineNo).arg(why);
            return false;
        }
        switch (record->direction) {
        case TraceRecord::Direction::Start:
            // A later run appended to the file: its times start afresh.
            m_referenceUs = record->timeUs;
            m_lastWasSent = false;
            break;
        case TraceRecord::Direction::Sent:
            // A new speed is a new command (the contact search's probes).
            if (!m_lastWasSent || m_script.steps.last().baud != record->baud) {
                ReplayScript::Step step;
                step.line = lineNo;
                step.baud = record->baud;
                m_script.steps.append(step);
            }
            m_script.steps.last().expected += record->bytes;
            m_referenceUs = record->timeUs;
            m_lastWasSent = true;
            break;
        case TraceRecord::Direction::Received:
        case TraceRecord::Direction::Dropped:
            if (m_script.steps.isEmpty()) {
                ReplayScript::Step opening;
                opening.line = lineNo;
                m_script.steps.append(opening);
            }
            m_script.steps.last().replies.append(
                {qMax<qint64>(0, record->timeUs - m_referenceUs) / 1000, record->bytes});
            m_lastWasSent = false;
            break;
        }
        return true;
    }

    std::optional<ReplayScript> finish(QString *error)
    {
        if (m_script.steps.isEmpty()) {
            *error = QStringLiteral("в трассе нет ни одного обмена");
            return std::nullopt;
        }
        // Only what the steps hold stays: no spare capacity of the growing.
        m_script.steps.squeeze();
        for (ReplayScript::Step &step : m_script.steps) {
            step.expected.squeeze();
            step.replies.squeeze();
        }
        return std::move(m_script);
    }

private:
    ReplayScript m_script;
    qint64 m_referenceUs = 0; // the step's last command byte, or the run's start
    bool m_lastWasSent = false;
};

// Reads the trace line by line, none longer than MaxLineBytes, so memory holds
// the script and one line, never the whole text.
std::optional<ReplayScript> readScript(QIODevice &device, const QString &name, QString *error)
{
    ScriptBuilder builder;
    QByteArray line(MaxLineBytes + 2, Qt::Uninitialized);
    for (int lineNo = 1; !device.atEnd(); ++lineNo) {
        const qint64 got = device.readLine(line.data(), line.size());
        if (got < 0) {
            *error = OperatorTexts::cannotReadFile(
                name, SystemErrorText::translate(device.errorString()));
            return std::nullopt;
        }
        const QByteArray text = QByteArray::fromRawData(line.constData(), got);
        if (got > MaxLineBytes && !text.endsWith('\n')) {
            *error = QStringLiteral("строка %1 длиннее %2 байт").arg(lineNo).arg(MaxLineBytes);
            return std::nullopt;
        }
        if (!builder.take(text, lineNo, error))
            return std::nullopt;
    }
    return builder.finish(error);
}

} // namespace

std::optional<ReplayScript> ReplayScript::load(const QString &path, QString *error)
{
    const QString name = QDir::toNativeSeparators(path);
    // A FIFO or a device is refused before it is opened (opening a FIFO would
    // wait for a writer); a file past the cap is refused unread.
    if (const QString why = FileKind::refusal(path); !why.isEmpty()) {
        *error = OperatorTexts::cannotReadFile(name, why);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            OperatorTexts::cannotReadFile(name, SystemErrorText::translate(file.errorString()));
        return std::nullopt;
    }
    if (file.size() > MaxReplayFileBytes) {
        *error = OperatorTexts::cannotReadFile(name, SystemErrorText::tooLarge(MaxReplayFileBytes));
        return std::nullopt;
    }
    return readScript(file, name, error);
}

std::optional<ReplayScript> ReplayScript::parse(const QByteArray &text, QString *error)
{
    QByteArray copy = text;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readScript(buffer, QString(), error);
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
    ++m_answered;
    m_matched = 0;
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
