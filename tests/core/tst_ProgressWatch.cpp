#include "TestSupport.h"
#include "measurement/OpticalDensityReader.h"

#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

QByteArray noise(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(0x80 | (i * 37 % 127));
    return bytes;
}

// The table the instrument sends: "D" and 872 more characters.
QByteArray table()
{
    QByteArray out("D");
    for (int row = 0; row < 8; ++row)
        out += QByteArray(108, '1') + '\n';
    return out;
}

bool collectedAtMostTheLongestReply(SimRig &rig)
{
    const std::optional<ReplyProgress> collecting = rig.session.dispatcher().collecting();
    return !collecting || collecting->have <= ReplyLength::Longest;
}

} // namespace

// The command line's --timeout: a wait ends after the given time without progress
// toward the awaited reply, whatever the line sends in between.
class tst_ProgressWatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silenceEndsTheWait()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        ProgressWatch &watch = rig.session.progressWatch();
        QSignalSpy timedOut(&watch, &ProgressWatch::timedOut);
        watch.start(1000);
        rig.clock.advance(1000);
        QVERIFY(!watch.expired());
        rig.clock.advance(1);
        QVERIFY(watch.expired() && timedOut.count() == 1);
    }

    void noiseIsNoProgress()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        ProgressWatch &watch = rig.session.progressWatch();
        watch.start(1000);
        // Noise every 50 ms, and a reply-like start that grows past any table.
        rig.instrument->sendRaw("D");
        for (int i = 0; i < 40; ++i) {
            rig.instrument->sendRaw(noise(100));
            rig.clock.advance(50);
        }
        QVERIFY(watch.expired());
        QVERIFY(collectedAtMostTheLongestReply(rig));
    }

    void aTableArrivingSlowlyIsProgress()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        ProgressWatch &watch = rig.session.progressWatch();
        rig.instrument->setSilent(true);
        rig.session.reader().readTable();
        rig.settle();
        watch.start(500);
        // One piece every 400 ms: slower than nothing, faster than the limit.
        const QByteArray reply = table();
        for (int at = 0; at < reply.size(); at += 100) {
            rig.instrument->sendRaw(reply.mid(at, 100));
            rig.clock.advance(400);
            QVERIFY2(!watch.expired(), qPrintable(QString::number(at)));
        }
        QVERIFY(!rig.session.reader().opData().isEmpty());
    }

    void theBufferNeverGrowsPastTheLongestReply()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.instrument->sendRaw("d");
        for (int i = 0; i < 30; ++i) {
            rig.instrument->sendRaw(noise(5000));
            rig.settle(500);
            QVERIFY(collectedAtMostTheLongestReply(rig));
        }
        // What overran was dropped; the next reply is heard again.
        rig.link().checkContact();
        rig.settle(50);
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
    }

    void aSearchIsNotGivenUpBeforeEverySpeedWasProbed()
    {
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        ProgressWatch &watch = rig.session.progressWatch();
        rig.link().searchWithFastestSpeed();
        watch.start(1000);
        // The probe at 115200 goes out 2.2 s after the start; its answer may
        // come until the tick 200 ms later.
        rig.clock.advance(2400);
        QVERIFY(!watch.expired());
        rig.clock.advance(300);
        QVERIFY(watch.expired());
        QCOMPARE(ProgressWatch::searchCycleMs(), qint64(2600));
    }

    void aSpeedChangeStartsTheCycleAgain()
    {
        SimRig rig;
        rig.instrument->setBaud(57600);
        rig.startUp();
        ProgressWatch &watch = rig.session.progressWatch();
        rig.link().searchWithFastestSpeed();
        watch.start(1000);
        // Found at 57600 after 1.8 s; the search at 115200 starts 100 ms later
        // and answers at its eleventh tick.
        QVERIFY(
            rig.runUntil([&] { return rig.link().atFastestSpeed() || watch.expired(); }, 10000));
        QVERIFY(rig.link().atFastestSpeed());
    }
};

QTEST_GUILESS_MAIN(tst_ProgressWatch)
#include "tst_ProgressWatch.moc"
