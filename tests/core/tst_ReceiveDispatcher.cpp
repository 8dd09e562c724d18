#include "ScriptedPort.h"
#include "link/ReceiveDispatcher.h"

#include <QtTest>

using namespace kalent;
using kalent::test::ScriptedPort;

// The dispatcher's mechanics with a port the test feeds piece by piece.
class tst_ReceiveDispatcher : public QObject
{
    Q_OBJECT

    struct Rig
    {
        ScriptedPort port;
        bool linkUp = true;
        int linkChecks = 0;
        ReceiveDispatcher dispatcher{port, [this] {
                                         ++linkChecks;
                                         return linkUp;
                                     }};
        QList<QByteArray> handled;

        Rig()
        {
            port.open();
            // The protocol length (6 bytes) collects until complete; its
            // listener also sees it while it collects, and ignores that.
            dispatcher.subscribe('N', [this](QByteArray &buffer) {
                if (buffer.size() == 6)
                    handled.append(buffer);
            });
            // A reply handled at once, like the contact answer.
            dispatcher.subscribe('B', [this](QByteArray &buffer) { handled.append(buffer); });
        }
    };

private Q_SLOTS:
    void linkDownReadsNothingAndLeavesBytesQueued()
    {
        Rig rig;
        rig.linkUp = false;
        rig.port.arrive("B");
        QCOMPARE(rig.linkChecks, 1);
        QCOMPARE(rig.port.queue, QByteArray("B"));
        QVERIFY(rig.dispatcher.inBuffer().isEmpty());

        rig.linkUp = true;
        rig.port.raise();
        QCOMPARE(rig.handled, QList<QByteArray>{"B"});
    }

    void unknownFirstByteEmptiesTheBufferAndLosesWhatFollows()
    {
        Rig rig;
        rig.port.arrive(QByteArray("\xff", 1) + "B");
        QVERIFY(rig.handled.isEmpty());
        QVERIFY(rig.dispatcher.inBuffer().isEmpty());
    }

    void emptyReadAppendsByteZeroWhichAloneIsDropped()
    {
        Rig rig;
        rig.port.reportedCount = 1; // the queue claims a byte but the read returns none
        rig.port.raise();
        QVERIFY(rig.dispatcher.inBuffer().isEmpty());
        QVERIFY(rig.handled.isEmpty());
    }

    void emptyReadInsideAReplyCountsAsOneCharacter()
    {
        Rig rig;
        rig.port.arrive("N000");
        QCOMPARE(rig.dispatcher.inBuffer(), QByteArray("N000"));
        rig.port.reportedCount = 1;
        rig.port.raise();
        QCOMPARE(rig.dispatcher.inBuffer(), QByteArray("N000\0", 5));
        rig.port.arrive("7");
        QCOMPARE(rig.handled, QList<QByteArray>{QByteArray("N000\0"
                                                           "7",
                                                           6)});
    }

    void dispatchWaitsWhileMoreBytesAreQueued()
    {
        Rig rig;
        // The first read returns "N00" while three more bytes are already waiting.
        rig.port.pieces = {"N00"};
        rig.port.queue = "N00";
        rig.port.reportedCount = 3;
        rig.port.raise();
        QCOMPARE(rig.dispatcher.inBuffer(), QByteArray("N00"));
        QVERIFY(rig.handled.isEmpty());
        QCOMPARE(rig.port.reads, 1);
    }

    void replySplitAtEveryPositionIsHandledOnceWhole()
    {
        const QByteArray reply("N01234");
        for (int cut = 1; cut < reply.size(); ++cut) {
            Rig rig;
            rig.port.arrive(reply.left(cut));
            QVERIFY(rig.handled.isEmpty());
            rig.port.arrive(reply.mid(cut));
            QCOMPARE(rig.handled, QList<QByteArray>{reply});
            QVERIFY(rig.dispatcher.inBuffer().isEmpty());
        }
    }

    void whatFollowsAWholeReplyInTheSameReadIsAReplyOfItsOwn()
    {
        Rig rig;
        rig.port.arrive("N01234BN5");
        QCOMPARE(rig.handled, (QList<QByteArray>{"N01234", "B"}));
        QCOMPARE(rig.dispatcher.inBuffer(), QByteArray("N5"));
    }

    void everyListenerOfACodeHearsItInTheOrderTheySubscribed()
    {
        Rig rig;
        QList<QByteArray> second;
        rig.dispatcher.subscribe('B', [&second](QByteArray &buffer) {
            second.append(buffer);
            buffer.clear(); // a listener's copy is its own
        });
        rig.port.arrive("BB");
        QCOMPARE(rig.handled, (QList<QByteArray>{"B", "B"}));
        QCOMPARE(second, (QList<QByteArray>{"B", "B"}));
    }

    void codeWithoutHandlerIsDropped()
    {
        Rig rig;
        rig.port.arrive("Zzz");
        QVERIFY(rig.dispatcher.inBuffer().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ReceiveDispatcher)
#include "tst_ReceiveDispatcher.moc"
