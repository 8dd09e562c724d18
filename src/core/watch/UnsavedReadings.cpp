#include "watch/UnsavedReadings.h"

#include "common/AtomicFile.h"
#include "common/Clock.h"
#include "journal/ServiceJournal.h"

#include <QDir>

namespace kalent {

UnsavedReadings::UnsavedReadings(Clock &clock, ServiceJournal &journal, QObject *parent)
    : QObject(parent), m_journal(journal), m_retryTimer(clock.createTimer())
{
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer.get(), &Timer::timeout, this, [this] {
        if (retry() > 0)
            m_retryTimer->start(RetryMs);
    });
}

UnsavedReadings::~UnsavedReadings() = default;

QString UnsavedReadings::described(const Reading &reading)
{
    return QStringLiteral("файл: %1; байт: %2; %3")
        .arg(QDir::toNativeSeparators(reading.path))
        .arg(reading.bytes.size())
        .arg(ServiceJournal::fingerprint(reading.bytes));
}

void UnsavedReadings::keep(const QString &path, const QByteArray &bytes, const QString &why)
{
    for (int i = 0; i < m_kept.size(); ++i) {
        if (m_kept.at(i).path == path) {
            m_kept.removeAt(i);
            break;
        }
    }
    if (m_kept.size() >= MostKept)
        lose(m_kept.takeFirst(), QStringLiteral("слишком много незаписанных данных"));
    m_kept.append({path, bytes});
    m_journal.append(QStringLiteral("автоматическое сохранение не удалось, данные сохранены в "
                                    "памяти и будут записаны повторно; %1; причина: %2")
                         .arg(described(m_kept.last()), why));
    // The failure itself was said by the chain that failed; here what comes of it.
    Q_EMIT message(QStringLiteral("Данные сохранены в памяти, запись файла %1 будет повторена.")
                       .arg(QDir::toNativeSeparators(path)));
    if (!m_retryTimer->isActive())
        m_retryTimer->start(RetryMs);
}

int UnsavedReadings::retry()
{
    for (int i = 0; i < m_kept.size();) {
        const Reading &reading = m_kept.at(i);
        if (!AtomicFile::write(reading.path, reading.bytes).isEmpty()) {
            ++i;
            continue;
        }
        m_journal.append(QStringLiteral("автоматическое сохранение выполнено повторно; %1")
                             .arg(described(reading)));
        const QString path = reading.path;
        m_kept.removeAt(i);
        Q_EMIT saved(path);
    }
    return kept();
}

int UnsavedReadings::finish()
{
    m_retryTimer->stop();
    for (int i = 0; i < m_kept.size(); ++i) {
        if (const QString why = AtomicFile::write(m_kept.at(i).path, m_kept.at(i).bytes);
            !why.isEmpty())
            lose(m_kept.at(i), why);
        else
            Q_EMIT saved(m_kept.at(i).path);
    }
    m_kept.clear();
    return m_lost;
}

void UnsavedReadings::lose(const Reading &reading, const QString &why)
{
    ++m_lost;
    m_journal.append(QStringLiteral("данные потеряны: не записаны; %1; причина: %2")
                         .arg(described(reading), why));
    Q_EMIT message(QStringLiteral("Данные потеряны: файл %1 не записан: %2")
                       .arg(QDir::toNativeSeparators(reading.path), why));
}

} // namespace kalent
