#include "ReplayScript.h"

#include "common/FileKind.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "trace/TraceRecord.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

namespace kalent {

namespace {

// A replay file is a trace: far smaller than this in any real exchange.
constexpr qint64 MaxReplayFileBytes = 256LL * 1024 * 1024;
// One entry holds what one read gave or one write sent: far below this.
constexpr qint64 MaxLineBytes = 4LL * 1024 * 1024;

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
        case TraceRecord::Direction::Unasked:
            // The program's own note on bytes already recorded as received.
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

} // namespace kalent
