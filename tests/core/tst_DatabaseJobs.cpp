#include "ImageBuilder.h"
#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "database/DatabasePage.h"
#include "link/LineOwner.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

using namespace kalent;
using namespace kalent::test;

namespace {

DatabaseCommands &instrumentDb(SimRig &rig)
{
    return *rig.instrument->feature<DatabaseCommands>();
}

QString putFile(SimRig &rig, const QString &name, const QByteArray &bytes)
{
    const QString path = rig.dataDir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QStringList journalLines(SimRig &rig)
{
    QFile f(rig.dataDir.filePath(QStringLiteral("ServiceJournal.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray oneTs(const char *ts)
{
    return img::image({img::head(1, "A", "S", ts), img::closing()});
}

// A rig whose instrument holds a database read once (so writes back it up at
// once), with a 60-page file chosen to be written over it.
struct WriteRig
{
    SimRig rig;
    DatabasePage &page = rig.session.databasePage();
    QByteArray old = DemoDatabase::demo();
    QByteArray written = DemoDatabase::withPages(60);
    QList<int> progress;

    bool setUp(bool readFirst = true)
    {
        QObject::connect(&rig.session.pane(), &MessagePane::progressChanged,
                         [this](int p) { progress << p; });
        instrumentDb(rig).setImage(old);
        return rig.connectFast() && (!readFirst || rig.readInstrumentList()) &&
               page.openFileList(putFile(rig, QStringLiteral("new.bdt"), written));
    }
    bool writeUntilPage(int pages)
    {
        return page.writeFileList() &&
               rig.runUntil([&] { return instrumentDb(rig).pagesReceived() >= pages; }, 120000);
    }
};

} // namespace

// The database service's jobs: how each ends, what a write takes when it
// starts, and the replies it must not take for its own.
class tst_DatabaseJobs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every way out of a write ends it once, through the same path: the pane
    // and the journal give the same reason, the bar goes back to 0, and the
    // instrument keeps its old database whole.
    void everyWayOutOfAWriteIsToldTheSameEverywhere_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("outcome");
        QTest::newRow("a refused page")
            << "refused"
            << "прибор не принял страницу 30" << int(JobOutcome::Failed);
        QTest::newRow("silence") << "silent"
                                 << "прибор не ответил" << int(JobOutcome::Failed);
        QTest::newRow("Контакт") << "contact"
                                 << "нажата кнопка «Контакт»" << int(JobOutcome::Cancelled);
        QTest::newRow("the device gone") << "gone"
                                         << "порт закрылся" << int(JobOutcome::Cancelled);
        QTest::newRow("a stop signal") << "signal"
                                       << "получен сигнал остановки" << int(JobOutcome::Cancelled);
        // What the window does once the operator confirmed closing it.
        QTest::newRow("the window closed") << "closed"
                                           << "программа закрывается" << int(JobOutcome::Cancelled);
    }

    void everyWayOutOfAWriteIsToldTheSameEverywhere()
    {
        QFETCH(QString, way);
        QFETCH(QString, reason);
        QFETCH(int, outcome);
        WriteRig w;
        QVERIFY(w.setUp());
        if (way == QLatin1String("refused"))
            instrumentDb(w.rig).refusePage(30);
        if (way == QLatin1String("silent"))
            instrumentDb(w.rig).holdWriteAfterPages(30);
        QSignalSpy ended(&w.page.service(), &DatabaseService::jobEnded);
        QVERIFY(w.writeUntilPage(30));
        const qint64 at = w.rig.clock.nowMs();
        if (way == QLatin1String("contact"))
            w.rig.link().contactOrStop();
        else if (way == QLatin1String("gone"))
            w.rig.port.vanish();
        else if (way == QLatin1String("signal"))
            w.page.service().cancel(reason);
        else if (way == QLatin1String("closed"))
            w.rig.session.line().cancel(reason);
        QVERIFY(w.rig.runUntil([&] { return ended.count() == 1; }, 60000));
        // A refusal is an answer: nothing is waited for after it.
        if (way == QLatin1String("refused"))
            QVERIFY(w.rig.clock.nowMs() - at < 1000);
        w.rig.settle(LineOwner::ReplySilenceMs);

        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).value<LineJob>(), LineJob::DatabaseWrite);
        QCOMPARE(int(ended.at(0).at(1).value<JobOutcome>()), outcome);
        QCOMPARE(ended.at(0).at(2).toString(), reason);

        // The instrument may now hold part of the new database: said, with the backup.
        QVERIFY2(journalLines(w.rig).last().endsWith(
                     QStringLiteral("итог: прервана: %1; прибор может держать недописанную БД ТС")
                         .arg(reason)),
                 qPrintable(journalLines(w.rig).last()));
        QVERIFY2(w.rig.session.pane().text().startsWith(
                     QStringLiteral("Запись БД ТС в прибор прервана: %1. Прибор может держать "
                                    "недописанную БД ТС; прежняя БД ТС сохранена в резервной "
                                    "копии ")
                         .arg(reason)),
                 qPrintable(w.rig.session.pane().text()));
        QCOMPARE(w.progress.last(), 0);
        QCOMPARE(w.page.service().phase(), DatabaseService::Phase::Idle);
        QCOMPARE(instrumentDb(w.rig).image(), w.old);
        QCOMPARE(w.page.writesCompleted(), 0);
    }

    // The write goes out as it was when asked for, says what it writes, and
    // the lists it was taken from do not change under it.
    void aWriteOwnsItsInputFromItsStart_data()
    {
        QTest::addColumn<bool>("readFirst");
        QTest::addColumn<QString>("edit");
        QTest::newRow("another file while the backup is read") << false << "open";
        QTest::newRow("another file during the write") << true << "open";
        QTest::newRow("an addition during the write") << true << "add";
        QTest::newRow("a deletion during the write") << true << "delete";
    }

    void aWriteOwnsItsInputFromItsStart()
    {
        QFETCH(bool, readFirst);
        QFETCH(QString, edit);
        WriteRig w;
        w.written = img::image(
            {img::head(1, "A", "S", "T1"), img::head(1, "B", "S", "T2"), img::closing()});
        QVERIFY(w.setUp(readFirst));
        const QString other = putFile(w.rig, QStringLiteral("other.bdt"), oneTs("X"));
        const QByteArray listBefore = w.page.database().instrument().image();
        w.rig.statusLog.clear();
        QVERIFY(w.page.writeFileList());
        if (readFirst) {
            QVERIFY(w.page.writeInProgress());
            QCOMPARE(w.rig.statusLog.last(), QStringLiteral("Запись в прибор: файл new.bdt, 2 ТС"));
        } else {
            QVERIFY(w.page.writeWaitingForBackup());
        }

        if (edit == QLatin1String("open")) {
            QVERIFY(!w.page.openFileList(other));
            QVERIFY(!w.page.discardFileList());
            QCOMPARE(w.rig.session.pane().text(),
                     QStringLiteral("Другой файл не открыт: идёт запись БД ТС в прибор, после неё "
                                    "список прибора будет считан из прибора заново."));
            QVERIFY(w.page.fileTree().findPath({"B", "S", "T2"}));
        } else if (edit == QLatin1String("add")) {
            QVERIFY(!w.page.addToInstrumentList());
            QCOMPARE(w.rig.session.pane().text(),
                     QStringLiteral("Список прибора не дополнен: идёт запись БД ТС в прибор, после "
                                    "неё список прибора будет считан из прибора заново."));
        } else {
            w.page.selectInstrumentNodes({w.page.instrumentTree().topLevel().front()->path()});
            QCOMPARE(w.rig.session.pane().text(),
                     QStringLiteral("Запись в прибор: файл new.bdt, 2 ТС"));
            w.page.deleteSelected();
            QCOMPARE(w.rig.session.pane().text(),
                     QStringLiteral("Из списка прибора ничего не удалено: идёт запись БД ТС в "
                                    "прибор, после неё список прибора будет считан из прибора "
                                    "заново."));
        }
        if (readFirst)
            QCOMPARE(w.page.database().instrument().image(), listBefore);
        QVERIFY(w.rig.runUntil([&] { return w.page.writesCompleted() == 1; }, 120000));
        QCOMPARE(instrumentDb(w.rig).image(), w.written);
        QVERIFY(w.rig.statusLog.contains(QStringLiteral("Запись в прибор: файл new.bdt, 2 ТС")));
    }

    // The instrument list as edited is named as such.
    void aWriteOfTheInstrumentListNamesIt()
    {
        WriteRig w;
        QVERIFY(w.setUp());
        QVERIFY(w.page.addToInstrumentList());
        const int ts = w.page.database().instrument().tsCount();
        QVERIFY(w.page.writeInstrumentList());
        QCOMPARE(w.rig.session.pane().text(),
                 QStringLiteral("Запись в прибор: список прибора, %1 ТС").arg(ts));
        QCOMPARE(w.page.service().state().write->image, w.page.database().instrument().image());
    }

    // A read whose page count never comes has failed: it is no list, and a
    // write waiting for it as its backup is dropped with the reason.
    void aReadWhoseCountNeverComesFails_data()
    {
        QTest::addColumn<bool>("forAWrite");
        QTest::newRow("the operator's read") << false;
        QTest::newRow("a write's backup read") << true;
    }

    void aReadWhoseCountNeverComesFails()
    {
        QFETCH(bool, forAWrite);
        WriteRig w;
        QVERIFY(w.setUp(false));
        QSignalSpy ended(&w.page.service(), &DatabaseService::jobEnded);
        QSignalSpy notStarted(&w.page.service(), &DatabaseService::writeNotStarted);
        w.rig.instrument->setSilent(true);
        if (forAWrite)
            QVERIFY(w.page.writeFileList());
        else
            w.page.readInstrumentList();
        QVERIFY(w.rig.runUntil([&] { return ended.count() == 1; }, 60000));
        QCOMPARE(ended.at(0).at(0).value<LineJob>(), LineJob::DatabaseRead);
        QCOMPARE(ended.at(0).at(1).value<JobOutcome>(), JobOutcome::Failed);
        QCOMPARE(w.page.readsFailed(), 1);
        QCOMPARE(w.page.readsCompleted(), 0);
        QVERIFY(!w.page.database().instrument().exists());
        QCOMPARE(notStarted.count(), forAWrite ? 1 : 0);
        QVERIFY(w.rig.statusLog.contains(
            QStringLiteral("БД ТС из прибора не считана: прибор не ответил.")));
        QCOMPARE(w.page.service().phase(), DatabaseService::Phase::Idle);
        QVERIFY(!w.rig.session.line().busy());
    }

    // A write is a success only when its read-back holds exactly what was sent:
    // an instrument that drops a page as it stores is told as a failed write
    // naming the page, on the pane and in the journal, and the success is said
    // last, after the read-back's count.
    void aWriteIsJudgedByItsReadBack_data()
    {
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("result"); // the journal's, and the signal's
        QTest::newRow("stored whole")
            << 0 << int(JobOutcome::Done)
            << "БД ТС записана в прибор и проверена: все страницы в приборе (60) совпадают "
               "с записанными."
            << "проверена: считанная обратно БД ТС совпадает с записанной";
        const QString why = "считанная обратно БД ТС отличается от записанной, начиная со "
                            "страницы 2 (записано страниц: 60, в приборе: 59)";
        QTest::newRow("page 2 dropped")
            << 2 << int(JobOutcome::Failed) << "Запись БД ТС в прибор не удалась: " + why + "."
            << "ошибка проверки: " + why;
    }

    void aWriteIsJudgedByItsReadBack()
    {
        QFETCH(int, dropped);
        QFETCH(int, outcome);
        QFETCH(QString, pane);
        QFETCH(QString, result);
        WriteRig w;
        QVERIFY(w.setUp());
        instrumentDb(w.rig).dropPageWhenStoring(dropped);
        QSignalSpy checked(&w.page.service(), &DatabaseService::writeChecked);
        QVERIFY(w.page.writeFileList());
        QVERIFY(w.rig.runUntil([&] { return checked.count() == 1; }, 120000));
        QCOMPARE(int(checked.at(0).at(0).value<JobOutcome>()), outcome);
        QCOMPARE(checked.at(0).at(1).toString(), result);
        QCOMPARE(w.rig.session.pane().text(), pane);
        QVERIFY(journalLines(w.rig).last().endsWith("итог: " + result));
    }

    // A page count nobody asked for starts nothing: no request goes out and no
    // job takes the line.
    void aPageCountNobodyAskedForStartsNothing()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QSignalSpy ended(&page.service(), &DatabaseService::jobEnded);
        rig.settle();
        rig.port.clearWritten();
        rig.statusLog.clear();
        rig.instrument->send(QByteArrayLiteral("R  12"));
        rig.settle(DatabaseTransfer::ReadSilenceMs + 100);
        QCOMPARE(rig.port.written(), QByteArray());
        QVERIFY(rig.statusLog.isEmpty());
        QCOMPARE(ended.count(), 0);
        QVERIFY(!page.readInProgress());
        QVERIFY(!rig.session.line().busy());
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseJobs)
#include "tst_DatabaseJobs.moc"
