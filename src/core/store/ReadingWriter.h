#pragma once

#include "store/ReadingQueue.h"
#include "store/ReadingStore.h"

#include <QObject>
#include <QString>

namespace kalent {

class DataFolder;

// The store's writing side, run on the keeper's worker thread, which owns the
// store's connection (Qt SQL connections belong to the thread that made them):
// a reading goes into the store, or, while the store cannot take it, into the
// queue on disk, from which the waiting ones are stored oldest first and each
// once. Every outcome leaves by a signal, so a locked file or a server gone
// waits here and never in the window's or watch's event loop. The failure is
// said once until the store comes back (failed), the return once (recovered);
// a reading kept nowhere is said every time (lost).
class ReadingWriter : public QObject
{
    Q_OBJECT
public:
    ReadingWriter(const StoreLocation &location, const DataFolder &dataFolder);

    void keep(const Reading &reading);
    // Stores the queue now; true when nothing is left waiting.
    bool storeQueued();
    // Drops the connection; called on the worker thread before it ends.
    void close() { m_store.close(); }

Q_SIGNALS:
    // A reading is in the store under this number.
    void stored(qint64 id);
    // The reading handed to keep() is in the store or in the queue (or said lost).
    void handled(const QString &uid);
    // Readings wait in the queue: try again later.
    void waiting();
    void failed(const QString &message);
    void recovered(const QString &message);
    void lost(const QString &message);

private:
    void storeFailed(const QString &why);

    ReadingStore m_store;
    ReadingQueue m_queue;
    bool m_failing = false;
    int m_storedFromQueue = 0;
    QString m_unreadableSaid;
};

} // namespace kalent
