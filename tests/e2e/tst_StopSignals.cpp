#include "StopSignals.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace kalent;

namespace {

// A request as the system makes it: a signal raised in this process, or a
// console event handled on a thread of the system's own.
void deliver(int request)
{
#ifdef Q_OS_WIN
    bool handled = false;
    std::thread system([&] { handled = StopSignals::handleConsoleEvent(unsigned(request)); });
    system.join();
    QVERIFY(handled);
#else
    std::raise(request);
#endif
}

} // namespace

// Stop requests from outside reach the run as an event of its own loop, also
// when they come before anybody listens.
class tst_StopSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestsArriveThroughTheEventLoop_data()
    {
        QTest::addColumn<int>("request");
#ifdef Q_OS_WIN
        QTest::newRow("Ctrl-C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl-Break") << int(CTRL_BREAK_EVENT);
#else
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
#endif
    }
    void requestsArriveThroughTheEventLoop()
    {
        QFETCH(int, request);
        StopSignals stop;
        QSignalSpy requested(&stop, &StopSignals::stopRequested);
        deliver(request);
        // The handler only wakes the loop; the run hears it from there.
        QCOMPARE(requested.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, 5000);
        QVERIFY(StopSignals::caught());
    }

    void aRequestBeforeAnyListenerIsDeliveredOnce()
    {
        StopSignals::catchFromNow();
#ifdef Q_OS_WIN
        deliver(CTRL_C_EVENT);
#else
        deliver(SIGTERM);
#endif
        {
            StopSignals first;
            QSignalSpy requested(&first, &StopSignals::stopRequested);
            QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, 5000);
        }
        StopSignals next;
        QSignalSpy requested(&next, &StopSignals::stopRequested);
        QTest::qWait(300);
        QCOMPARE(requested.count(), 0);
    }

#ifdef Q_OS_WIN
    void closingWaitsUntilTheRunHasStopped_data()
    {
        QTest::addColumn<int>("event");
        QTest::newRow("close") << int(CTRL_CLOSE_EVENT);
        QTest::newRow("log-off") << int(CTRL_LOGOFF_EVENT);
        QTest::newRow("shutdown") << int(CTRL_SHUTDOWN_EVENT);
    }
    void closingWaitsUntilTheRunHasStopped()
    {
        QFETCH(int, event);
        std::atomic<bool> handled{false};
        std::thread system;
        QElapsedTimer held;
        {
            StopSignals stop;
            QSignalSpy requested(&stop, &StopSignals::stopRequested);
            // Windows ends the process as soon as the handler returns.
            system =
                std::thread([&] { handled = StopSignals::handleConsoleEvent(unsigned(event)); });
            QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, 3000);
            QTest::qWait(300);
            QVERIFY2(!handled, "the handler returned while the run was still going");
            held.start();
        }
        system.join();
        QVERIFY(handled);
        QVERIFY(held.elapsed() < qint64(StopSignals::CloseGraceMs));
    }

    void aRunThatHangsIsEndedAfterTheGrace()
    {
        const auto stop = std::make_unique<StopSignals>();
        QElapsedTimer held;
        held.start();
        QVERIFY(StopSignals::handleConsoleEvent(CTRL_CLOSE_EVENT));
        QVERIFY(held.elapsed() >= qint64(StopSignals::CloseGraceMs) - 100);
        QVERIFY(held.elapsed() < qint64(StopSignals::CloseGraceMs) + 5000);
    }

    void closingAfterTheRunReturnsAtOnce()
    {
        {
            const StopSignals finished;
        }
        QElapsedTimer held;
        held.start();
        QVERIFY(StopSignals::handleConsoleEvent(CTRL_CLOSE_EVENT));
        QVERIFY(held.elapsed() < qint64(StopSignals::CloseGraceMs) / 2);
        // The request is still kept for a run that starts after it.
        StopSignals late;
        QSignalSpy requested(&late, &StopSignals::stopRequested);
        QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, 3000);
    }

    void otherConsoleEventsAreLeftToTheSystem()
    {
        StopSignals stop;
        QSignalSpy requested(&stop, &StopSignals::stopRequested);
        QVERIFY(!StopSignals::handleConsoleEvent(12345));
        QTest::qWait(200);
        QCOMPARE(requested.count(), 0);
    }
#endif
};

QTEST_GUILESS_MAIN(tst_StopSignals)
#include "tst_StopSignals.moc"
