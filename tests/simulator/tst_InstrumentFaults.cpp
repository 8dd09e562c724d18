#include "BootLoader.h"
#include "ContactFaults.h"
#include "ManualClock.h"
#include "MeasurementData.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"

#include <QtTest>

using namespace kalent;

namespace {

using DataFault = VirtualInstrument::DataReplyFault;

// The built-in instrument at 115200 on the modelled line, the port open.
struct FaultyLine
{
    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    SimulatedPort port{*instrument, clock};
    QByteArray table = instrument->feature<MeasurementData>()->tableReply();

    FaultyLine()
    {
        port.open();
        port.setSettings(QStringLiteral("115200,n,8,1"));
    }
    QByteArray ask(const QByteArray &command, qint64 ms, int baud = 115200)
    {
        port.setSettings(QStringLiteral("%1,n,8,1").arg(baud));
        port.output(command);
        clock.advance(ms);
        return port.input();
    }
};

} // namespace

// The built-in instrument's fault settings, in-process on a manual clock: what
// reaches the program, and when.
class tst_InstrumentFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dataReplyFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("noise");
        // What has arrived after 20 ms and after 5 s, as parts of the table
        // (-1: all of it) with the noise between the two.
        QTest::addColumn<int>("soonBytes");
        QTest::addColumn<int>("laterHead");
        QTest::addColumn<bool>("laterNoiseAndRest");
        QTest::addColumn<bool>("portOpen");
        const QByteArray noise("\xff\xfe\xfd");
        // 20 ms at 115200 carries 230 bytes.
        QTest::newRow("none") << int(DataFault::None) << QByteArray() << 230 << -1 << false << true;
        QTest::newRow("withheld") << int(DataFault::Withheld) << QByteArray() << 0 << 0 << false
                                  << true;
        QTest::newRow("noise inside")
            << int(DataFault::NoiseInside) << noise << 230 << 436 << true << true;
        QTest::newRow("half, then silence")
            << int(DataFault::HalfThenSilence) << QByteArray() << 230 << 436 << false << true;
        QTest::newRow("byte by byte, 3 ms apart")
            << int(DataFault::ByteByByte) << QByteArray() << 7 << -1 << false << true;
    }
    void dataReplyFaults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, noise);
        QFETCH(int, soonBytes);
        QFETCH(int, laterHead);
        QFETCH(bool, laterNoiseAndRest);
        QFETCH(bool, portOpen);
        FaultyLine line;
        line.instrument->setDataReplyFault(DataFault(fault), noise, 3);
        // The one-letter answers pass untouched.
        QCOMPARE(line.ask("B", 5), QByteArray("B"));
        QByteArray arrived = line.ask("G", 20);
        QCOMPARE(arrived, line.table.left(soonBytes));
        line.clock.advance(5000);
        arrived += line.port.input();
        QByteArray expected = laterHead < 0 ? line.table : line.table.left(laterHead);
        if (laterNoiseAndRest)
            expected += noise + line.table.mid(laterHead);
        QCOMPARE(arrived, expected);
        QCOMPARE(line.port.isOpen(), portOpen);
    }

    void aReplyCutByTheLineDroppingEndsWithTheDeviceGone()
    {
        FaultyLine line;
        line.instrument->setDataReplyFault(DataFault::HalfThenLineDrops);
        QByteArray arrived = line.ask("G", 45);
        QCOMPARE(arrived, line.table.left(436));
        QVERIFY(line.port.isOpen());
        line.clock.advance(20);
        QVERIFY(!line.port.isOpen());
        QVERIFY(!line.port.open());
        QCOMPARE(line.port.errorString(), QStringLiteral("Устройство отключено"));
    }

    void theLineDropsOnTheProbeThatMakesTheCountAtAnotherSpeed_data()
    {
        QTest::addColumn<QList<int>>("probeBauds");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("two probes") << QList<int>{115200, 4800} << false;
        QTest::newRow("the third") << QList<int>{115200, 4800, 9600} << true;
        QTest::newRow("the third answered") << QList<int>{115200, 4800, 57600} << false;
    }
    void theLineDropsOnTheProbeThatMakesTheCountAtAnotherSpeed()
    {
        QFETCH(QList<int>, probeBauds);
        QFETCH(bool, dropped);
        FaultyLine line;
        line.instrument->setBaud(57600);
        ContactFaults faults(*line.instrument, {3, false, 0});
        for (int baud : probeBauds)
            line.ask("B", 10, baud);
        // The line drops just after the read that carried the probe.
        QCoreApplication::processEvents();
        QCOMPARE(faults.probesHeard(), probeBauds.size());
        QCOMPARE(!line.port.isOpen(), dropped);
    }

    void afterContactOnlyTheProbeIsAnswered_data()
    {
        QTest::addColumn<bool>("babble");
        QTest::addColumn<qint64>("flood");
        QTest::addColumn<int>("noiseAfterASecond");
        QTest::newRow("flood") << false << qint64(5000) << 4999;
        // A second of babble: 100 rounds of 115 bytes, give or take the last.
        QTest::newRow("babble") << true << qint64(0) << 70 * 115;
    }
    void afterContactOnlyTheProbeIsAnswered()
    {
        QFETCH(bool, babble);
        QFETCH(qint64, flood);
        QFETCH(int, noiseAfterASecond);
        FaultyLine line;
        ContactFaults faults(*line.instrument, {0, babble, flood});
        QCOMPARE(line.ask("B", 5), QByteArray("B"));
        QCOMPARE(line.ask("G", ContactFaults::AfterContactMs - 20), QByteArray());
        QCOMPARE(line.ask("B", 5), QByteArray("B"));
        line.clock.advance(20);
        line.clock.advance(1000);
        const QByteArray arrived = line.port.input();
        QVERIFY2(arrived.startsWith('D') && arrived.size() - 1 >= noiseAfterASecond,
                 qPrintable(QString::number(arrived.size())));
        // Noise is no reply code: every byte after "D" has its high bit set.
        for (qsizetype i = 1; i < arrived.size(); ++i)
            QVERIFY(static_cast<unsigned char>(arrived.at(i)) >= 0x80);
        if (!babble)
            QCOMPARE(arrived.size(), qsizetype(flood));
    }

    void theControlProgramStartsASetTimeAfterTheUploadsHeader()
    {
        FaultyLine line;
        BootLoader *loader = line.instrument->feature<BootLoader>();
        loader->setFault(BootLoader::Fault::StartsDuringUpload);
        loader->setStartsDuringUploadAfterMs(120);
        loader->enterProgrammingMode();
        // 55 AA, then the length of a 1000-byte image + 6, low byte first.
        QCOMPARE(line.ask(QByteArray::fromHex("55aaee030000") + QByteArray(100, 'z'), 100),
                 QByteArray());
        QVERIFY(loader->inProgrammingMode());
        QCOMPARE(line.ask(QByteArray(100, 'z'), 30), QByteArray("L"));
        QVERIFY(!loader->inProgrammingMode());
    }
};

QTEST_GUILESS_MAIN(tst_InstrumentFaults)
#include "tst_InstrumentFaults.moc"
