#pragma once

#include "store/ReadingQueue.h"
#include "store/StoreLocation.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QThread;

namespace kalent {

class Clock;
class DataFolder;
class ReadingWriter;
class Timer;

// Keeps every reading it is given, without ever waiting for the store: the
// writing runs on a worker thread of its own (ReadingWriter), which stores the
// reading or, while the store cannot be written (locked, a full disk, the
// server gone), puts it in the queue on disk and stores it later, oldest first
// and each once (at the next reading, and every RetryMs while any wait). The
// outcomes come back here by queued signals, on this object's thread. At the
// end (finish(), or the destructor) the writes in flight are waited for, at
// most ShutdownWaitMs; a reading not stored by then is in the queue, and one
// kept after the end goes straight to the queue, for the next run to store.
class ReadingKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int RetryMs = 30000;
    // Longer than the store's own waits (a busy file, a server's connection),
    // so a write that can still succeed is not cut short.
    static constexpr int ShutdownWaitMs = 15000;

    ReadingKeeper(const StoreLocation &location, const DataFolder &dataFolder, Clock &clock,
                  QObject *parent = nullptr);
    ~ReadingKeeper() override;

    const StoreLocation &location() const { return m_location; }
    ReadingQueue &queue() { return m_queue; }

    // Stores what waits from an earlier run (when anything does).
    void start();
    void keep(const Reading &reading);
    // Blocks until every reading given so far is stored or queued, and the
    // outcomes signalled; false when that took longer than timeoutMs.
    bool waitForWrites(int timeoutMs);
    // Waits for the writes in flight and ends the worker; a reading not stored
    // by then is put in the queue here. Called once; the destructor calls it.
    void finish();

Q_SIGNALS:
    // A reading is in the store under this number.
    void stored(qint64 id);
    void failed(const QString &message);
    void recovered(const QString &message);
    void lost(const QString &message);

private:
    void armRetry();
    void storeQueued();
    void queueHere(const Reading &reading);

    StoreLocation m_location;
    ReadingQueue m_queue;
    std::unique_ptr<Timer> m_retry;
    QThread *m_thread = nullptr;
    ReadingWriter *m_writer = nullptr; // lives on m_thread
    // Given to the writer and not yet stored or queued by it, in the order given
    // (the order it handles them; one uid may come twice, its files grown).
    QList<Reading> m_inFlight;
    bool m_finished = false;
};

} // namespace kalent
