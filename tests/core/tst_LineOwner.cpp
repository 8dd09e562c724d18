#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "FirmwareRig.h"
#include "ImageBuilder.h"
#include "MeasurementData.h"
#include "TestSupport.h"
#include "database/DatabasePage.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

enum class Running { Table, Protocol, DatabaseRead, DatabaseWrite, Search };
enum class Action {
    NoticeMeasured,
    NoticeResults,
    ReadTable,
    ReadDatabase,
    WriteDatabase,
    Contact
};

constexpr int DatabasePages = 12;

const QString Busy = QStringLiteral("Дождитесь конца обмена с прибором: идёт %1.");

QByteArray databaseImage()
{
    return DemoDatabase::withPages(DatabasePages);
}

QByteArray readCommands(int pages)
{
    return "R" + QByteArray(pages, 'r');
}

// What the session's service journal holds, line by line: the opening line of a
// write is stored by the flow itself, the rest through its journal events.
QStringList journalLines(Session &session)
{
    QFile file(session.journal().path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

Q_DECLARE_METATYPE(Running)
Q_DECLARE_METATYPE(Action)

// One exchange at a time, on the built-in instrument and the manual clock:
// each running exchange met by each operator action or notice.
class tst_LineOwner : public QObject
{
    Q_OBJECT

    struct Rig : SimRig
    {
        QByteArray image = databaseImage();
        QString file;
        bool prepare()
        {
            if (!connectFast())
                return false;
            settle();
            file = QDir(dataDir.path()).filePath("db.bdt");
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
                return false;
            f.close();
            if (!session.databasePage().openFileList(file))
                return false;
            // A complete read gives a write its backup without reading first.
            session.databasePage().readInstrumentList();
            if (!runUntil([this] { return session.databasePage().readsCompleted() == 1; }, 60000))
                return false;
            session.reader().setAutoRead(true);
            session.results().setAutoRead(true);
            statusLog.clear();
            port.clearWritten();
            return true;
        }

        void start(Running running)
        {
            switch (running) {
            case Running::Table:
                session.reader().readTable();
                break;
            case Running::Protocol:
                session.results().readProtocol();
                break;
            case Running::DatabaseRead:
                session.databasePage().readInstrumentList();
                break;
            case Running::DatabaseWrite:
                session.databasePage().writeFileList();
                break;
            case Running::Search:
                link().contactOrStop();
                break;
            }
        }

        void act(Action action)
        {
            MeasurementData &data = *instrument->feature<MeasurementData>();
            switch (action) {
            case Action::NoticeMeasured:
                data.announceMeasurement(*instrument);
                break;
            case Action::NoticeResults:
                data.announceResults(*instrument);
                break;
            case Action::ReadTable:
                session.reader().readTable();
                break;
            case Action::ReadDatabase:
                session.databasePage().readInstrumentList();
                break;
            case Action::WriteDatabase:
                session.databasePage().writeFileList();
                break;
            case Action::Contact:
                link().contactOrStop();
                break;
            }
        }
    };

    static QByteArray ownBytes(Running running, Rig &rig)
    {
        switch (running) {
        case Running::Table:
            return "G";
        case Running::Protocol:
            return "gd";
        case Running::DatabaseRead:
            return readCommands(
                int((rig.instrument->feature<DatabaseCommands>()->image().size() - 10) / 528));
        case Running::DatabaseWrite:
            return img::writeCommands(rig.session.databasePage().database().file().image());
        case Running::Search:
            break;
        }
        return {};
    }

private Q_SLOTS:
    void collision_data()
    {
        QTest::addColumn<Running>("running");
        QTest::addColumn<Action>("action");
        QTest::addColumn<int>("outcome");
        // The pane right after the action ("" for no check).
        QTest::addColumn<QString>("paneNow");
        // What the program writes once the running exchange has ended.
        QTest::addColumn<QByteArray>("after");

        const auto busy = [](LineJob job) {
            return Busy.arg(LineOwner::jobName(job));
        };
        const int done = int(JobOutcome::Done);
        const int cancelled = int(JobOutcome::Cancelled);

        // Notices wait for the running exchange, then start theirs.
        QTest::newRow("table, measured")
            << Running::Table << Action::NoticeMeasured << done << QString() << QByteArray("G");
        QTest::newRow("table, results ready")
            << Running::Table << Action::NoticeResults << done << QString() << QByteArray("gd");
        QTest::newRow("protocol, measured")
            << Running::Protocol << Action::NoticeMeasured << done << QString() << QByteArray("G");
        QTest::newRow("database read, results ready")
            << Running::DatabaseRead << Action::NoticeResults << done << QString()
            << QByteArray("gd");
        QTest::newRow("database write, measured")
            << Running::DatabaseWrite << Action::NoticeMeasured << done << QString()
            << readCommands(DatabasePages) + "G";

        // The operator's second exchange is refused (a double click starts one).
        QTest::newRow("table, read table")
            << Running::Table << Action::ReadTable << done << busy(LineJob::Table) << QByteArray();
        QTest::newRow("table, read database") << Running::Table << Action::ReadDatabase << done
                                              << busy(LineJob::Table) << QByteArray();
        QTest::newRow("protocol, write database")
            << Running::Protocol << Action::WriteDatabase << done << busy(LineJob::Protocol)
            << QByteArray();
        QTest::newRow("database read, write database")
            << Running::DatabaseRead << Action::WriteDatabase << done << busy(LineJob::DatabaseRead)
            << QByteArray();
        QTest::newRow("database write, write database (double click)")
            << Running::DatabaseWrite << Action::WriteDatabase << done
            << busy(LineJob::DatabaseWrite) << readCommands(DatabasePages);
        QTest::newRow("database write, read table")
            << Running::DatabaseWrite << Action::ReadTable << done << busy(LineJob::DatabaseWrite)
            << readCommands(DatabasePages);
        QTest::newRow("database write, read database")
            << Running::DatabaseWrite << Action::ReadDatabase << done
            << busy(LineJob::DatabaseWrite) << readCommands(DatabasePages);
        QTest::newRow("search, read database") << Running::Search << Action::ReadDatabase << done
                                               << busy(LineJob::ContactSearch) << QByteArray();
        QTest::newRow("search, read table") << Running::Search << Action::ReadTable << done
                                            << busy(LineJob::ContactSearch) << QByteArray();

        // "Контакт" cancels a write outright, and a read for its search.
        QTest::newRow("database write, contact")
            << Running::DatabaseWrite << Action::Contact << cancelled
            << QStringLiteral("Запись БД ТС в прибор прервана: нажата кнопка «Контакт».")
            << QByteArray();
        QTest::newRow("database read, contact")
            << Running::DatabaseRead << Action::Contact << cancelled
            << QStringLiteral("Установление контакта.") << QByteArray("B");
    }

    void collision()
    {
        QFETCH(Running, running);
        QFETCH(Action, action);
        QFETCH(int, outcome);
        QFETCH(QString, paneNow);
        QFETCH(QByteArray, after);

        Rig rig;
        QVERIFY(rig.prepare());
        LineOwner &line = rig.session.line();
        qsizetype writtenAtEnd = -1;
        int endedWith = -1;
        QObject::connect(&line, &LineOwner::jobEnded, &line,
                         [&](LineJob, JobOutcome ended, const QString &) {
                             if (writtenAtEnd >= 0)
                                 return;
                             writtenAtEnd = rig.port.written().size();
                             endedWith = int(ended);
                         });

        rig.start(running);
        QVERIFY(line.busy());
        rig.clock.advance(5);
        QVERIFY(line.busy());
        rig.act(action);
        if (!paneNow.isEmpty())
            QVERIFY2(rig.session.pane().text().startsWith(paneNow), qPrintable(paneNow));
        QVERIFY(rig.runUntil([&] { return writtenAtEnd >= 0; }, 60000));
        QCOMPARE(endedWith, outcome);
        // Let whatever follows run to its end.
        QVERIFY(rig.runUntil([&] { return !line.busy() && line.queuedNotices() == 0; }, 60000));
        rig.settle(500);
        QVERIFY(!line.busy());

        const QByteArray written = rig.port.written();
        // Nothing of another exchange inside the running one.
        if (outcome == int(JobOutcome::Done) && running != Running::Search)
            QCOMPARE(written.left(writtenAtEnd), ownBytes(running, rig));
        if (running == Running::Search)
            QVERIFY(!written.left(writtenAtEnd).contains('R') &&
                    !written.left(writtenAtEnd).contains('G'));
        QVERIFY2(written.mid(writtenAtEnd).startsWith(after),
                 written.mid(writtenAtEnd).left(40).toHex().constData());
        if (after.isEmpty() || after == "B")
            QVERIFY(!written.mid(writtenAtEnd).contains('G') &&
                    !written.mid(writtenAtEnd).contains('M'));
    }

    void thePanelsProbeAndSpeedAreGreyedWhileAWriteRuns_data()
    {
        QTest::addColumn<Running>("running");
        QTest::addColumn<bool>("greyed");
        QTest::newRow("database write") << Running::DatabaseWrite << true;
        QTest::newRow("database read") << Running::DatabaseRead << false;
        QTest::newRow("table") << Running::Table << false;
    }

    void thePanelsProbeAndSpeedAreGreyedWhileAWriteRuns()
    {
        QFETCH(Running, running);
        QFETCH(bool, greyed);
        Rig rig;
        QVERIFY(rig.prepare());
        QVERIFY(!rig.link().state().lineWritten);
        // What the views last heard is what they show.
        LinkState shown = rig.link().state();
        QObject::connect(&rig.link(), &Connection::stateChanged,
                         [&] { shown = rig.link().state(); });
        rig.start(running);
        rig.clock.advance(20);
        QVERIFY(rig.session.line().busy());
        QCOMPARE(shown.lineWritten, greyed);
        // Everything else is as the link has it.
        QVERIFY(shown.lineUp);
        QVERIFY(!shown.searching());
        QVERIFY(rig.runUntil([&] { return !rig.session.line().busy(); }, 60000));
        QVERIFY(!shown.lineWritten);
    }

    void cancelledWriteEndsInTheJournalAndResetsTheBar()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.start(Running::DatabaseWrite);
        rig.clock.advance(100);
        QVERIFY(rig.session.pane().progress() > 0);
        rig.act(Action::Contact);
        QCOMPARE(rig.session.pane().progress(), 0);
        const QStringList journal = journalLines(rig.session);
        QCOMPARE(journal.size(), 2);
        QVERIFY(journal.at(0).contains("начата"));
        QVERIFY2(journal.at(1).contains("прервана: нажата кнопка «Контакт»"),
                 qPrintable(journal.at(1)));
        // Nothing more goes out for the write; the next "Контакт" searches.
        const qsizetype written = rig.port.written().size();
        rig.settle(2000);
        QCOMPARE(rig.port.written().size(), written);
        QVERIFY(!rig.session.line().busy());
        rig.act(Action::Contact);
        QVERIFY(rig.link().searching());
        QVERIFY(rig.runUntil([&] { return !rig.link().searching(); }));
        rig.settle(2000);
        QCOMPARE(rig.session.pane().progress(), 0);
    }

    void writeThatHearsNothingEndsFailedInTheJournal()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.instrument->setSilent(true);
        rig.start(Running::DatabaseWrite);
        rig.clock.advance(LineOwner::ReplySilenceMs + 100);
        QVERIFY(!rig.session.line().busy());
        QVERIFY(rig.session.pane().text().startsWith(
            QStringLiteral("Запись БД ТС в прибор прервана: прибор не ответил.")));
        QCOMPARE(rig.session.pane().progress(), 0);
        // Contact again: the bar stays empty until something else fills it.
        rig.instrument->setSilent(false);
        rig.act(Action::Contact);
        QVERIFY(rig.runUntil([&] { return !rig.link().searching(); }));
        rig.settle(2000);
        QCOMPARE(rig.session.pane().progress(), 0);
        const QStringList journal = journalLines(rig.session);
        QCOMPARE(journal.size(), 2);
        QVERIFY(journal.at(1).contains("прервана: прибор не ответил"));
    }

    void twoNoticesInOneReadAreBothServedInOrder()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        QSignalSpy tables(&rig.session.reader(), &OpticalDensityReader::tableReceived);
        QSignalSpy protocols(&rig.session.results(), &ResultsProtocol::protocolReceived);
        rig.instrument->sendRaw("Gg");
        const bool both = rig.runUntil([&] { return tables.size() == 1 && protocols.size() == 1; });
        QVERIFY2(both, qPrintable(rig.statusLog.join('|') + QString::number(tables.size()) +
                                  QString::number(protocols.size())));
        QCOMPARE(rig.port.written(), QByteArray("Ggd"));
    }

    void contactDuringAnUploadCancelsItAndSaysSoEverywhere()
    {
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(45000, 'z'))));
        QSignalSpy ended(&rig.wizard(), &FirmwareWizard::uploadEnded);
        const qsizetype before = journalLines(rig.session).size();
        rig.wizard().startUpload(true);
        rig.clock.advance(1500);
        QVERIFY(rig.session.pane().progress() > 0);
        qint64 heardAfterEnd = 0;
        QObject::connect(rig.instrument.get(), &VirtualInstrument::heard, rig.instrument.get(),
                         [&](const QByteArray &bytes, int) { heardAfterEnd += bytes.size(); });

        rig.link().contactOrStop();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).value<JobOutcome>(), JobOutcome::Cancelled);
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("Загрузка программы в прибор прервана: нажата кнопка «Контакт»."));
        QCOMPARE(rig.session.pane().progress(), 0);
        QVERIFY(!rig.wizard().state().uploadUnderWay());
        QVERIFY(!rig.session.line().busy());
        QVERIFY(!rig.link().searching()); // no search over the instrument's programming mode
        QStringList journal = journalLines(rig.session).mid(before);
        QCOMPARE(journal.size(), 2);
        QVERIFY2(journal.at(1).contains("прервана: нажата кнопка «Контакт»"),
                 qPrintable(journal.at(1)));
        rig.clock.advance(5000);
        QCOMPARE(heardAfterEnd, 0);
        journal = journalLines(rig.session).mid(before);
        QVERIFY(!journal.join('|').contains("передана целиком"));
    }

    void uploadWhoseRestartIsNeverReportedEndsInTheJournal()
    {
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile("small.tsk", QByteArray(3000, 'z'))));
        rig.bootLoader().setFault(BootLoader::Fault::NeverReports);
        QSignalSpy ended(&rig.wizard(), &FirmwareWizard::uploadEnded);
        QStringList journal;
        QObject::connect(&rig.wizard(), &FirmwareWizard::journalEvent,
                         [&journal](const QString &line) { journal.append(line); });
        rig.wizard().startUpload(true);
        QVERIFY(rig.runUntil([&] { return (rig.step() == WizardStep::AwaitingRestart); }));
        rig.clock.advance(30000);
        QVERIFY(rig.session.line().busy()); // still waiting for the report
        QVERIFY(ended.isEmpty());
        rig.clock.advance(31000);
        QVERIFY(!rig.session.line().busy());
        QCOMPARE(ended.size(), 1);
        QVERIFY2(journal.last().contains("ожидание перезапуска прервано: прибор не ответил"),
                 qPrintable(journal.last()));
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("Программа передана, но перезапуск прибора не подтверждён: прибор "
                                "не ответил."));
    }

    void restartReportStopsTheUploadAndNothingMoreReachesTheInstrument()
    {
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(45000, 'z'))));
        rig.bootLoader().setFault(BootLoader::Fault::StartsDuringUpload);
        QSignalSpy ended(&rig.wizard(), &FirmwareWizard::uploadEnded);
        qint64 heardAfterEnd = 0;
        QObject::connect(rig.instrument.get(), &VirtualInstrument::heard, rig.instrument.get(),
                         [&](const QByteArray &bytes, int) {
                             if (!ended.isEmpty())
                                 heardAfterEnd += bytes.size();
                         });
        rig.wizard().startUpload(true);
        QVERIFY(rig.session.line().busy());
        QVERIFY(rig.runUntil([&] { return !ended.isEmpty(); }));
        QCOMPARE(ended.at(0).at(0).value<JobOutcome>(), JobOutcome::Failed);
        QVERIFY(!rig.session.line().busy());
        rig.clock.advance(5000);
        // The block handed over just before the report never reaches the line.
        QCOMPARE(heardAfterEnd, 0);
    }
};

QTEST_GUILESS_MAIN(tst_LineOwner)
#include "tst_LineOwner.moc"
