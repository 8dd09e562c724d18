#include "trace/ExchangeTrace.h"

#include "common/FileKind.h"
#include "common/LocalFileName.h"
#include "common/SystemErrorText.h"
#include "common/WriteAll.h"

#include <QDateTime>
#include <QDir>

#include <cerrno>
#ifndef Q_OS_WIN
#include <fcntl.h>
#endif

namespace kalent {

namespace {

// Opens the file to append to, unbuffered; an empty string, or the reason.
QString openForAppend(QFile &file, const QString &path)
{
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
#ifndef Q_OS_WIN
    if (LocalFileName::hasRawBytes(path)) {
        // Qt would open another name: the system opens the bytes asked for.
        const int handle = ::open(LocalFileName::encode(path).constData(),
                                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (handle < 0)
            return SystemErrorText::fromErrno(errno);
        if (!file.open(handle, mode, QFileDevice::AutoCloseHandle))
            return SystemErrorText::translate(file.errorString());
        return {};
    }
#else
    Q_UNUSED(path); // the name is the file's own on Windows
#endif
    if (!file.open(mode))
        return SystemErrorText::translate(file.errorString());
    return {};
}

} // namespace

ExchangeTrace::ExchangeTrace(QObject *parent) : QObject(parent)
{
    m_elapsed.start();
}

void ExchangeTrace::setKeepRecent(bool keep)
{
    m_keepRecent = keep;
    if (!keep) {
        m_recent.clear();
        m_recentBytes = 0;
    }
}

QString ExchangeTrace::openFile(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    const auto cannotOpen = [&path](const QString &why) {
        return QStringLiteral("Не удалось открыть файл трассы обмена %1: %2")
            .arg(QDir::toNativeSeparators(path), why);
    };
    // A FIFO would hold the open (and every action) until a reader came; a
    // device takes lines nobody can replay.
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return cannotOpen(why);
    // Unbuffered: each line goes to the system in one piece as it is recorded,
    // and a failure is known at that line, with its reason.
    if (const QString why = openForAppend(m_file, path); !why.isEmpty())
        return cannotOpen(why);
    TraceRecord start;
    start.direction = TraceRecord::Direction::Start;
    start.timeUs = elapsedUs();
    start.wall = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    // A file that takes not even this line is the opening's failure, said here.
    return append(start);
}

void ExchangeTrace::record(TraceRecord::Direction direction, int baud, const QString &port,
                           const QByteArray &bytes, qint64 timeUs)
{
    TraceRecord r;
    r.timeUs = timeUs >= 0 ? timeUs : elapsedUs();
    r.direction = direction;
    r.baud = baud;
    r.port = port;
    r.bytes = bytes;
    if (const QString failure = append(r); !failure.isEmpty())
        Q_EMIT writeFailed(failure);
    ++m_recordedCount;
    if (m_keepRecent) {
        m_recent.push_back(r);
        m_recentBytes += r.bytes.size();
        while (m_recent.size() > KeptInMemory || m_recentBytes > KeptBytes) {
            m_recentBytes -= m_recent.front().bytes.size();
            m_recent.pop_front();
        }
    }
    Q_EMIT recorded(r);
}

QString ExchangeTrace::append(const TraceRecord &record)
{
    if (!m_file.isOpen())
        return {};
    const QByteArray line = record.toJsonLine() + '\n';
    // Where the line begins: a line the file took only in part is cut off again,
    // so the file always ends with a whole line that replays.
    const qint64 lineStart = m_file.size();
    const int error = writeAll(m_file.handle(), line);
    if (error == 0)
        return {};
    m_file.resize(lineStart);
    const QString message =
        QStringLiteral("Запись в файл трассы обмена %1 остановлена: %2")
            .arg(QDir::toNativeSeparators(m_file.fileName()), SystemErrorText::fromErrno(error));
    m_file.close();
    return message;
}

} // namespace kalent
