#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "database/DatabasePage.h"
#include "journal/JournalFilter.h"
#include "journal/ServiceJournal.h"
#include "journal/UnfinishedWrites.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTimeZone>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace kalent;
using namespace kalent::test;

namespace {

QList<QByteArray> journalLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

} // namespace

class tst_ServiceJournal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyEventIsOneStampedLineAddedBehindTheOthers()
    {
        QTemporaryDir dir;
        ServiceJournal journal{DataFolder(dir.path())};
        QCOMPARE(journal.path(), QDir(dir.path()).filePath(QStringLiteral("ServiceJournal.txt")));
        QVERIFY(journal.append(QStringLiteral("первое")));
        // An event text never breaks the one-line-per-event rule.
        QVERIFY(journal.append(QStringLiteral("второе\nс переводом строки")));
        ServiceJournal again{DataFolder(dir.path())};
        QVERIFY(again.append(QStringLiteral("третье")));
        const QList<QByteArray> lines = journalLines(journal.path());
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.last().isEmpty());
        QVERIFY(lines.at(0).endsWith("\tпервое"));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("\tвторое с переводом строки").toUtf8()));
        QVERIFY(lines.at(2).endsWith(QStringLiteral("\tтретье").toUtf8()));
        for (int i = 0; i < 3; ++i)
            QVERIFY(
                QDateTime::fromString(QString::fromLatin1(lines.at(i).left(24)), Qt::ISODateWithMs)
                    .isValid());
    }

    void aFailedAppendIsSaidAndLeavesEarlierLinesAlone()
    {
        QTemporaryDir dir;
        ServiceJournal journal{DataFolder(dir.path())};
        QVERIFY(journal.append(QStringLiteral("до сбоя")));
        const QByteArray before = [&] {
            QFile f(journal.path());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        // The journal's name taken by a folder: no append can succeed.
        const QString moved = journal.path() + QStringLiteral(".kept");
        QVERIFY(QFile::rename(journal.path(), moved));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ServiceJournal.txt")));
        QSignalSpy failed(&journal, &ServiceJournal::appendFailed);
        QVERIFY(!journal.append(QStringLiteral("не записано")));
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.first().first().toString().contains(QStringLiteral("служебный журнал")));
        // A folder is called a folder, not a device, FIFO or socket.
        QVERIFY2(failed.first().first().toString().endsWith(QStringLiteral("это папка, а не файл")),
                 qPrintable(failed.first().first().toString()));
        QFile kept(moved);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);
#ifdef Q_OS_UNIX
        // A FIFO in its place is refused at once instead of blocking the program.
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("ServiceJournal.txt")));
        QCOMPARE(::mkfifo(QFile::encodeName(journal.path()).constData(), 0600), 0);
        QVERIFY(!journal.append(QStringLiteral("не записано")));
        QCOMPARE(failed.count(), 2);
#endif
    }

    void sinceKeepsLaterLinesAndLinesWithoutATime()
    {
        const QByteArray text = "2026-03-01T10:00:00.000Z\tстарое\n"
                                "2026-03-02T10:00:00.000Z\tновое\n"
                                "обрывок без времени\n"
                                "2026-03-03T00:00:00.000Z\tещё новее\n";
        const QDateTime since =
            QDateTime::fromString(QStringLiteral("2026-03-02T00:00:00Z"), Qt::ISODate);
        const QByteArray shown = ServiceJournal::linesSince(text, since);
        QVERIFY(!shown.contains("старое"));
        QVERIFY(shown.contains("новое\n"));
        QVERIFY(shown.contains("обрывок"));
        QVERIFY(shown.contains("ещё новее"));
        QCOMPARE(ServiceJournal::linesSince(text, QDateTime()), text);
    }

    void aDatabaseWriteLeavesItsStartAndItsEndInTheJournal()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QString source = testDataPath(QStringLiteral("database/mixed.bdt"));
        QVERIFY(page.openFileList(source));
        page.writeToInstrument(DatabasePage::Which::FileList);
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 1; }, 60000));

        // The fingerprint is that of the image the instrument now holds.
        const QByteArray sha =
            QCryptographicHash::hash(rig.instrument->feature<DatabaseCommands>()->image(),
                                     QCryptographicHash::Sha256)
                .toHex();
        const QList<QByteArray> lines = journalLines(rig.session.journal().path());
        QByteArrayList writes;
        for (const QByteArray &l : lines)
            if (l.contains(QStringLiteral("запись БД ТС в прибор").toUtf8()))
                writes.append(l);
        QCOMPARE(writes.size(), 2);
        for (const QByteArray &l : writes) {
            QVERIFY(l.contains(QDir::toNativeSeparators(source).toUtf8()));
            QVERIFY(l.contains(QStringLiteral("страниц: 9").toUtf8()));
            QVERIFY(l.contains("sha256 " + sha));
        }
        QVERIFY(writes.at(0).endsWith(QStringLiteral("итог: начата (процесс %1)")
                                          .arg(QCoreApplication::applicationPid())
                                          .toUtf8()));
        QVERIFY(writes.at(1).endsWith(QStringLiteral("итог: прибор принял все страницы").toUtf8()));
    }

    // A write the journal opened and no line closed was cut off with its
    // program: found at the next start and said once. One that ended, or whose
    // process still runs (another window), is not.
    void anUnfinishedWriteIsSaidOnceAtTheNextStart_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("unfinished");
        const QString a = QStringLiteral("запись БД ТС в прибор; источник: файл a.bdt; страниц: "
                                         "9; sha256 aa; резервная копия: k.bdt; итог: ");
        const QString b = QStringLiteral("запись БД ТС в прибор; источник: файл b.bdt; страниц: "
                                         "2; sha256 bb; итог: ");
        const QString killed = QStringLiteral("начата (процесс 2147483000)");
        const QString running =
            QStringLiteral("начата (процесс %1)").arg(QCoreApplication::applicationPid());
        const QString took = QStringLiteral("прибор принял все страницы");
        QTest::newRow("ended") << QStringList{a + killed, a + took, a + "проверена"} << 0;
        QTest::newRow("killed") << QStringList{a + killed, "другое событие"} << 1;
        QTest::newRow("another ended meanwhile")
            << QStringList{a + killed, b + killed, b + "прервана: x"} << 1;
        QTest::newRow("still running elsewhere") << QStringList{a + running} << 0;
        QTest::newRow("the same file again, killed")
            << QStringList{a + killed, a + took, a + "проверена", a + killed} << 1;
    }
    void anUnfinishedWriteIsSaidOnceAtTheNextStart()
    {
        QFETCH(QStringList, events);
        QFETCH(int, unfinished);
        QTemporaryDir dir;
        ServiceJournal journal{DataFolder(dir.path())};
        for (const QString &event : events)
            QVERIFY(journal.append(event));
        const QStringList said = UnfinishedWrites::reportOnce(journal);
        QCOMPARE(said.size(), unfinished);
        if (unfinished > 0) {
            QVERIFY(said.first().contains("недописанную БД ТС") && said.first().contains("k.bdt"));
            QVERIFY(journalLines(journal.path())
                        .at(events.size())
                        .contains(QStringLiteral("итог: не завершена: ").toUtf8()));
        }
        QCOMPARE(UnfinishedWrites::reportOnce(journal), QStringList());
    }

    void theLinkLostAndRegainedAreEvents()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.instrument->setPowered(false);
        rig.settle(200);
        rig.instrument->setPowered(true);
        rig.settle(200);
        const QList<QByteArray> lines = journalLines(rig.session.journal().path());
        QCOMPARE(lines.size(), 3);
        QVERIFY(
            lines.at(0).contains(QStringLiteral("связь с прибором потеряна; порт: sim").toUtf8()));
        QVERIFY(lines.at(1).contains(
            QStringLiteral("связь с прибором восстановлена; порт: sim").toUtf8()));
    }

    void sinceTakesOnlyAStrictDateOrDateAndTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        const QDate day(2026, 12, 7);
        QTest::newRow("date") << "2026-12-07" << QDateTime(day, QTime(0, 0));
        QTest::newRow("minutes") << "2026-12-07T14:14" << QDateTime(day, QTime(14, 14));
        QTest::newRow("space, seconds")
            << "2026-12-07 14:14:09" << QDateTime(day, QTime(14, 14, 9));
        QTest::newRow("utc") << "2026-12-07T14:14Z"
                             << QDateTime(day, QTime(14, 14), QTimeZone::utc());
        QTest::newRow("hour 25") << "2026-12-07T25:00" << QDateTime();
        QTest::newRow("minute 99") << "2026-05-15T10:99" << QDateTime();
        QTest::newRow("trailing text") << "2026-05-15xyz" << QDateTime();
        QTest::newRow("trailing after time") << "2026-05-15T10:30x" << QDateTime();
        QTest::newRow("30 February") << "2026-02-30" << QDateTime();
        QTest::newRow("short year") << "26-05-15" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }
    void sinceTakesOnlyAStrictDateOrDateAndTime()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const QDateTime got = JournalFilter::parseSince(text);
        QCOMPARE(got.isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(got, expected);
    }

    void sinceHonoursTheTimeWithinADay()
    {
        const QByteArray text = "2026-12-07T14:13:59.999Z\tраньше\n"
                                "2026-12-07T14:14:00.000Z\tровно\n"
                                "2026-12-07T18:00:00.000Z\tпозже\n";
        const QByteArray shown = ServiceJournal::linesSince(
            text, JournalFilter::parseSince(QStringLiteral("2026-12-07T14:14Z")));
        QCOMPARE(shown, QByteArray("2026-12-07T14:14:00.000Z\tровно\n"
                                   "2026-12-07T18:00:00.000Z\tпозже\n"));
    }

    void theFilterGivesTheSameWhateverPiecesTheTextComesIn()
    {
        // Long lines, lines without a time, a stamp longer than any, an empty
        // line, no end on the last: cut anywhere, the answer is the same.
        const QByteArray text = "2026-03-01T10:00:00.000Z\tстарое " + QByteArray(3000, 'a') +
                                "\n\n2026-03-02T10:00:00.000Z\tновое " + QByteArray(5000, 'b') +
                                "\nбез времени\n" + QByteArray(100, '9') +
                                "\tдлинное начало\n2026-03-03T00:00:00.000Z\tпоследнее";
        const QDateTime since =
            QDateTime::fromString(QStringLiteral("2026-03-02T00:00:00Z"), Qt::ISODate);
        const QByteArray expected = "2026-03-02T10:00:00.000Z\tновое " + QByteArray(5000, 'b') +
                                    "\nбез времени\n" + QByteArray(100, '9') +
                                    "\tдлинное начало\n2026-03-03T00:00:00.000Z\tпоследнее\n";
        for (int piece : {1, 2, 7, 24, 25, 4096, 100000}) {
            QByteArray out;
            JournalFilter filter(since,
                                 [&out](const char *data, qint64 size) { out.append(data, size); });
            for (qsizetype at = 0; at < text.size(); at += piece)
                filter.feed(text.constData() + at, qMin<qsizetype>(piece, text.size() - at));
            filter.finish();
            QCOMPARE(out, expected);
        }
    }

    void aWriteToTheInstrumentDoesNotStartWithoutItsJournalLine()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.openFileList(testDataPath(QStringLiteral("database/mixed.bdt"))));
        // Read first: the write has its backup and would go straight to "M".
        page.readInstrumentList();
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }, 60000));
        QByteArray heard;
        QObject::connect(rig.instrument.get(), &VirtualInstrument::heard,
                         [&heard](const QByteArray &bytes, int) { heard += bytes; });
        QVERIFY(QDir(rig.dataDir.path()).mkdir(QStringLiteral("ServiceJournal.txt")));
        page.writeToInstrument(DatabasePage::Which::FileList);
        rig.settle(500);
        QVERIFY(!page.writeInProgress());
        QVERIFY2(heard.isEmpty(), heard.toHex().constData());
        const QString said = rig.session.pane().text();
        QVERIFY2(said.contains(QStringLiteral("это папка, а не файл")) &&
                     said.contains(QStringLiteral("не начата")),
                 qPrintable(said));

        // With the journal back the same write runs.
        QVERIFY(QDir(rig.dataDir.path()).rmdir(QStringLiteral("ServiceJournal.txt")));
        page.writeToInstrument(DatabasePage::Which::FileList);
        QVERIFY(page.writeInProgress());
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 1; }, 60000));
    }
};

QTEST_GUILESS_MAIN(tst_ServiceJournal)
#include "tst_ServiceJournal.moc"
