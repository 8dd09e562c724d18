#include "ManualClock.h"
#include "link/LineOwner.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;

namespace {

// The ways a job's end can come, alone or one after another.
enum class Way { OwnerDone, OwnerFailed, Cancel, Deadline, OwnerEndsWhenCancelled, EndTwice };

struct Ended
{
    LineJob job;
    JobOutcome outcome;
    QString reason;
};

// A line's owner on the manual clock, with every end of a job recorded.
struct Rig
{
    ManualClock clock;
    LineOwner owner{clock};
    QList<Ended> ended;
    QStringList served;

    Rig()
    {
        QObject::connect(&owner, &LineOwner::jobEnded,
                         [this](LineJob job, JobOutcome outcome, const QString &reason) {
                             ended.append({job, outcome, reason});
                         });
    }
    std::function<void()> serve(const QString &name)
    {
        return [this, name] {
            served.append(name);
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(Way)

// The line's owner as the runner of every exchange: each job ends once, with
// its reason, whichever way comes first; the one deadline; the one notice queue.
class tst_LineOwnerJobs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aJobEndsOnceWhicheverWayComesFirst_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<JobOutcome>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("done") << Way::OwnerDone << JobOutcome::Done << QString();
        QTest::newRow("failed") << Way::OwnerFailed << JobOutcome::Failed << "отказ";
        QTest::newRow("cancelled") << Way::Cancel << JobOutcome::Cancelled << "стоп";
        QTest::newRow("deadline, the job's own words")
            << Way::Deadline << JobOutcome::Failed << "принято страниц 2 из 9";
        QTest::newRow("cancelled, ended by its owner in its words")
            << Way::OwnerEndsWhenCancelled << JobOutcome::Cancelled << "стоп: запись прервана";
        QTest::newRow("ended twice") << Way::EndTwice << JobOutcome::Done << QString();
    }

    void aJobEndsOnceWhicheverWayComesFirst()
    {
        QFETCH(Way, way);
        QFETCH(JobOutcome, outcome);
        QFETCH(QString, reason);
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::DatabaseRead, 5000,
                                [] { return QStringLiteral("принято страниц 2 из 9"); }));
        if (way == Way::OwnerEndsWhenCancelled) {
            QObject::connect(&rig.owner, &LineOwner::cancelling,
                             [&](LineJob job, JobOutcome how, const QString &why) {
                                 rig.owner.end(job, how, why + ": запись прервана");
                             });
        }
        switch (way) {
        case Way::OwnerDone:
        case Way::EndTwice:
            rig.owner.end(LineJob::DatabaseRead, JobOutcome::Done);
            break;
        case Way::OwnerFailed:
            rig.owner.end(LineJob::DatabaseRead, JobOutcome::Failed, "отказ");
            break;
        case Way::Cancel:
        case Way::OwnerEndsWhenCancelled:
            rig.owner.cancel("стоп");
            break;
        case Way::Deadline:
            rig.clock.advance(4999);
            QVERIFY(rig.owner.busy());
            rig.clock.advance(1);
            break;
        }
        // Whatever else comes later ends nothing more.
        rig.owner.end(LineJob::DatabaseRead, JobOutcome::Failed, "поздно");
        rig.owner.cancel("поздно");
        rig.clock.advance(20000);
        QCOMPARE(rig.ended.size(), 1);
        QCOMPARE(rig.ended.first().job, LineJob::DatabaseRead);
        QCOMPARE(rig.ended.first().outcome, outcome);
        QCOMPARE(rig.ended.first().reason, reason);
        QVERIFY(!rig.owner.busy());
    }

    void aJobBegunWhileTheLastOneEndsIsNotEndedWithIt()
    {
        // The last job's owner starts the next one as it is cancelled: the
        // cancel ends only the job it was meant for.
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::Table, 1000));
        QObject::connect(&rig.owner, &LineOwner::cancelling, [&](LineJob job, JobOutcome how) {
            rig.owner.end(job, how);
            rig.owner.begin(LineJob::Table, 1000);
        });
        rig.owner.cancel("стоп");
        QCOMPARE(rig.ended.size(), 1);
        QVERIFY(rig.owner.busy());
    }

    void anyByteRestartsTheDeadline()
    {
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::Protocol, 1000));
        for (int i = 0; i < 5; ++i) {
            rig.clock.advance(900);
            rig.owner.heardFromInstrument();
        }
        QVERIFY(rig.owner.busy());
        rig.clock.advance(1000);
        QCOMPARE(rig.ended.size(), 1);
        QCOMPARE(rig.ended.first().reason, LineOwner::noAnswer());
    }

    void everyNoticeQueuedDuringAJobIsServedAtItsEndInOrder()
    {
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::Table, 1000));
        rig.owner.notice(ReplyCode::DensitiesMeasured, rig.serve("G"));
        rig.owner.notice(ReplyCode::ResultsReady, rig.serve("g"));
        QVERIFY(rig.owner.noticeWaiting(ReplyCode::ResultsReady));
        rig.owner.end(LineJob::Table, JobOutcome::Done);
        // Never inside the handler that ended the job: from the event loop.
        QVERIFY(rig.served.isEmpty());
        rig.clock.advance(1);
        QCOMPARE(rig.served, (QStringList{"G", "g"}));
        QCOMPARE(rig.owner.queuedNotices(), 0);
    }

    void aNoticeThatStartsAJobLeavesTheRestForItsEnd()
    {
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::Table));
        rig.owner.notice(ReplyCode::DensitiesMeasured, [&] {
            rig.served.append("G");
            rig.owner.begin(LineJob::Table);
        });
        rig.owner.notice(ReplyCode::ResultsReady, rig.serve("g"));
        rig.owner.end(LineJob::Table, JobOutcome::Done);
        rig.clock.advance(10);
        QCOMPARE(rig.served, QStringList{"G"});
        rig.owner.end(LineJob::Table, JobOutcome::Done);
        rig.clock.advance(1);
        QCOMPARE(rig.served, (QStringList{"G", "g"}));
    }

    void heldNoticesWaitButWhatFollowsAJobDoesNot()
    {
        Rig rig;
        rig.owner.holdNotices(true);
        rig.owner.notice(ReplyCode::DensitiesMeasured, rig.serve("G"));
        rig.owner.noticeAgain(ReplyCode::ResultsReady, rig.serve("g again"));
        rig.owner.afterJob(rig.serve("after"));
        rig.clock.advance(100);
        QCOMPARE(rig.served, QStringList{"after"});
        rig.owner.holdNotices(false);
        rig.clock.advance(1);
        // A notice served again comes before those that waited.
        QCOMPARE(rig.served, (QStringList{"after", "g again", "G"}));
    }

    void onAFreeLineANoticeIsServedAtOnce()
    {
        Rig rig;
        rig.owner.notice(ReplyCode::ResultsReady, rig.serve("g"));
        QCOMPARE(rig.served, QStringList{"g"});
    }
};

QTEST_GUILESS_MAIN(tst_LineOwnerJobs)
#include "tst_LineOwnerJobs.moc"
