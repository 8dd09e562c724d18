#include "BootLoader.h"
#include "ChildRun.h"
#include "MeasurementData.h"
#include "PtyInstrument.h"
#include "Session.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "firmware/FirmwareUpload.h"
#include "link/HostSerialPort.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace kalent;
using kalent::test::ChildRun;
using kalent::test::PtyInstrument;

namespace {

using Faults = ContactFaults::Settings;
using DataFault = VirtualInstrument::DataReplyFault;

// The built-in instrument's set-ups the cases use.
PtyInstrument::SetUp atBaud(int baud)
{
    return [baud](VirtualInstrument &instrument) {
        instrument.setBaud(baud);
    };
}

PtyInstrument::SetUp dataReplies(DataFault fault, const QByteArray &noise = {}, int gapMs = 0)
{
    return [=](VirtualInstrument &instrument) {
        instrument.setDataReplyFault(fault, noise, gapMs);
    };
}

QString exe()
{
    return QStringLiteral(KALENT_EXE);
}

// A process that waits for a line takes next to no processor time.
constexpr double MostCpuShare = 0.20;

qint64 ownCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QString lastLine(const ChildRun &run)
{
    return run.errText().trimmed().split(QLatin1Char('\n')).last();
}

QString describe(const ChildRun &run)
{
    return QStringLiteral("exit %1 after %2 ms, cpu %3 ms, rss %4 kB\n%5")
        .arg(run.exitCode)
        .arg(run.wallMs)
        .arg(run.cpuMs)
        .arg(run.maxRssKb)
        .arg(run.errText().right(800));
}

ChildRun readOd(const PtyInstrument &instrument, const QString &timeout, int limitMs = 30000)
{
    QTemporaryDir data;
    return ChildRun::run(
        exe(),
        {"read-od", "--port", instrument.path(), "--timeout", timeout, "--data-dir", data.path()},
        limitMs);
}

// How a table fails to come whole.
enum class TableFault { Babble, NoiseInside, HalfThenSilence };

} // namespace

// The real serial code and the real program against the built-in instrument on
// a pty, with its fault settings: the faults a line meets. Each case checks the
// outcome and that the program stayed idle while it waited.
class tst_LinkFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deviceVanishingWhileIdleClosesThePortAndAnotherPortGetsContact()
    {
        PtyInstrument first;
        QVERIFY(first.begin());
        SystemClock clock;
        HostSerialPort port;
        QTemporaryDir data;
        Session session(clock, port, DataFolder(data.path()));
        Connection &link = session.connection();
        link.openFirstPort({first.path()});
        link.searchWithFastestSpeed();
        QTRY_VERIFY_WITH_TIMEOUT(link.atFastestSpeed(), 10000);

        first.vanishNow();
        QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 3000);
        const LinkState &state = link.state();
        QVERIFY(!state.portOpen);
        QVERIFY(!state.lineUp);
        QCOMPARE(session.pane().text(), QString("Нет связи с прибором"));
        // Idle: the closed port is not polled or read.
        const qint64 cpuBefore = ownCpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(1000);
        const double share = double(ownCpuMs() - cpuBefore) / double(wall.elapsed());
        QVERIFY2(share < MostCpuShare, qPrintable(QString::number(share)));

        // No dead end: the port box takes another port, and "Контакт" finds the
        // instrument on it.
        QVERIFY(!state.searching());
        QVERIFY(!state.contact());
        PtyInstrument second;
        QVERIFY(second.begin());
        link.choosePort(second.path());
        QVERIFY(port.isOpen());
        QVERIFY(state.ports.contains(second.path()));
        link.contactOrStop();
        QVERIFY(state.searchAskedFor);
        QTRY_VERIFY_WITH_TIMEOUT(link.contact(), 10000);
        QCOMPARE(session.pane().text(), QString("Есть контакт с прибором"));
    }

    void deviceVanishingMidReplyEndsTheActionAtOnce()
    {
        PtyInstrument instrument({}, dataReplies(DataFault::HalfThenLineDrops));
        QVERIFY(instrument.begin());
        const ChildRun run = readOd(instrument, "10");
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.wallMs < 5000, qPrintable(describe(run)));
        QVERIFY(run.errText().contains("Нет связи с прибором"));
        QVERIFY(run.errText().contains(
            QString("Порт %1 закрыт: устройство отключено.").arg(instrument.path())));
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.cpuBelow(MostCpuShare), qPrintable(describe(run)));
    }

    void deviceVanishingMidSearchEndsTheActionAtOnce()
    {
        Faults faults;
        faults.dropLineAtProbe = 3; // 115200, then 4800 and 9600 of the search
        PtyInstrument instrument(faults, atBaud(57600));
        QVERIFY(instrument.begin());
        QTemporaryDir data;
        const ChildRun run = ChildRun::run(
            exe(), {"contact", "--port", instrument.path(), "--data-dir", data.path()}, 30000);
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.wallMs < 5000, qPrintable(describe(run)));
        QCOMPARE(lastLine(run),
                 QString("Порт %1 закрыт: устройство отключено.").arg(instrument.path()));
        QVERIFY2(run.cpuBelow(MostCpuShare), qPrintable(describe(run)));
    }

    void floodKeepsMemoryBounded()
    {
        // What a quiet exchange takes.
        PtyInstrument quiet;
        QVERIFY(quiet.begin());
        const ChildRun baseline = readOd(quiet, "2");
        QVERIFY2(baseline.exitCode == 0, qPrintable(describe(baseline)));

        // "D" and 32 MB of noise behind it: one reply that can never be.
        Faults faults;
        faults.floodAfterContact = 32 * 1024 * 1024;
        PtyInstrument flooding(faults);
        QVERIFY(flooding.begin());
        const ChildRun run = readOd(flooding, "1", 60000);
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.maxRssKb < baseline.maxRssKb + 8 * 1024,
                 qPrintable(describe(run) + QString("\nbaseline %1 kB").arg(baseline.maxRssKb)));
    }

    void replyArrivingByteByByteIsProgressAndCompletes()
    {
        // 873 bytes over more than the one-second timeout
        PtyInstrument instrument({}, dataReplies(DataFault::ByteByByte, {}, 3));
        QVERIFY(instrument.begin());
        const ChildRun run = readOd(instrument, "1");
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
        QVERIFY2(run.wallMs > 2000, qPrintable(describe(run)));
        const QList<QByteArray> rows = run.out.trimmed().split('\n');
        QCOMPARE(rows.size(), 8);
        const MeasurementData table;
        QCOMPARE(rows.first().split('\t').value(1), table.valueText(1, 1));
        // The output's last blank is trimmed with it.
        QCOMPARE(rows.last().split('\t').value(12), table.valueText(8, 12).trimmed());
        QVERIFY2(run.cpuBelow(MostCpuShare), qPrintable(describe(run)));
    }

    void searchIsNotGivenUpBeforeEverySpeedWasProbed()
    {
        // A timeout shorter than one cycle over the six speeds.
        PtyInstrument instrument({}, atBaud(57600));
        QVERIFY(instrument.begin());
        QTemporaryDir data;
        const ChildRun run = ChildRun::run(
            exe(),
            {"contact", "--port", instrument.path(), "--timeout", "1", "--data-dir", data.path()},
            30000);
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
        QCOMPARE(run.out, QByteArray("115200\n"));
        QVERIFY2(run.cpuBelow(MostCpuShare), qPrintable(describe(run)));
    }

    void instrumentAt115200IsFoundWithOneProbe()
    {
        PtyInstrument instrument;
        QVERIFY(instrument.begin());
        QTemporaryDir data;
        const ChildRun run = ChildRun::run(
            exe(), {"contact", "--port", instrument.path(), "--data-dir", data.path()}, 30000);
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
        QCOMPARE(run.out, QByteArray("115200\n"));
        QCOMPARE(instrument.probesHeard(), 1);
        QVERIFY(!run.errText().contains("Установка новой скорости обмена."));
    }

    void watchFindsAnInstrumentAt115200WithOneProbe()
    {
        PtyInstrument instrument;
        QVERIFY(instrument.begin());
        QTemporaryDir data;
        // The service runs until it is stopped: it is cut off once contact is long had.
        const ChildRun run = ChildRun::run(
            exe(), {"watch", "--port", instrument.path(), "--data-dir", data.path()}, 6000);
        QVERIFY2(run.errText().contains("Есть контакт с прибором на порту"),
                 qPrintable(describe(run)));
        QCOMPARE(instrument.probesHeard(), 1);
    }

    // A table that never comes whole ends the read with the same words, at the
    // deadline that applies: the action's timeout of no progress (noise is
    // none, however much of it comes), or the line's 10 s of silence when that
    // comes first.
    void tableThatNeverCompletesEndsTheActionAtItsDeadline_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<int>("fromMs");
        QTest::addColumn<int>("beforeMs");
        QTest::newRow("babble after contact") << int(TableFault::Babble) << "2" << 2000 << 6000;
        QTest::newRow("noise inside the table") << int(TableFault::NoiseInside) << "1" << 0 << 5000;
        QTest::newRow("silence mid-table")
            << int(TableFault::HalfThenSilence) << "120" << 0 << 40000;
    }

    void tableThatNeverCompletesEndsTheActionAtItsDeadline()
    {
        QFETCH(int, fault);
        QFETCH(QString, timeout);
        QFETCH(int, fromMs);
        QFETCH(int, beforeMs);
        Faults faults;
        PtyInstrument::SetUp setUp;
        switch (TableFault(fault)) {
        case TableFault::Babble:
            faults.babbleAfterContact = true;
            break;
        case TableFault::NoiseInside:
            setUp = dataReplies(DataFault::NoiseInside, "\xff\xfe\xfd");
            break;
        case TableFault::HalfThenSilence:
            setUp = dataReplies(DataFault::HalfThenSilence);
            break;
        }
        PtyInstrument instrument(faults, setUp);
        QVERIFY(instrument.begin());
        const ChildRun run = readOd(instrument, timeout, 90000);
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.wallMs >= fromMs && run.wallMs < beforeMs, qPrintable(describe(run)));
        QCOMPARE(lastLine(run), QString("Прибор не прислал таблицу оптических плотностей."));
        QVERIFY2(run.cpuBelow(MostCpuShare), qPrintable(describe(run)));
    }

    void restartReportDuringAnUploadStopsItsBytesAtOnce()
    {
        // The control program starts 120 ms after the header, while the image's
        // blocks still go out: what it hears after its report can only be what
        // the system already held, one block and the checksum at most.
        PtyInstrument instrument({}, [](VirtualInstrument &device) {
            BootLoader *loader = device.feature<BootLoader>();
            loader->setFault(BootLoader::Fault::StartsDuringUpload);
            loader->setStartsDuringUploadAfterMs(120);
            loader->enterProgrammingMode();
        });
        QVERIFY(instrument.begin());
        QTemporaryDir data;
        // Ten blocks: a second of sending still to come when the report goes out.
        constexpr int ImageSize = 100000;
        const QString image = data.filePath(QStringLiteral("image.tsk"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(ImageSize, 'z')), qint64(ImageSize));
        file.close();

        const ChildRun run = ChildRun::run(exe(),
                                           {"flash", "--port", instrument.path(), image,
                                            "--timeout", "10", "--data-dir", data.path()},
                                           60000);
        QVERIFY2(run.finished, qPrintable(describe(run)));
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(lastLine(run),
                 QStringLiteral("Прибор перезапустился до конца загрузки и запустил программу "
                                "управления: он не в режиме программирования. Загрузка "
                                "остановлена, повторите шаг 2."));
        QVERIFY(!run.errText().contains(QStringLiteral("Перепрограммирование прибора завершено")));
        QVERIFY(instrument.reportSent());
        const QString heard = QStringLiteral("%1 bytes before the report, %2 after")
                                  .arg(instrument.bytesBeforeReport())
                                  .arg(instrument.bytesAfterReport());
        qInfo("%s", qPrintable(heard));
        QVERIFY2(instrument.bytesAfterReport() <= FirmwareUpload::BlockSize + 2, qPrintable(heard));
        // The upload was indeed cut short: most of the image never went out.
        QVERIFY2(instrument.bytesBeforeReport() + instrument.bytesAfterReport() < ImageSize / 2,
                 qPrintable(heard));
    }
};

QTEST_GUILESS_MAIN(tst_LinkFaults)
#include "tst_LinkFaults.moc"
