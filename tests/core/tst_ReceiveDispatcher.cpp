#include "ManualClock.h"
#include "ScriptedPort.h"
#include "link/LineOwner.h"
#include "link/ReceiveDispatcher.h"

#include <QtTest>

#include <tuple>

using namespace kalent;
using kalent::test::ScriptedPort;

// The dispatcher's mechanics with a port the test feeds piece by piece.
class tst_ReceiveDispatcher : public QObject
{
    Q_OBJECT

    struct Rig
    {
        ManualClock clock;
        ScriptedPort port;
        bool linkUp = true;
        int linkChecks = 0;
        LineOwner owner{clock};
        ReceiveDispatcher dispatcher{port, owner, [this] {
                                         ++linkChecks;
                                         return linkUp;
                                     }};
        QList<QByteArray> handled;
        // Progress as "N 2/6", and each message as its bytes, in the order heard.
        QStringList heard;

        explicit Rig(LineJob job = LineJob::Protocol)
        {
            port.open();
            owner.begin(job);
            QObject::connect(&owner, &LineOwner::replyUnasked, [this](const QByteArray &bytes) {
                heard.append("unasked " + QString::fromLatin1(bytes.left(8)));
            });
            for (const ReplyCode code : {ReplyCode::ProtocolLength, ReplyCode::ContactAnswer,
                                         ReplyCode::PageCount, ReplyCode::DensityBlock}) {
                dispatcher.subscribe(code, [this](const Message &message) {
                    handled.append(message.bytes);
                    heard.append(QString::fromLatin1(message.bytes.left(8)));
                });
            }
            dispatcher.subscribeProgress([this](const ReplyProgress &progress) {
                heard.append(QStringLiteral("%1 %2/%3")
                                 .arg(QLatin1Char(char(progress.code)))
                                 .arg(progress.have)
                                 .arg(progress.need));
            });
        }
        int collected() const
        {
            const std::optional<ReplyProgress> reply = dispatcher.collecting();
            return reply ? reply->have : 0;
        }
    };

private Q_SLOTS:
    void linkDownReadsNothingAndLeavesBytesQueued()
    {
        Rig rig(LineJob::None);
        rig.linkUp = false;
        rig.port.arrive("B");
        QCOMPARE(rig.linkChecks, 1);
        QCOMPARE(rig.port.queue, QByteArray("B"));
        QVERIFY(!rig.dispatcher.collecting());

        rig.linkUp = true;
        rig.port.raise();
        QCOMPARE(rig.handled, QList<QByteArray>{"B"});
    }

    void unknownFirstByteEmptiesTheBufferAndLosesWhatFollows()
    {
        for (const QByteArray &start : {QByteArray("\xff", 1), QByteArray("Zzz")}) {
            Rig rig(LineJob::None);
            rig.port.arrive(start + "B");
            QVERIFY(rig.handled.isEmpty());
            QVERIFY(!rig.dispatcher.collecting());
        }
    }

    void emptyReadAppendsByteZeroWhichAloneIsDropped()
    {
        Rig rig;
        rig.port.reportedCount = 1; // the queue claims a byte but the read returns none
        rig.port.raise();
        QVERIFY(!rig.dispatcher.collecting());
        QVERIFY(rig.handled.isEmpty());
    }

    void emptyReadInsideAReplyCountsAsOneCharacter()
    {
        Rig rig;
        rig.port.arrive("N000");
        QCOMPARE(rig.collected(), 4);
        rig.port.reportedCount = 1;
        rig.port.raise();
        QCOMPARE(rig.collected(), 5);
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
        QVERIFY(rig.handled.isEmpty());
        QCOMPARE(rig.collected(), 3);
        QCOMPARE(rig.port.reads, 1);
    }

    void replySplitAtEveryPositionIsHandledOnceWholeAfterItsProgress()
    {
        const QByteArray reply("N01234");
        for (int cut = 1; cut < reply.size(); ++cut) {
            Rig rig;
            rig.port.arrive(reply.left(cut));
            QVERIFY(rig.handled.isEmpty());
            rig.port.arrive(reply.mid(cut));
            QCOMPARE(rig.handled, QList<QByteArray>{reply});
            QCOMPARE(rig.heard,
                     (QStringList{QStringLiteral("N %1/6").arg(cut), "N 6/6", "N01234"}));
            QVERIFY(!rig.dispatcher.collecting());
        }
    }

    void whatFollowsAWholeReplyInTheSameReadIsAReplyOfItsOwn()
    {
        Rig rig;
        rig.port.arrive("N01234BN5");
        QCOMPARE(rig.heard, (QStringList{"N 6/6", "N01234", "unasked B", "N 2/6"}));
        QCOMPARE(rig.collected(), 2);
    }

    void aTableWithNoiseBehindItInTheSameReadReachesNoListener()
    {
        Rig rig(LineJob::Table);
        QByteArray table(873, '1');
        table[0] = 'D';
        rig.port.arrive(table + "?");
        QVERIFY(rig.heard.isEmpty());
        QVERIFY(!rig.dispatcher.collecting());
    }

    void everyListenerOfACodeHearsItInTheOrderTheySubscribed()
    {
        Rig rig(LineJob::None);
        QList<QByteArray> second;
        rig.dispatcher.subscribe(ReplyCode::ContactAnswer, [&second](const Message &message) {
            second.append(message.bytes);
        });
        rig.port.arrive("BB");
        QCOMPARE(rig.handled, (QList<QByteArray>{"B", "B"}));
        QCOMPARE(second, (QList<QByteArray>{"B", "B"}));
    }

    // Only the job holding the line hears a reply or its growth; others are dropped and said.
    void aReplyReachesOnlyTheJobThatAskedForIt()
    {
        QByteArray table(873, '1');
        table[0] = 'D';
        const QList<std::tuple<LineJob, QByteArray, bool>> rows{
            {LineJob::ContactSearch, "B", true}, {LineJob::Table, "B", false},
            {LineJob::None, "N01234", false},    {LineJob::DatabaseRead, "N01234", false},
            {LineJob::Table, table, true},       {LineJob::FileName, table, false}};
        for (const auto &[job, reply, asked] : rows) {
            Rig rig(job);
            rig.port.arrive(reply);
            const QString start = QString::fromLatin1(reply.left(8));
            QCOMPARE(rig.heard.last(), asked ? start : "unasked " + start);
            QCOMPARE(rig.handled.size(), asked ? 1 : 0);
            if (!asked) // not even its progress
                QCOMPARE(rig.heard.size(), 1);
        }
    }

    void pageCountCutShortIsTakenWhenItsRestDoesNotCome_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<QList<QByteArray>>("handled");
        QTest::addColumn<int>("takenAtMs");
        // Each piece restarts the wait; the count is whole at three characters.
        QTest::newRow("cut short") << QList<QByteArray>{"R 5"} << 0 << QList<QByteArray>{"R 5"}
                                   << ReceiveDispatcher::PageCountRestMs;
        QTest::newRow("rest within the wait")
            << QList<QByteArray>{"R ", " 11"} << 60 << QList<QByteArray>{"R  11"} << 60;
        QTest::newRow("each piece waits again")
            << QList<QByteArray>{"R", " ", "7"} << 90 << QList<QByteArray>{"R 7"}
            << 2 * 90 + ReceiveDispatcher::PageCountRestMs;
    }

    void pageCountCutShortIsTakenWhenItsRestDoesNotCome()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, gapMs);
        QFETCH(QList<QByteArray>, handled);
        QFETCH(int, takenAtMs);
        Rig rig(LineJob::DatabaseRead);
        for (int i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                rig.clock.advance(gapMs);
            rig.port.arrive(pieces.at(i));
        }
        QVERIFY(rig.clock.advanceUntil([&] { return !rig.handled.isEmpty(); }, 1000));
        QCOMPARE(rig.clock.nowMs(), qint64(takenAtMs));
        rig.clock.advance(1000);
        QCOMPARE(rig.handled, handled);
        QVERIFY(!rig.dispatcher.collecting());
    }

    void aJobStartedDropsTheReplyLeftUnfinished()
    {
        Rig rig(LineJob::None);
        LineOwner &owner = rig.owner;
        rig.port.arrive("r0123");
        QVERIFY(owner.begin(LineJob::DatabaseRead));
        QVERIFY(!rig.dispatcher.collecting());
        owner.end(LineJob::DatabaseRead, JobOutcome::Done);
        rig.port.arrive("R ");
        QVERIFY(owner.begin(LineJob::Protocol));
        QVERIFY(!rig.dispatcher.collecting());
        // The count's wait ended with it: nothing is taken later.
        rig.clock.advance(1000);
        QVERIFY(rig.handled.isEmpty());
        rig.port.arrive("N00000");
        QCOMPARE(rig.handled, QList<QByteArray>{"N00000"});
    }
};

QTEST_GUILESS_MAIN(tst_ReceiveDispatcher)
#include "tst_ReceiveDispatcher.moc"
