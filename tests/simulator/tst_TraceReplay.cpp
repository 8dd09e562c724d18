#include "ReplayRig.h"
#include "SessionAssembly.h"
#include "SimulatedPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// A trace of steps, each a command at 9600 and its one-byte answer 1 ms later.
QByteArray stepsTrace(const QList<QByteArray> &commands, const QByteArray &answers)
{
    QByteArray text;
    qint64 t = 0;
    for (int i = 0; i < commands.size(); ++i) {
        text += traceEntry(t += 1000, "tx", 9600, commands.at(i));
        text += traceEntry(t += 1000, "rx", 9600, answers.mid(i, 1));
    }
    return text;
}

} // namespace

// The built-in instrument answering from a recorded trace: the pace, the
// departures and where it picks up again, in-process as on a pty.
class tst_TraceReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersEachCommandAtTheRecordedPace()
    {
        const QByteArray text =
            traceEntry(5000, "rx", 9600, "L") + traceEntry(100000, "tx", 4800, "B") +
            traceEntry(300000, "tx", 9600, "B") + traceEntry(330000, "rx", 9600, "B1") +
            traceEntry(400000, "tx", 9600, "g\x03") + traceEntry(450000, "rx", 9600, "N") +
            traceEntry(470000, "rx", 9600, "00");
        ReplayRig rig(ReplayRig::parse(text));
        QCOMPARE(rig.replay->stepCount(), 4);
        rig.replay->start();
        rig.clock.advance(5);
        QCOMPARE(rig.sent, QByteArray("L"));
        rig.hear("B", 4800);
        rig.hear("B", 9600, 29);
        QCOMPARE(rig.sent, QByteArray("L"));
        rig.clock.advance(1);
        QCOMPARE(rig.sent, QByteArray("LB1"));
        rig.hear("g\x03", 9600, 50);
        QCOMPARE(rig.sent, QByteArray("LB1N"));
        rig.clock.advance(20);
        QCOMPARE(rig.sent, QByteArray("LB1N00"));
        QCOMPARE(rig.finished, 1);
        QVERIFY2(rig.departures.isEmpty(), qPrintable(rig.departures.join('\n')));

        rig.hear("x", 9600);
        QCOMPARE(rig.departures.size(), 1);
        QVERIFY(rig.departures.first().contains(QStringLiteral("после конца записи")));
    }

    // Where the replay picks up after the program departs: at the next step
    // after the current one that begins with the byte sent, exactly as a fresh
    // look through the rest of the trace finds it, whatever was looked up before.
    void picksUpWhereTheNextMatchingCommandBegins_data()
    {
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QByteArray>("sentByProgram");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("departures");
        QTest::addColumn<int>("stepsAnswered");

        const QList<QByteArray> bgGg = {"B", "g", "G", "g"};
        QTest::newRow("unknown bytes stay at the first step")
            << bgGg << QByteArray("xxx") << QByteArray() << 3 << 0;
        QTest::newRow("a skipped step is not answered")
            << bgGg << QByteArray("BGg") << QByteArray("acd") << 1 << 3;
        QTest::newRow("a later step after an unknown byte")
            << bgGg << QByteArray("xBg") << QByteArray("ab") << 1 << 2;
        // The second x departs inside the step found for the first one: the
        // replay must look past that step, not land on it again.
        QTest::newRow("past the step found before")
            << QList<QByteArray>{"G", "xy", "xz"} << QByteArray("xxz") << QByteArray("c") << 2 << 1;
        QTest::newRow("nothing after the step found before")
            << QList<QByteArray>{"G", "xy", "G"} << QByteArray("xxG") << QByteArray("c") << 3 << 1;
        // What was found for a byte before the current step is looked up afresh.
        QTest::newRow("the same byte again from a later step")
            << QList<QByteArray>{"G", "x", "g", "x"} << QByteArray("xx") << QByteArray("bd") << 2
            << 2;
    }
    void picksUpWhereTheNextMatchingCommandBegins()
    {
        QFETCH(QList<QByteArray>, commands);
        QFETCH(QByteArray, sentByProgram);
        QFETCH(QByteArray, answers);
        QFETCH(int, departures);
        QFETCH(int, stepsAnswered);
        ReplayRig rig(
            ReplayRig::parse(stepsTrace(commands, QByteArray("abcd").left(commands.size()))));
        for (char byte : sentByProgram)
            rig.hear(QByteArray(1, byte), 9600, 2);
        QCOMPARE(rig.sent, answers);
        QCOMPARE(rig.departures.size(), departures);
        QCOMPARE(rig.replay->stepsAnswered(), stepsAnswered);
    }

    void aCommandAtAnotherSpeedIsReportedAndStillAnswered_data()
    {
        QTest::addColumn<int>("programBaud");
        QTest::addColumn<int>("departures");
        QTest::newRow("recorded speed") << 9600 << 0;
        QTest::newRow("slower") << 4800 << 1;
        QTest::newRow("faster") << 115200 << 1;
    }
    void aCommandAtAnotherSpeedIsReportedAndStillAnswered()
    {
        // In-process, on the modelled line: the program's port is set to another
        // speed than the recording's, and the answer comes at the port's speed.
        QFETCH(int, programBaud);
        QFETCH(int, departures);
        ReplayRig rig(ReplayRig::parse(stepsTrace({"G"}, "D")));
        SimulatedPort port(*rig.instrument, rig.clock);
        QVERIFY(port.open());
        QVERIFY(port.setSettings(QStringLiteral("%1,n,8,1").arg(programBaud)));
        port.output("G");
        rig.clock.advance(30);
        QCOMPARE(port.input(), QByteArray("D"));
        QCOMPARE(rig.departures.size(), departures);
        if (departures > 0)
            QCOMPARE(rig.departures.first(),
                     QStringLiteral("строка 1: программа передаёт на %1 бод, в записи — 9600 бод")
                         .arg(programBaud));
        QCOMPARE(rig.finished, 1);
    }

    void aTraceCutShortAfterItsCheckEndsTheReplayWithoutClaimingItAll()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.jsonl"));
        const QByteArray first = stepsTrace({"B"}, "1");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(stepsTrace({"B", "g"}, "1a"));
        file.close();
        QString error;
        std::unique_ptr<ReplayScript> script = ReplayScript::load(path, &error);
        QVERIFY2(script, qPrintable(error));
        QCOMPARE(script->stepCount(), 2);
        // Cut after the first exchange while the replay serves it.
        QVERIFY(QFile::resize(path, first.size()));
        ReplayRig rig(std::move(script));
        rig.hear("B", 9600, 5);
        QCOMPARE(rig.replay->stepsAnswered(), 1);
        QCOMPARE(rig.departures.size(), 1);
        QVERIFY2(rig.departures.first().contains(QStringLiteral("строке 3")),
                 qPrintable(rig.departures.first()));
        QCOMPARE(rig.finished, 0);
    }

    // Behind "sim" in the program's own assembly: what the recording's first
    // step says unasked reaches the program once it opens the port, the built-in
    // instrument's knobs are not offered, and a file that cannot be served puts
    // nothing behind the name and says why.
    void aRecordingAnswersBehindSimFromThePortsOpening()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notice.jsonl"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(traceEntry(1000, "rx", 115200, "L") + stepsTrace({"B"}, "1"));
        file.close();

        SessionAssembly assembly({QStringLiteral("sim"), dir.path(), false, path});
        QVERIFY(assembly.replay());
        QVERIFY(!assembly.instrument());
        QVERIFY(assembly.replayError().isEmpty());
        // The session reads what arrives; the trace sees it pass.
        QByteArray received;
        connect(&assembly.trace(), &ExchangeTrace::recorded, this, [&](const TraceRecord &r) {
            if (r.direction != TraceRecord::Direction::Sent)
                received += r.bytes;
        });
        QTest::qWait(50);
        SerialPort &port = assembly.port();
        port.setPortName(QStringLiteral("sim"));
        QVERIFY(port.setSettings(settingsOfBaud(115200)));
        QVERIFY(port.open());
        QTRY_COMPARE(received, QByteArray("L"));
        QCOMPARE(assembly.replay()->stepsAnswered(), 1);

        const QString missing = dir.filePath(QStringLiteral("missing.jsonl"));
        SessionAssembly refused({QStringLiteral("sim"), dir.path(), false, missing});
        QVERIFY(!refused.replay());
        QVERIFY(refused.replayError().startsWith(TraceReplay::refusedText(missing, {})));
        refused.port().setPortName(QStringLiteral("sim"));
        QVERIFY(!refused.port().isOpen() && !refused.port().open());
    }
};

QTEST_GUILESS_MAIN(tst_TraceReplay)
#include "tst_TraceReplay.moc"
