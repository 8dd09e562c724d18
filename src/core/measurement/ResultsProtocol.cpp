#include "measurement/ResultsProtocol.h"

#include "MessagePane.h"
#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/Cp1251.h"
#include "common/DataFolder.h"
#include "common/OperatorTexts.h"
#include "journal/DataRecords.h"
#include "link/LineOwner.h"
#include "link/ReceiveDispatcher.h"
#include "link/ReplyDecoder.h"
#include "link/SerialPort.h"
#include "measurement/ProtocolFileName.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

ResultsProtocol::ResultsProtocol(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                                 MessagePane &pane, const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_dataFolder(dataFolder)
{
    dispatcher.subscribe(ReplyCode::ProtocolLength, [this](const Message &m) { handleLength(m); });
    dispatcher.subscribe(ReplyCode::ProtocolText, [this](const Message &m) { handleText(m); });
    dispatcher.subscribe(ReplyCode::ResultsReady,
                         [this](const Message &m) { handleResultsReady(m); });
}

QString ResultsProtocol::tempFileName() const
{
    return m_dataFolder.filePath(QStringLiteral("MSTempProtokol.txt"));
}

void ResultsProtocol::setState(const State &state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void ResultsProtocol::setAutoRead(bool on)
{
    State next = m_state;
    next.autoRead = on;
    setState(next);
}

void ResultsProtocol::setAutoSave(bool on)
{
    State next = m_state;
    next.autoSave = on;
    setState(next);
}

JobHandle *ResultsProtocol::readProtocol()
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return nullptr;
    }
    JobHandle *job = startRead();
    if (!job)
        m_pane.setText(m_line.busyText());
    return job;
}

JobHandle *ResultsProtocol::startRead()
{
    JobHandle *job = m_line.begin(LineJob::Protocol, LineOwner::ReplySilenceMs);
    if (!job)
        return nullptr;
    connect(job, &JobHandle::finished, this, &ResultsProtocol::readEnded);
    m_autoSaveName.clear();
    if (!m_stream.isEmpty())
        m_lastWhole = m_stream;
    m_stream.clear();
    m_line.send(LineJob::Protocol, QByteArrayLiteral("g"));
    return job;
}

void ResultsProtocol::readEnded(const JobResult &result)
{
    if (result.outcome == JobOutcome::Done || result.reason == JobReason::BadReply)
        return;
    // The last whole protocol stays what a save writes.
    m_stream = m_lastWhole;
    const QString none = QStringLiteral("Прибор не прислал протокол результатов");
    switch (result.reason) {
    case JobReason::NoAnswer:
        m_pane.setText(none + QLatin1Char('.'));
        break;
    case JobReason::ReplyCut:
        m_pane.setText(none + QStringLiteral(" целиком."));
        break;
    case JobReason::Noise:
        m_pane.setText(none + QStringLiteral(": на линии помехи."));
        break;
    default:
        m_pane.setText(QStringLiteral("Протокол результатов не принят: %1.").arg(result.details));
        break;
    }
    Q_EMIT readFailed(result);
}

void ResultsProtocol::handleLength(const Message &reply)
{
    const std::optional<int> announced = ReplyDecoder::announcedLength(reply.bytes);
    if (!announced) {
        m_line.end(LineJob::Protocol, JobOutcome::Failed,
                   QStringLiteral("неверная длина протокола"));
        m_pane.setText(QStringLiteral("Прибор сообщил неверную длину протокола."));
        Q_EMIT lengthNotANumber();
        return;
    }
    const int length = *announced;
    if (length < 1) {
        m_line.end(LineJob::Protocol, JobOutcome::Done);
        Q_EMIT nothingToFetch(length);
        return;
    }
    // Only the read that asked for the length goes on to the text.
    if (m_line.job() != LineJob::Protocol)
        return;
    m_autoSaveName.clear();
    m_stream.clear();
    m_line.send(LineJob::Protocol, QByteArrayLiteral("d"));
}

void ResultsProtocol::handleText(const Message &reply)
{
    const int n = static_cast<int>(reply.bytes.size());
    // The exchange ends with this reply, whatever becomes of its text; the
    // line is free before anyone hears of the text (the next read may start).
    m_line.end(LineJob::Protocol, JobOutcome::Done);
    // The code letter and the final character are not part of the text.
    m_stream = reply.bytes.mid(1, qMax(0, n - 2));
    // A reply with no text between its code and its last character gives nothing
    // to keep: an empty file must not take the last protocol's place.
    if (m_stream.isEmpty()) {
        m_pane.setText(OperatorTexts::emptyProtocol());
        Q_EMIT protocolEmpty();
        return;
    }

    if (m_keepsTemporaryFile) {
        const QString error = AtomicFile::write(tempFileName(), m_stream);
        if (!error.isEmpty()) {
            Q_EMIT fileError(error);
            Q_EMIT receivedUnfiled(m_stream);
            return;
        }
    }
    // The screen shows the text as lines, whatever line ends the instrument used.
    QString shown = Cp1251::decode(m_stream);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_screenText = shown;
    State next = m_state;
    next.protocolEverReceived = true;
    setState(next);
    Q_EMIT protocolReceived();

    if (!m_state.autoSave)
        return;
    // A name without its number or date is never reused for another protocol.
    const QString path = ProtocolFileName::pathIn(m_dataFolder.path(), m_stream);
    if (path.isEmpty()) {
        Q_EMIT fileError(
            QStringLiteral("Протокол не записан: все имена %1 … (999) в папке %2 уже заняты.")
                .arg(ProtocolFileName::build(m_stream),
                     QDir::toNativeSeparators(m_dataFolder.path())));
        return;
    }
    m_autoSaveName = QFileInfo(path).fileName();
    const QString saveError = AtomicFile::write(path, m_stream);
    if (!saveError.isEmpty()) {
        Q_EMIT fileError(saveError);
        Q_EMIT autoSaveFailed(path, m_stream, saveError);
        return;
    }
    m_pane.setText(QStringLiteral("Протокол записан в файл: ") + m_autoSaveName);
    Q_EMIT autoSaved(path);
}

void ResultsProtocol::handleResultsReady(const Message &)
{
    m_pane.setText(QStringLiteral("Результаты измерений готовы"));
    if (!m_state.autoRead)
        return;
    startRead();
}

void ResultsProtocol::saveChosen(const QString &path)
{
    const QString notSaved = QStringLiteral("Протокол не принят целиком: файл %1 не записан.")
                                 .arg(QDir::toNativeSeparators(path));
    if (!m_state.protocolEverReceived) {
        Q_EMIT fileError(notSaved);
        return;
    }
    // The journal or a backup chosen in the dialog stays as it is.
    if (const QString refusal = DataRecords::saveRefusal(m_dataFolder.path(), path);
        !refusal.isEmpty()) {
        Q_EMIT fileError(refusal);
        return;
    }
    QByteArray text = m_stream;
    const QString readError =
        m_keepsTemporaryFile ? BoundedFile::read(tempFileName(), LargestText, &text) : QString();
    if (!readError.isEmpty()) {
        // The copy kept in the data folder is a step on the way: the message
        // names the file the user chose first.
        Q_EMIT fileError(QStringLiteral("Протокол не записан в файл %1: %2")
                             .arg(QDir::toNativeSeparators(path), readError));
        return;
    }
    // Only a complete protocol is ever written to the temporary file; an empty
    // one was emptied behind the program's back.
    if (text.isEmpty()) {
        Q_EMIT fileError(notSaved);
        return;
    }
    m_stream = text;
    const QString error = AtomicFile::write(path, m_stream);
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return;
    }
    m_pane.setText(OperatorTexts::dataWritten());
}

} // namespace kalent
