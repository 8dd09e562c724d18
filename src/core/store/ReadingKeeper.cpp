#include "store/ReadingKeeper.h"

#include "common/Clock.h"
#include "store/ReadingWriter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <memory>

namespace kalent {

ReadingKeeper::ReadingKeeper(const StoreLocation &location, const DataFolder &dataFolder,
                             Clock &clock, QObject *parent)
    : QObject(parent), m_location(location), m_queue(dataFolder), m_retry(clock.createTimer()),
      m_thread(new QThread), m_writer(new ReadingWriter(location, dataFolder))
{
    m_retry->setSingleShot(true);
    connect(m_retry.get(), &Timer::timeout, this, &ReadingKeeper::storeQueued);
    m_thread->setObjectName(QStringLiteral("readings-store"));
    m_writer->moveToThread(m_thread);
    // Made, used and closed on the worker thread; gone when it ends.
    connect(m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    connect(m_writer, &ReadingWriter::stored, this, &ReadingKeeper::stored);
    connect(m_writer, &ReadingWriter::failed, this, &ReadingKeeper::failed);
    connect(m_writer, &ReadingWriter::recovered, this, &ReadingKeeper::recovered);
    connect(m_writer, &ReadingWriter::lost, this, &ReadingKeeper::lost);
    connect(m_writer, &ReadingWriter::waiting, this, &ReadingKeeper::armRetry);
    connect(m_writer, &ReadingWriter::handled, this, [this](const QString &uid) {
        const auto first = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                        [&uid](const Reading &r) { return r.uid == uid; });
        if (first != m_inFlight.end())
            m_inFlight.erase(first);
    });
    m_thread->start();
}

ReadingKeeper::~ReadingKeeper()
{
    finish();
}

void ReadingKeeper::start()
{
    if (!m_queue.pending().isEmpty())
        storeQueued();
}

void ReadingKeeper::armRetry()
{
    if (!m_finished && !m_retry->isActive())
        m_retry->start(RetryMs);
}

void ReadingKeeper::storeQueued()
{
    if (m_finished)
        return;
    ReadingWriter *writer = m_writer;
    QMetaObject::invokeMethod(writer, [writer] { writer->storeQueued(); });
}

void ReadingKeeper::keep(const Reading &reading)
{
    if (m_finished) {
        queueHere(reading);
        return;
    }
    m_inFlight.append(reading);
    ReadingWriter *writer = m_writer;
    QMetaObject::invokeMethod(writer, [writer, reading] { writer->keep(reading); });
}

void ReadingKeeper::queueHere(const Reading &reading)
{
    if (const QString why = m_queue.put(reading); !why.isEmpty())
        Q_EMIT lost(
            QStringLiteral("Показание не сохранено ни в хранилище, ни в очереди: %1").arg(why));
}

bool ReadingKeeper::waitForWrites(int timeoutMs)
{
    if (m_finished)
        return true;
    // The worker runs its calls in the order given: once this one runs, every
    // reading given before it has been handled.
    auto passed = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(m_writer, [passed] { passed->release(); });
    const bool done = passed->tryAcquire(1, timeoutMs);
    // The outcomes wait in this thread's queue: said now, whether or not an
    // event loop runs again.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return done;
}

void ReadingKeeper::finish()
{
    if (m_finished)
        return;
    QDeadlineTimer deadline(ShutdownWaitMs);
    const bool done = waitForWrites(ShutdownWaitMs);
    m_finished = true;
    m_retry->stop();
    ReadingWriter *writer = m_writer;
    QMetaObject::invokeMethod(writer, [writer] {
        writer->close();
        QThread::currentThread()->quit();
    });
    if (done && m_thread->wait(deadline)) {
        delete m_thread;
    } else {
        // A write still hangs (a server that stopped answering mid-query): what
        // it holds goes to the queue from here, and the worker is left to end
        // with the process rather than be killed mid-write or wait forever.
        for (const Reading &reading : std::as_const(m_inFlight))
            queueHere(reading);
    }
    m_inFlight.clear();
    m_thread = nullptr;
    m_writer = nullptr;
}

} // namespace kalent
