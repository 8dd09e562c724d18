#include "store/ReadingWriter.h"

#include <QDir>

namespace kalent {

ReadingWriter::ReadingWriter(const StoreLocation &location, const DataFolder &dataFolder)
    : m_store(location), m_queue(dataFolder)
{}

void ReadingWriter::storeFailed(const QString &why)
{
    Q_EMIT waiting();
    if (m_failing)
        return;
    m_failing = true;
    Q_EMIT failed(QStringLiteral("%1. Показания ждут в папке %2 и будут сохранены в хранилище, "
                                 "когда оно снова станет доступно.")
                      .arg(why, QDir::toNativeSeparators(m_queue.folder())));
}

bool ReadingWriter::storeQueued()
{
    const QStringList names = m_queue.pending();
    int unreadable = 0;
    for (const QString &name : names) {
        QString error;
        const std::optional<Reading> reading = m_queue.load(name, &error);
        if (!reading) {
            // Left where it is for a person to look at; said once.
            ++unreadable;
            if (m_unreadableSaid != name) {
                m_unreadableSaid = name;
                Q_EMIT lost(error);
            }
            continue;
        }
        qint64 id = 0;
        if (const QString why = m_store.add(*reading, &id); !why.isEmpty()) {
            storeFailed(why);
            return false;
        }
        // Stored: a file that will not go is stored again next time, once (its uid).
        if (const QString why = m_queue.remove(name); !why.isEmpty()) {
            storeFailed(why);
            return false;
        }
        ++m_storedFromQueue;
        Q_EMIT stored(id);
    }
    if (m_failing) {
        m_failing = false;
        Q_EMIT recovered(
            QStringLiteral("Хранилище показаний %1 снова доступно: из очереди сохранено "
                           "показаний: %2.")
                .arg(m_store.location().describe())
                .arg(m_storedFromQueue));
    }
    m_storedFromQueue = 0;
    return unreadable == 0;
}

void ReadingWriter::keep(const Reading &reading)
{
    // The waiting ones first, so the store holds them in the order they came.
    const bool queueFirst = !m_queue.pending().isEmpty() && !storeQueued() && m_failing;
    if (!queueFirst) {
        qint64 id = 0;
        const QString why = m_store.add(reading, &id);
        if (why.isEmpty()) {
            Q_EMIT stored(id);
            Q_EMIT handled(reading.uid);
            return;
        }
        storeFailed(why);
    }
    if (const QString why = m_queue.put(reading); !why.isEmpty())
        Q_EMIT lost(
            QStringLiteral("Показание не сохранено ни в хранилище, ни в очереди: %1").arg(why));
    else
        Q_EMIT waiting();
    Q_EMIT handled(reading.uid);
}

} // namespace kalent
