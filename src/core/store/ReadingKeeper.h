#pragma once

#include "store/ReadingQueue.h"
#include "store/ReadingStore.h"

#include <QObject>
#include <QString>

#include <memory>

namespace kalent {

class Clock;
class Timer;

// Keeps every reading it is given: in the store, or, while the store cannot be
// written (locked, a full disk, the server gone), in the queue on disk, from
// which it is stored, oldest first and each once, as soon as the store takes
// readings again (at the next reading, and every RetryMs while any wait). The
// failure is said once until the store comes back (failed), the return once
// (recovered); a reading kept nowhere is said every time (lost).
class ReadingKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int RetryMs = 30000;

    ReadingKeeper(const StoreLocation &location, const DataFolder &dataFolder, Clock &clock,
                  QObject *parent = nullptr);
    ~ReadingKeeper() override;

    ReadingStore &store() { return m_store; }
    ReadingQueue &queue() { return m_queue; }

    // Stores what waits from an earlier run (when anything does).
    void start();
    void keep(const Reading &reading);
    // Stores the queue now; true when nothing is left waiting.
    bool storeQueued();

Q_SIGNALS:
    // A reading is in the store under this number.
    void stored(qint64 id);
    void failed(const QString &message);
    void recovered(const QString &message);
    void lost(const QString &message);

private:
    void storeFailed(const QString &why);
    void armRetry();

    ReadingStore m_store;
    ReadingQueue m_queue;
    std::unique_ptr<Timer> m_retry;
    bool m_failing = false;
    int m_storedFromQueue = 0;
    QString m_unreadableSaid;
};

} // namespace kalent
