#include "ChildRun.h"
#include "FileFaults.h"
#include "TestSupport.h"

#include "common/SystemErrorText.h"
#include "link/HostSerialPort.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kalent;
using namespace kalent::test;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

// Several times what a start-up takes on a busy two-core machine.
constexpr int QuickRunMs = 20000;

ChildRun runService(const QStringList &arguments, int limitMs = QuickRunMs)
{
    return ChildRun::run(Service, arguments, limitMs);
}

} // namespace

// Inputs, targets and options the program must look at before it uses them, and
// the stop signals it must take from its first moment, through the executable.
class tst_InputsAndSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void optionsOutOfRangeAreUsageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString replay = testDataPath(QStringLiteral("database/mixed.bdt"));
        QTest::newRow("timeout nan") << QStringList{"contact", "--port", "sim", "--timeout", "nan"};
        QTest::newRow("timeout inf") << QStringList{"contact", "--port", "sim", "--timeout", "inf"};
        QTest::newRow("timeout 1e300")
            << QStringList{"read-od", "--port", "sim", "--timeout", "1e300"};
        QTest::newRow("timeout 0")
            << QStringList{"db-read", "--port", "sim", "--out", "x", "--timeout", "0"};
        QTest::newRow("notices huge") << QStringList{"simulate", "--pty", "--notices", "3000000"};
        QTest::newRow("notices nan") << QStringList{"simulate", "--pty", "--notices", "nan"};
        QTest::newRow("boot-fault empty") << QStringList{"simulate", "--pty", "--boot-fault", ""};
        QTest::newRow("replay with bad baud")
            << QStringList{"simulate", "--pty", "--replay", replay, "--baud", "abc"};
        QTest::newRow("replay with bad notices")
            << QStringList{"simulate", "--pty", "--replay", replay, "--notices", "inf"};
        QTest::newRow("replay with empty boot-fault")
            << QStringList{"simulate", "--pty", "--replay", replay, "--boot-fault", ""};
        QTest::newRow("data-dir empty") << QStringList{"db-list", replay, "--data-dir", ""};
        QTest::newRow("trace empty") << QStringList{"contact", "--port", "sim", "--trace", ""};
        QTest::newRow("replay without sim")
            << QStringList{"read-od", "--port", "/dev/null", "--replay", replay};
        QTest::newRow("replay in the window without sim") << QStringList{"--replay", replay};
        QTest::newRow("replay empty") << QStringList{"read-od", "--port", "sim", "--replay", ""};
        QTest::newRow("replay where no port") << QStringList{"db-list", replay, "--replay", replay};
        QTest::newRow("journal port") << QStringList{"journal", "--port", "sim"};
        QTest::newRow("since hour 25") << QStringList{"journal", "--since", "2026-12-07T25:00"};
        QTest::newRow("since trailing") << QStringList{"journal", "--since", "2026-05-15xyz"};
        QTest::newRow("since minute 99") << QStringList{"journal", "--since", "2026-05-15T10:99"};
    }
    void optionsOutOfRangeAreUsageErrors()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir data;
        if (!arguments.contains(QStringLiteral("--data-dir")))
            arguments << QStringLiteral("--data-dir") << data.path();
        const ChildRun r = runService(arguments);
        QVERIFY2(r.finished, "the program hung on a bad option");
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(QStringLiteral("Использование")), r.err.constData());
    }

    void everyInputThatIsNoRegularFileIsRefusedWithoutHanging()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("input.fifo"));
        QVERIFY(makeFifo(fifo));
        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        const QString out = dir.filePath(QStringLiteral("out.bdt"));
        const QList<QStringList> runs = {
            {"db-list", fifo},
            {"db-add", golden, fifo, "--out", out},
            {"db-add", fifo, golden, "--out", out},
            {"db-delete", fifo, "--node", "A", "--out", out},
            {"simulate", "--pty", "--replay", fifo},
            {"read-od", "--port", "sim", "--replay", fifo},
        };
        for (QStringList arguments : runs) {
            arguments << QStringLiteral("--data-dir") << dir.path();
            const ChildRun r = runService(arguments);
            QVERIFY2(r.finished, qPrintable(arguments.join(QLatin1Char(' '))));
            QVERIFY2(r.exitCode == 1 || r.exitCode == 2, qPrintable(arguments.join(' ')));
            QVERIFY2(r.errText().contains(SystemErrorText::notRegularFile()), r.err.constData());
            QVERIFY(!QFile::exists(out));
        }

        // The journal: a FIFO or a folder in its place is refused and named.
        QTemporaryDir data;
        const QString journal = data.filePath(QStringLiteral("ServiceJournal.txt"));
        QVERIFY(makeFifo(journal));
        ChildRun r = runService({"journal", "--data-dir", data.path()});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(SystemErrorText::notRegularFile()), r.err.constData());
        QVERIFY(QFile::remove(journal));
        QVERIFY(QDir(data.path()).mkdir(QStringLiteral("ServiceJournal.txt")));
        r = runService({"journal", "--data-dir", data.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(SystemErrorText::fromErrno(EISDIR)), r.err.constData());
    }

    void aTraceTargetThatIsNoFileIsSaidOnceAndTheActionRuns()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("trace.fifo"));
        QVERIFY(makeFifo(fifo));
        for (const QString &target : {fifo, QStringLiteral("/dev/full")}) {
            const ChildRun r = runService(
                {"contact", "--port", "sim", "--trace", target, "--data-dir", dir.path()});
            QVERIFY2(r.finished, qPrintable(target));
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.errText().count(QStringLiteral("файл трассы обмена")), 1);
            QVERIFY2(r.errText().contains(SystemErrorText::notRegularFile()), r.err.constData());
        }
    }

    void journalCreatesNoFolderAndHonoursTheTime()
    {
        QTemporaryDir dir;
        // A folder named that is not there is a mistyped name, said as one;
        // nothing is created either way.
        const QString missing = dir.filePath(QStringLiteral("not/yet"));
        ChildRun r = runService({"journal", "--data-dir", missing});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("не найдена")), r.err.constData());
        QVERIFY(!QFileInfo::exists(missing));
        r = runService({"journal", "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("ServiceJournal.txt"))));

        QFile journal(dir.filePath(QStringLiteral("ServiceJournal.txt")));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("2026-12-07T09:00:00.000Z\tутро\n2026-12-07T15:00:00.000Z\tдень\n");
        journal.close();
        r = runService({"journal", "--since", "2026-12-07T14:14Z", "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("2026-12-07T15:00:00.000Z\tдень\n"));
    }

    void aTwoGigabyteJournalIsShownInLittleMemory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ServiceJournal.txt"));
        {
            // An old line two gigabytes long (sparse: it takes no disk), then a new one.
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("2020-01-01T00:00:00.000Z\told ");
            if (!f.resize(qint64(2) * 1024 * 1024 * 1024))
                QSKIP("no sparse file of 2 GB here");
            QVERIFY(f.seek(f.size()));
            f.write("\n2026-12-07T15:00:00.000Z\tnew\n");
        }
        const ChildRun r =
            runService({"journal", "--since", "2026-01-01", "--data-dir", dir.path()}, 300000);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("2026-12-07T15:00:00.000Z\tnew\n"));
        QVERIFY2(r.maxRssKb < 200 * 1024, qPrintable(QString::number(r.maxRssKb)));
    }

    void writingToTheInstrumentNeedsItsJournalLine()
    {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkdir(QStringLiteral("ServiceJournal.txt")));
        const ChildRun r = runService({"db-write", "--port", "sim",
                                       testDataPath(QStringLiteral("database/mixed.bdt")),
                                       "--data-dir", data.path()});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("это папка, а не файл")) &&
                     r.errText().contains(QStringLiteral("Запись БД ТС в прибор не начата")),
                 r.err.constData());
    }

    void watchRefusesAFolderThatTakesNoFile()
    {
        // /proc takes no new file, not even from root.
        const ChildRun r = runService({"watch", "--port", "sim", "--data-dir", "/proc"});
        QVERIFY2(r.finished, "watch started on a folder it cannot write");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("Наблюдение не начато")), r.err.constData());
        QVERIFY(!r.errText().contains(QStringLiteral("Есть контакт")));
    }

    void oneDeviceUnderTwoNamesIsOpenedOnce()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString slave = QString::fromLocal8Bit(::ptsname(master));
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("instrument"));
        QVERIFY(QFile::link(slave, link));

        HostSerialPort first;
        first.setPortName(slave);
        QVERIFY2(first.open(), qPrintable(first.errorString()));
        // Another name for the same device (as root, too) finds it taken.
        HostSerialPort second;
        second.setPortName(link);
        QVERIFY(!second.open());
        QVERIFY2(second.errorString().contains(QStringLiteral("занято")),
                 qPrintable(second.errorString()));
        first.close();
        QVERIFY2(second.open(), qPrintable(second.errorString()));
        second.close();
        ::close(master);
    }

    void aStopSignalRightAfterThePathEndsThePtyCleanly()
    {
        for (int i = 0; i < 6; ++i) {
            QProcess p;
            p.start(Service, {"simulate", "--pty"});
            QVERIFY(p.waitForReadyRead(QuickRunMs));
            QVERIFY(p.readLine().startsWith("/dev/"));
            ::kill(static_cast<pid_t>(p.processId()), i % 2 ? SIGINT : SIGTERM);
            QVERIFY(p.waitForFinished(QuickRunMs));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
        }
    }

    void aStopSignalMidUploadCancelsItAndJournalsWhy_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void aStopSignalMidUploadCancelsItAndJournalsWhy()
    {
        QFETCH(int, signal);
        QTemporaryDir data;
        // 400,000 bytes: 40 blocks a tenth of a second apart, four seconds.
        const QString image = data.filePath(QStringLiteral("big.tsk"));
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(400000, '\x5a'));
        f.close();
        QProcess p;
        p.start(Service, {"flash", "--port", "sim", image, "--data-dir", data.path()});
        QVERIFY(p.waitForStarted());
        const QString journal = data.filePath(QStringLiteral("ServiceJournal.txt"));
        QDeadlineTimer started(QuickRunMs);
        while (!QFile::exists(journal) && !started.hasExpired())
            QTest::qWait(20);
        QTest::qWait(300);
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(QuickRunMs));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.trimmed().endsWith(QStringLiteral("Остановка по сигналу: загрузка прервана.")),
                 qPrintable(err));
        QFile j(journal);
        QVERIFY(j.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(j.readAll());
        QVERIFY2(text.contains(QStringLiteral("итог: начата")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("итог: прервана: программа завершается по сигналу")),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(tst_InputsAndSignals)
#include "tst_InputsAndSignals.moc"
