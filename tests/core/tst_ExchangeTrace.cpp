#include "ScriptedPort.h"
#include "TestSupport.h"

#include "common/SystemErrorText.h"
#ifdef Q_OS_LINUX
// File faults are made the Linux way (FIFOs, RLIMIT_FSIZE).
#include "FileFaults.h"
#endif

#include "MeasurementData.h"
#include "ReplayScript.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <cerrno>

using namespace kalent;
using namespace kalent::test;

namespace {

// The core on a traced port in front of the built-in instrument, with the
// instrument's own log of what it heard and sent.
struct TracedRig
{
    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    SimulatedPort port{*instrument, clock};
    ExchangeTrace trace;
    TracingPort tracingPort{port, trace};
    QTemporaryDir dataDir;
    Session session{clock, tracingPort, DataFolder(dataDir.path())};
    QByteArray instrumentHeard;
    QByteArray instrumentSent;

    TracedRig()
    {
        QObject::connect(instrument.get(), &VirtualInstrument::heard,
                         [this](const QByteArray &bytes, int) { instrumentHeard += bytes; });
        QObject::connect(instrument.get(), &VirtualInstrument::transmitted,
                         [this](const QByteArray &bytes, int) { instrumentSent += bytes; });
    }

    QByteArray traced(TraceRecord::Direction direction) const
    {
        QByteArray all;
        for (const TraceRecord &r : trace.recent())
            if (r.direction == direction)
                all += r.bytes;
        return all;
    }
};

QByteArray line(const char *json)
{
    return QByteArray(json) + '\n';
}

std::vector<kalent::ReplayScript::Step> stepsOf(kalent::ReplayScript &script)
{
    std::vector<kalent::ReplayScript::Step> steps;
    kalent::ReplayScript::Position at;
    kalent::ReplayScript::Position next;
    while (std::optional<kalent::ReplayScript::Step> step = script.read(at, &next)) {
        steps.push_back(std::move(*step));
        at = next;
    }
    return steps;
}

} // namespace

class tst_ExchangeTrace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordsSurviveTheirJsonLineAndBadLinesSayWhy()
    {
        TraceRecord r;
        r.timeUs = 123456;
        r.direction = TraceRecord::Direction::Received;
        r.baud = 115200;
        r.port = QStringLiteral("/dev/pts/\"7\"");
        r.bytes = QByteArray("D\x00\xff\r\n", 5);
        const QByteArray json = r.toJsonLine();
        QVERIFY(!json.contains('\n'));
        QString error;
        const std::optional<TraceRecord> back = TraceRecord::fromJsonLine(json, &error);
        QVERIFY(back);
        QCOMPARE(back->bytes, r.bytes);
        QCOMPARE(back->port, r.port);
        QCOMPARE(back->baud, 115200);
        QCOMPARE(back->timeUs, 123456);
        QVERIFY(back->direction == TraceRecord::Direction::Received);
        r.direction = TraceRecord::Direction::Unasked;
        QVERIFY(TraceRecord::fromJsonLine(r.toJsonLine(), &error)->direction ==
                TraceRecord::Direction::Unasked);

        QVERIFY(!TraceRecord::fromJsonLine("{\"t_us\":1,\"dir\":\"tx\",\"hex\":\"4\"}", &error));
        QVERIFY(error.contains(QStringLiteral("hex")));
        QVERIFY(!TraceRecord::fromJsonLine("{\"t_us\":1,\"dir\":\"up\",\"hex\":\"47\"}", &error));
        QVERIFY(!TraceRecord::fromJsonLine("{\"dir\":\"tx\",\"hex\":\"47\"}", &error));
        QVERIFY(!TraceRecord::fromJsonLine("not json", &error));
    }

    void timesAreMicrosecondsOfTheRun()
    {
        // A replay waits as the trace says: a time in another unit would play
        // the exchange a thousand times too fast or too slow.
        ExchangeTrace trace;
        trace.record(TraceRecord::Direction::Sent, 9600, QStringLiteral("p"), "G");
        QElapsedTimer waited;
        waited.start();
        QThread::msleep(30);
        trace.record(TraceRecord::Direction::Received, 9600, QStringLiteral("p"), "D");
        const qint64 elapsedUs = waited.nsecsElapsed() / 1000;
        const qint64 apart = trace.recent().back().timeUs - trace.recent().front().timeUs;
        QVERIFY2(apart >= 30000 && apart <= elapsedUs + 1000,
                 qPrintable(QStringLiteral("%1 µs apart, %2 µs waited").arg(apart).arg(elapsedUs)));
    }

    void eachReadAndEachTurnsSendingIsOneRecordAndInputThrownAwayIsDropped()
    {
        ScriptedPort port;
        port.setPortName(QStringLiteral("p"));
        QVERIFY(port.setSettings(settingsOfBaud(115200)) && port.open());
        ExchangeTrace trace;
        TracingPort traced(port, trace);
        port.queue = "noise";
        traced.discardInput();
        // A page handed over a byte at a time reaches the port at once.
        for (const char byte : QByteArray("mpage"))
            traced.output(QByteArray(1, byte));
        QCOMPARE(port.written, QByteArray("mpage"));
        port.queue = "D1";
        QCOMPARE(traced.input(), QByteArray("D1"));
        traced.output("r");
        QCoreApplication::processEvents(); // the turn ends
        traced.output("s");
        QVERIFY(traced.setSettings(settingsOfBaud(9600)));
        traced.output("t");
        QCoreApplication::processEvents();
        QStringList said;
        for (const TraceRecord &r : trace.recent())
            said << QStringLiteral("%1 %2 ").arg(int(r.direction)).arg(r.baud) + r.bytes;
        QCOMPARE(said, (QStringList{"3 115200 noise", "1 115200 mpage", "2 115200 D1", "1 115200 r",
                                    "1 115200 s", "1 9600 t"}));
    }

    void everyExchangeIsTracedAsTheInstrumentLoggedIt()
    {
        TracedRig rig;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.jsonl"));
        QCOMPARE(rig.trace.openFile(path), QString());
        rig.session.connection().openFirstPort({QStringLiteral("sim")});
        rig.session.connection().searchWithFastestSpeed();
        QVERIFY(rig.clock.advanceUntil([&] { return rig.session.connection().atFastestSpeed(); },
                                       30000));
        bool table = false;
        bool protocol = false;
        QObject::connect(&rig.session.reader(), &OpticalDensityReader::tableReceived,
                         [&] { table = true; });
        QObject::connect(&rig.session.results(), &ResultsProtocol::protocolReceived,
                         [&] { protocol = true; });
        rig.session.reader().readTable();
        QVERIFY(rig.clock.advanceUntil([&] { return table; }, 10000));
        rig.session.results().readProtocol();
        QVERIFY(rig.clock.advanceUntil([&] { return protocol; }, 10000));
        rig.clock.advance(100);

        QCOMPARE(rig.traced(TraceRecord::Direction::Sent), rig.instrumentHeard);
        QCOMPARE(rig.traced(TraceRecord::Direction::Received) +
                     rig.traced(TraceRecord::Direction::Dropped),
                 rig.instrumentSent);
        QVERIFY(rig.instrumentHeard.contains("Gg"));

        // The file holds the same entries, after the run's start entry, in order.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), static_cast<int>(rig.trace.recent().size()) + 1);
        QString error;
        QVERIFY(TraceRecord::fromJsonLine(lines.first(), &error)->direction ==
                TraceRecord::Direction::Start);
        qint64 previous = -1;
        for (int i = 1; i < lines.size(); ++i) {
            const std::optional<TraceRecord> r = TraceRecord::fromJsonLine(lines.at(i), &error);
            QVERIFY2(r, qPrintable(error));
            QCOMPARE(r->bytes, rig.trace.recent().at(static_cast<size_t>(i - 1)).bytes);
            QCOMPARE(r->port, QStringLiteral("sim"));
            QVERIFY(r->timeUs >= previous);
            previous = r->timeUs;
        }
    }

    void aTraceFileThatFailsIsReportedOnceAndStopsNothing()
    {
        TracedRig rig;
        QSignalSpy failures(&rig.trace, &ExchangeTrace::writeFailed);
        QTemporaryDir dir;
        QVERIFY(!rig.trace.openFile(dir.filePath(QStringLiteral("missing/trace.jsonl"))).isEmpty());
#ifdef Q_OS_LINUX
        // A device is no trace file: refused at the opening, said there, once.
        QVERIFY(rig.trace.openFile(QStringLiteral("/dev/full"))
                    .endsWith(SystemErrorText::notRegularFile()));
        QCOMPARE(failures.count(), 0);
#endif
        rig.session.connection().openFirstPort({QStringLiteral("sim")});
        rig.session.connection().searchWithFastestSpeed();
        QVERIFY(rig.clock.advanceUntil([&] { return rig.session.connection().atFastestSpeed(); },
                                       30000));
        QVERIFY(failures.count() <= 1);
        QVERIFY(!rig.trace.recent().empty());
    }

    void theEntriesKeptInMemoryStayBounded()
    {
        ExchangeTrace trace;
        const QByteArray piece(4096, 'x');
        const int pieces = static_cast<int>(ExchangeTrace::KeptBytes / piece.size()) + 50;
        for (int i = 0; i < pieces; ++i)
            trace.record(TraceRecord::Direction::Received, 115200, QStringLiteral("p"), piece);
        qint64 kept = 0;
        for (const TraceRecord &r : trace.recent())
            kept += r.bytes.size();
        QVERIFY(kept <= ExchangeTrace::KeptBytes);
        QVERIFY(kept > ExchangeTrace::KeptBytes - piece.size() - 1);
        for (int i = 0; i < ExchangeTrace::KeptInMemory + 10; ++i)
            trace.record(TraceRecord::Direction::Sent, 115200, QStringLiteral("p"), "G");
        QCOMPARE(trace.recent().size(), static_cast<size_t>(ExchangeTrace::KeptInMemory));

        QSignalSpy recorded(&trace, &ExchangeTrace::recorded);
        trace.setKeepRecent(false);
        trace.record(TraceRecord::Direction::Sent, 115200, QStringLiteral("p"), "g");
        QVERIFY(trace.recent().empty());
        QCOMPARE(recorded.count(), 1);
    }

    void aMalformedReplayFileIsRefusedWithItsLineNumber()
    {
        QString error;
        const QByteArray text =
            line("{\"t_us\":0,\"dir\":\"start\",\"wall\":\"x\",\"port\":\"\"}") + "\n" +
            line("{\"t_us\":10,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"42\"}") +
            line("{\"t_us\":20,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"zz\"}");
        QVERIFY(!ReplayScript::parse(text, &error));
        QVERIFY2(error.startsWith(QStringLiteral("строка 4:")), qPrintable(error));
        QVERIFY(!ReplayScript::parse(line("{\"t_us\":0,\"dir\":\"start\"}"), &error));
        QVERIFY(error.contains(QStringLiteral("нет ни одного обмена")));
    }

    void aReplayScriptJoinsCommandsIntoStepsWithTheirDelays()
    {
        const QByteArray text =
            line("{\"t_us\":5000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"4c\"}") +
            line("{\"t_us\":100000,\"dir\":\"tx\",\"baud\":4800,\"hex\":\"42\"}") +
            line("{\"t_us\":300000,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"42\"}") +
            line("{\"t_us\":330000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"4231\"}") +
            line("{\"t_us\":400000,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"6703\"}") +
            line("{\"t_us\":450000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"4e\"}") +
            line("{\"t_us\":470000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"3030\"}");
        QString error;
        std::unique_ptr<ReplayScript> script = ReplayScript::parse(text, &error);
        QVERIFY2(script, qPrintable(error));
        // The opening report, then one command per speed, then g with its pair.
        const std::vector<ReplayScript::Step> steps = stepsOf(*script);
        QCOMPARE(script->stepCount(), 4);
        QCOMPARE(steps.size(), size_t(4));
        QCOMPARE(script->firstBaud(), 4800);
        QCOMPARE(steps.at(1).line, 2);
        QCOMPARE(steps.at(3).expected, QByteArray("g\x03"));
        QCOMPARE(steps.at(3).replies.at(1).delayMs, 70);
    }

#ifdef Q_OS_LINUX
    void aFifoAsTraceFileIsRefusedWithoutWaitingForAReader()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("trace.fifo"));
        QVERIFY(makeFifo(fifo));
        ExchangeTrace trace;
        QElapsedTimer took;
        took.start();
        const QString said = trace.openFile(fifo);
        QVERIFY(took.elapsed() < 5000);
        QVERIFY2(said.endsWith(SystemErrorText::notRegularFile()), qPrintable(said));
        QVERIFY(!trace.writingFile());
    }

    void aFileThatFillsUpMidRunEndsWithAWholeLineAndSaysWhyOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.jsonl"));
        ExchangeTrace trace;
        QSignalSpy failures(&trace, &ExchangeTrace::writeFailed);
        {
            // The limit falls inside the third entry, as a full disk would.
            FileSizeLimit limit(4096);
            QCOMPARE(trace.openFile(path), QString());
            for (int i = 0; i < 20; ++i)
                trace.record(TraceRecord::Direction::Received, 115200, QStringLiteral("/dev/x"),
                             QByteArray(700, char('A' + i)));
        }
        QCOMPARE(failures.count(), 1);
        const QString said = failures.first().first().toString();
        QVERIFY2(said.endsWith(SystemErrorText::fromErrno(EFBIG)), qPrintable(said));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.endsWith('\n'));
        QString error;
        QVERIFY2(ReplayScript::parse(text, &error), qPrintable(error));
        QCOMPARE(text.count('\n'), 3); // start and two entries of 1,400 hex digits
    }
#endif

    void replayEntriesOfTheWrongTypeAreRefusedWithTheirLine_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("why");
        const QString baud = QStringLiteral("\"baud\"");
        const QString time = QStringLiteral("\"t_us\"");
        QTest::newRow("baud text") << QByteArray("\"baud\":\"abc\",\"t_us\":5") << baud;
        QTest::newRow("baud null") << QByteArray("\"baud\":null,\"t_us\":5") << baud;
        QTest::newRow("baud fraction") << QByteArray("\"baud\":0.5,\"t_us\":5") << baud;
        QTest::newRow("baud 2^64")
            << QByteArray("\"baud\":18446744073709551616,\"t_us\":5") << baud;
        QTest::newRow("baud negative") << QByteArray("\"baud\":-9600,\"t_us\":5") << baud;
        QTest::newRow("time fraction") << QByteArray("\"baud\":9600,\"t_us\":5.5") << time;
        QTest::newRow("time 1e300") << QByteArray("\"baud\":9600,\"t_us\":1e300") << time;
        QTest::newRow("time past a year")
            << QByteArray("\"baud\":9600,\"t_us\":31622400000001") << time;
        // Given, only in quotes: said to be no number, not to be missing.
        QTest::newRow("time text") << QByteArray("\"baud\":9600,\"t_us\":\"5\"")
                                   << QStringLiteral("\"t_us\" не число, а строка");
    }
    void replayEntriesOfTheWrongTypeAreRefusedWithTheirLine()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, why);
        const QByteArray text = line("{\"t_us\":0,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"47\"}") +
                                "{\"dir\":\"rx\",\"hex\":\"44\"," + entry + "}\n";
        QString error;
        QVERIFY(!ReplayScript::parse(text, &error));
        QVERIFY2(error.startsWith(QStringLiteral("строка 2:")) && error.contains(why),
                 qPrintable(error));
    }

    void aLineLongerThanAnyEntryIsRefusedWithoutReadingItWhole()
    {
        const QByteArray text = line("{\"t_us\":0,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"47\"}") +
                                "{\"t_us\":1,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"" +
                                QByteArray(5 * 1024 * 1024, 'a') + "\"}\n";
        QString error;
        QVERIFY(!ReplayScript::parse(text, &error));
        QVERIFY2(error.startsWith(QStringLiteral("строка 2 длиннее")), qPrintable(error));
    }

    void twoRunsAppendedEachTimeFromTheirOwnStart()
    {
        // The second run's clock starts again near zero: its reply is 40 ms
        // after its command, not a negative or huge pause.
        const QByteArray text =
            line("{\"t_us\":0,\"dir\":\"start\",\"wall\":\"a\",\"port\":\"\"}") +
            line("{\"t_us\":900000000,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"47\"}") +
            line("{\"t_us\":900020000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"44\"}") +
            line("{\"t_us\":0,\"dir\":\"start\",\"wall\":\"b\",\"port\":\"\"}") +
            line("{\"t_us\":1000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"4c\"}") +
            line("{\"t_us\":5000,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"67\"}") +
            line("{\"t_us\":45000,\"dir\":\"rx\",\"baud\":9600,\"hex\":\"4e\"}");
        QString error;
        const std::unique_ptr<ReplayScript> script = ReplayScript::parse(text, &error);
        QVERIFY2(script, qPrintable(error));
        const std::vector<ReplayScript::Step> steps = stepsOf(*script);
        QCOMPARE(steps.size(), size_t(2));
        QCOMPARE(steps.at(0).replies.at(0).delayMs, 20);
        // The second run's "L" before any command belongs to the step before it,
        // 1 ms after its start; then g is answered 40 ms later.
        QCOMPARE(steps.at(0).replies.at(1).delayMs, 1);
        QCOMPARE(steps.at(1).replies.at(0).delayMs, 40);
    }
};

QTEST_GUILESS_MAIN(tst_ExchangeTrace)
#include "tst_ExchangeTrace.moc"
