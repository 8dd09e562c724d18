#include "InstrumentFeature.h"
#include "ManualClock.h"
#include "SimulatedPort.h"
#include "VirtualInstrument.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;

namespace {

// Answers "X" with a long reply, so the line's pace can be watched.
class LongReply : public InstrumentFeature
{
public:
    explicit LongReply(int size) : m_size(size) {}
    int consume(InstrumentControl &instrument, const QByteArray &heard) override
    {
        if (heard.at(0) != 'X')
            return NotMine;
        instrument.send(QByteArray(m_size, 'x'));
        return 1;
    }

private:
    int m_size;
};

struct Line
{
    ManualClock clock;
    VirtualInstrument instrument{clock};
    SimulatedPort port{instrument, clock};
    QList<QByteArray> pieces;

    explicit Line(int baud)
    {
        instrument.setBaud(baud);
        port.setSettings(QString("%1,n,8,1").arg(baud));
        port.open();
        QObject::connect(&port, &SerialPort::commEvent, [this] {
            if (port.inBufferCount() > 0)
                pieces.append(port.input());
        });
    }
    QByteArray received() const
    {
        QByteArray all;
        for (const QByteArray &p : pieces)
            all.append(p);
        return all;
    }
};

} // namespace

class tst_SimulatedLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyArrivesInPiecesAtTheLinesSpeed()
    {
        Line line(115200);
        line.instrument.addFeature(std::make_unique<LongReply>(873));
        line.port.output("X");
        // 874 bytes of 10 bits at 115200 baud take 75.9 ms on the line.
        line.clock.advance(70);
        QVERIFY(line.received().size() < 873);
        line.clock.advance(10);
        QCOMPARE(line.received(), QByteArray(873, 'x'));
        QVERIFY(line.pieces.size() > 50);
    }

    void slowerLineTakesProportionallyLonger()
    {
        Line line(9600);
        line.instrument.addFeature(std::make_unique<LongReply>(95));
        line.port.output("X");
        // 96 bytes at 9600 baud: 100 ms.
        line.clock.advance(95);
        QVERIFY(line.received().size() < 95);
        line.clock.advance(10);
        QCOMPARE(line.received().size(), 95);
    }

    void bytesToWriteCountsWhatHasNotLeft()
    {
        Line line(115200);
        line.port.output(QByteArray(1152, 'z'));
        QCOMPARE(line.port.bytesToWrite(), 1152);
        line.clock.advance(50);
        QVERIFY(line.port.bytesToWrite() > 500 && line.port.bytesToWrite() < 700);
        line.clock.advance(60);
        QCOMPARE(line.port.bytesToWrite(), 0);
    }

    void instrumentAtAnotherSpeedNeitherHearsNorIsHeard()
    {
        Line line(115200);
        line.instrument.setBaud(9600);
        line.port.output("B");
        line.clock.advance(50);
        QVERIFY(line.received().isEmpty());

        // What it says at its own speed arrives as garbage: never a reply letter.
        line.instrument.sendRaw("BDGLNRdgmr2");
        line.clock.advance(50);
        const QByteArray garbage = line.received();
        QCOMPARE(garbage.size(), 11);
        for (char c : garbage)
            QVERIFY(static_cast<unsigned char>(c) >= 0x80);
    }

    void speedChangeTakesEffectForWhatFollows()
    {
        Line line(4800);
        line.port.output(QByteArray("b\x05", 2));
        line.clock.advance(10);
        QCOMPARE(line.instrument.baud(), 115200);
        line.port.setSettings("115200,n,8,1");
        line.port.output("B");
        line.clock.advance(5);
        QCOMPARE(line.received(), QByteArray("B"));
    }

    void failureKnobsShapeTheReplies()
    {
        Line line(115200);
        line.instrument.setSilent(true);
        line.port.output("B");
        line.clock.advance(20);
        QVERIFY(line.received().isEmpty());

        line.instrument.setSilent(false);
        line.instrument.setNoise(QByteArray("\xff", 1));
        line.port.output("B");
        line.clock.advance(20);
        QCOMPARE(line.received(), QByteArray("\xff"
                                             "B"));

        line.pieces.clear();
        line.instrument.setNoise({});
        line.instrument.setReplyDelayMs(300);
        line.port.output("B");
        line.clock.advance(299);
        QVERIFY(line.received().isEmpty());
        line.clock.advance(5);
        QCOMPARE(line.received(), QByteArray("B"));

        line.pieces.clear();
        line.instrument.setReplyDelayMs(0);
        line.instrument.addFeature(std::make_unique<LongReply>(100));
        line.instrument.cutNextReplyAfter(40);
        line.port.output("X");
        line.clock.advance(50);
        QCOMPARE(line.received().size(), 40);
    }

    void powerSwitchShowsOnCtsAndRaisesAnEvent()
    {
        Line line(115200);
        QSignalSpy events(&line.port, &SerialPort::commEvent);
        QVERIFY(line.port.ctsHolding());
        line.instrument.setPowered(false);
        QVERIFY(!line.port.ctsHolding());
        QCOMPARE(events.count(), 1);
        // Switched off, it hears nothing.
        line.port.output("B");
        line.clock.advance(20);
        QVERIFY(line.received().isEmpty());
        line.instrument.setPowered(true);
        QVERIFY(line.port.ctsHolding());
        QCOMPARE(events.count(), 2);
    }

    void closedPortNeitherSendsNorReceives()
    {
        Line line(115200);
        line.port.close();
        line.port.output("B");
        line.clock.advance(20);
        QVERIFY(line.port.written().isEmpty());
        QVERIFY(!line.port.ctsHolding());
        QCOMPARE(line.port.inBufferCount(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedLine)
#include "tst_SimulatedLine.moc"
