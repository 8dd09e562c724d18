#include "ShutdownSignals.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace kalent;

// The stop requests of an unattended run: what the system delivers is only
// recorded, and a fresh run starts with none.
class tst_ShutdownSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestsAreRecorded_data()
    {
        QTest::addColumn<int>("request");
#ifdef Q_OS_WIN
        QTest::newRow("Ctrl-C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl-Break") << int(CTRL_BREAK_EVENT);
#else
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
#endif
    }
    void requestsAreRecorded()
    {
        QFETCH(int, request);
        {
            const ShutdownSignals shutdown;
            QVERIFY(!shutdown.requested());
#ifdef Q_OS_WIN
            QVERIFY(ShutdownSignals::handleConsoleEvent(static_cast<unsigned long>(request)));
#else
            std::raise(request);
#endif
            QVERIFY(shutdown.requested());
        }
        // The next run does not inherit the last one's request.
        const ShutdownSignals next;
        QVERIFY(!next.requested());
    }

#ifdef Q_OS_WIN
    void closingTheConsoleWaitsUntilTheRunHasStopped()
    {
        std::atomic<bool> handled{false};
        std::thread windows;
        QElapsedTimer held;
        {
            const ShutdownSignals shutdown;
            // Windows calls the handler on a thread of its own and ends the
            // process when it returns.
            windows = std::thread(
                [&] { handled = ShutdownSignals::handleConsoleEvent(CTRL_CLOSE_EVENT); });
            QTRY_VERIFY_WITH_TIMEOUT(shutdown.requested(), 5000);
            QTest::qWait(300);
            QVERIFY2(!handled, "the handler returned while the run was still going");
            held.start();
        }
        windows.join();
        QVERIFY(handled);
        QVERIFY(held.elapsed() < qint64(ShutdownSignals::CloseGraceMs));
    }

    void otherConsoleEventsAreLeftToTheSystem()
    {
        const ShutdownSignals shutdown;
        QVERIFY(!ShutdownSignals::handleConsoleEvent(12345));
        QVERIFY(!shutdown.requested());
    }
#else
    void thePreviousHandlersComeBack()
    {
        std::signal(SIGTERM, SIG_IGN);
        {
            const ShutdownSignals shutdown;
            const auto during = std::signal(SIGTERM, SIG_IGN);
            std::signal(SIGTERM, during);
            QVERIFY(during != SIG_IGN && during != SIG_DFL);
        }
        QVERIFY(std::signal(SIGTERM, SIG_DFL) == SIG_IGN);
    }
#endif
};

QTEST_GUILESS_MAIN(tst_ShutdownSignals)
#include "tst_ShutdownSignals.moc"
