#include "ManualClock.h"
#include "link/LineOwner.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;

namespace {

// The ways a job's end can come, alone or one after another.
enum class Way { Ended, Silent, Half, Noise, Cancelled, OwnerEnds };

// A line's owner on the manual clock, with every end of a job recorded.
struct Rig
{
    ManualClock clock;
    LineOwner owner{clock};
    int ended = 0;
    QStringList served;

    Rig()
    {
        QObject::connect(&owner, &LineOwner::jobEnded, [this] { ++ended; });
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

// The line's owner as the runner of every exchange: each job hands back a
// handle that finishes once, with its reason, whichever way comes first; the
// one clock; the one notice queue.
class tst_LineOwnerJobs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aJobFinishesOnceWithItsReason_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<JobOutcome>("outcome");
        QTest::addColumn<JobReason>("reason");
        QTest::addColumn<QString>("details");
        const QString silence = "принято страниц 2 из 9";
        const auto row = [](const char *name) -> QTestData & {
            return QTest::newRow(name);
        };
        row("done") << Way::Ended << JobOutcome::Done << JobReason::None << QString();
        row("refused") << Way::Ended << JobOutcome::Failed << JobReason::Refused << "отказ";
        row("silent") << Way::Silent << JobOutcome::Failed << JobReason::NoAnswer << silence;
        row("half, then silent") << Way::Half << JobOutcome::Failed << JobReason::ReplyCut
                                 << silence;
        row("vanished") << Way::Cancelled << JobOutcome::Cancelled << JobReason::LineGone
                        << "порт закрылся";
        row("noise only") << Way::Noise << JobOutcome::Failed << JobReason::Noise << silence;
        for (const char *why : {"открыта страница", "выбран другой порт", "программа закрывается",
                                "получен сигнал остановки"})
            row(why) << Way::Cancelled << JobOutcome::Cancelled << JobReason::Cancelled
                     << QString::fromUtf8(why);
        row("silent, ended by its owner in its words")
            << Way::OwnerEnds << JobOutcome::Failed << JobReason::NoAnswer
            << silence + ": запись прервана";
    }

    void aJobFinishesOnceWithItsReason()
    {
        QFETCH(Way, way);
        QFETCH(JobOutcome, outcome);
        QFETCH(JobReason, reason);
        QFETCH(QString, details);
        Rig rig;
        JobHandle *job = rig.owner.begin(LineJob::DatabaseRead, 5000,
                                         [] { return QStringLiteral("принято страниц 2 из 9"); });
        QVERIFY(job && !rig.owner.begin(LineJob::Table));
        QList<JobResult> finished;
        QList<int> progress;
        QObject::connect(job, &JobHandle::finished,
                         [&](const JobResult &result) { finished.append(result); });
        QObject::connect(job, &JobHandle::progressed, [&](int have) { progress.append(have); });
        if (way == Way::OwnerEnds) {
            QObject::connect(&rig.owner, &LineOwner::cancelling,
                             [&](LineJob job, JobOutcome how, const QString &why) {
                                 rig.owner.end(job, how, why + ": запись прервана");
                             });
        }
        switch (way) {
        case Way::Ended:
            rig.owner.end(LineJob::DatabaseRead, {outcome, reason, details});
            break;
        case Way::Cancelled:
            rig.owner.cancel(details, reason);
            break;
        case Way::Half:
            // A reply that keeps growing keeps the job; babble past its length does not.
            for (int have : {100, 300, 500}) {
                rig.clock.advance(4900);
                rig.owner.replyProgressed({ReplyCode::DatabasePage, have, 529});
            }
            rig.owner.replyProgressed({ReplyCode::DatabasePage, 600, 529});
            QCOMPARE(progress, (QList<int>{100, 300, 500}));
            [[fallthrough]];
        case Way::Silent:
        case Way::OwnerEnds:
        case Way::Noise:
            for (int i = 0; way == Way::Noise && i < 4; ++i) {
                rig.clock.advance(1000);
                rig.owner.bytesHeard();
            }
            rig.clock.advance(way == Way::Noise ? 999 : 4999);
            QVERIFY(rig.owner.busy());
            rig.clock.advance(1);
            break;
        }
        // Whatever comes later (another end too) ends nothing more; the job sends nothing.
        QVERIFY(!rig.owner.send(LineJob::DatabaseRead, "r"));
        rig.owner.end(LineJob::DatabaseRead, JobOutcome::Failed, "поздно");
        rig.owner.cancel("поздно");
        rig.clock.advance(20000);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(rig.ended, 1);
        QCOMPARE(finished.first(), (JobResult{outcome, reason, details}));
    }

    void anEndedJobsLimitAndStepsNeverReachTheNextJob()
    {
        Rig rig;
        QVERIFY(rig.owner.begin(LineJob::Table, 1000));
        bool stepped = false;
        rig.owner.after(800, [&] { stepped = true; });
        // The line's procedure waits are no job's: each runs once, timed from its last declaration.
        QList<qint64> waited;
        for (int kind = 0; kind <= int(LineWait::Timeout); ++kind) {
            for (int ms : {300, 600 + kind})
                rig.owner.wait(LineWait(kind), ms, [&] { waited.append(rig.clock.nowMs()); });
        }
        rig.owner.stopWait(LineWait::Timeout);
        rig.clock.advance(500);
        rig.owner.end(LineJob::Table, JobOutcome::Done);
        // The next job has no limit of its own: nothing of the last one fails it.
        QVERIFY(rig.owner.begin(LineJob::ContactSearch));
        rig.clock.advance(5000);
        QVERIFY(rig.owner.busy());
        QVERIFY(!stepped);
        QCOMPARE(rig.ended, 1);
        QCOMPARE(waited, (QList<qint64>{600, 601, 602, 603, 604}));
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
        QCOMPARE(rig.ended, 1);
        QVERIFY(rig.owner.busy());
    }

    void everyNoticeQueuedDuringAJobIsServedAtItsEndInOrder()
    {
        Rig rig;
        // On a free line a notice is served at once.
        rig.owner.notice(ReplyCode::ResultsReady, rig.serve("free"));
        QCOMPARE(rig.served, QStringList{"free"});
        rig.served.clear();
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
};

QTEST_GUILESS_MAIN(tst_LineOwnerJobs)
#include "tst_LineOwnerJobs.moc"
