#include "trace/ExchangeTrace.h"

#include "common/SystemErrorText.h"

#include <QDateTime>
#include <QDir>

namespace kalent {

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
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const QString message = QStringLiteral("Не удалось открыть файл трассы обмена %1: %2")
                                    .arg(QDir::toNativeSeparators(path),
                                         SystemErrorText::translate(m_file.errorString()));
        return message;
    }
    TraceRecord start;
    start.direction = TraceRecord::Direction::Start;
    start.timeUs = m_elapsed.nsecsElapsed() / 1000;
    start.wall = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    append(start);
    return {};
}

void ExchangeTrace::record(TraceRecord::Direction direction, int baud, const QString &port,
                           const QByteArray &bytes)
{
    TraceRecord r;
    r.timeUs = m_elapsed.nsecsElapsed() / 1000;
    r.direction = direction;
    r.baud = baud;
    r.port = port;
    r.bytes = bytes;
    append(r);
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

void ExchangeTrace::append(const TraceRecord &record)
{
    if (!m_file.isOpen())
        return;
    const QByteArray line = record.toJsonLine() + '\n';
    if (m_file.write(line) == line.size() && m_file.flush())
        return;
    const QString message = QStringLiteral("Запись в файл трассы обмена %1 остановлена: %2")
                                .arg(QDir::toNativeSeparators(m_file.fileName()),
                                     SystemErrorText::translate(m_file.errorString()));
    m_file.close();
    Q_EMIT writeFailed(message);
}

} // namespace kalent
