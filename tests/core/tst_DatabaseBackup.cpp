#include "FileFaults.h"
#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "ImageBuilder.h"
#include "common/DataFolder.h"
#include "database/DatabaseBackup.h"
#include "database/DatabasePage.h"
#include "database/TestSystemDatabase.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

DatabaseCommands &instrumentDb(SimRig &rig)
{
    return *rig.instrument->feature<DatabaseCommands>();
}

QString backupsDir(SimRig &rig)
{
    return rig.dataDir.filePath(QStringLiteral("backups"));
}

QStringList backups(SimRig &rig)
{
    return QDir(backupsDir(rig)).entryList(QDir::Files, QDir::Name);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString putFile(SimRig &rig, const QString &name, const QByteArray &bytes)
{
    const QString path = rig.dataDir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray small(const char *ts)
{
    return img::image({img::head(1, "A", "S", ts), img::closing()});
}

// The list a read makes of an image (what the backup holds).
QByteArray listOf(const QByteArray &image)
{
    TestSystemDatabase db;
    db.take(TestSystemDatabase::Which::File, image);
    return db.file().image();
}

QString journalText(SimRig &rig)
{
    return QString::fromUtf8(fileBytes(rig.dataDir.filePath(QStringLiteral("ServiceJournal.txt"))));
}

} // namespace

// Nothing replaces the instrument's database unsaved: each write first saves it
// under backups/, and a backup that cannot be saved stops the write.
class tst_DatabaseBackup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void backupIsOnTheDiskBeforeTheFirstM_data()
    {
        QTest::addColumn<bool>("readBefore");
        QTest::newRow("no read yet: the write reads first") << false;
        QTest::newRow("the last complete read is saved") << true;
    }

    void backupIsOnTheDiskBeforeTheFirstM()
    {
        QFETCH(bool, readBefore);
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray old = DemoDatabase::demo();
        instrumentDb(rig).setImage(old);
        if (readBefore)
            QVERIFY(rig.readInstrumentList());
        QVERIFY(page.openFileList(putFile(rig, "new.bdt", small("T"))));
        rig.port.clearWritten();

        // The moment the write starts, its backup is already whole on the disk.
        QByteArray backupAtStart;
        QByteArray sentAtStart;
        QObject::connect(&page, &DatabasePage::stateChanged, &page, [&] {
            if (page.writeInProgress() && sentAtStart.isEmpty()) {
                sentAtStart = rig.port.written();
                const QStringList names = backups(rig);
                if (names.size() == 1)
                    backupAtStart = fileBytes(QDir(backupsDir(rig)).filePath(names.first()));
            }
        });
        const int writes = page.writesCompleted();
        page.writeFileList();
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() > writes; }, 120000));

        // The backup is the database as the instrument sent it, not the list a
        // read makes of it (the demo is not in the list's order).
        QVERIFY(listOf(old) != old);
        QCOMPARE(backupAtStart, old);
        const QByteArray sent = rig.port.written();
        const int m = static_cast<int>(sent.indexOf('M'));
        QVERIFY(m >= 0);
        // Without a read the instrument's database was asked for page by page
        // first; with one, "M" is the very first byte.
        QCOMPARE(sent.left(m), readBefore ? QByteArray() : "R" + QByteArray(18, 'r'));
        QCOMPARE(sentAtStart.indexOf('M'), m);
        const QStringList names = backups(rig);
        QCOMPARE(names.size(), 1);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d{6}_instrument\\.bdt$"))
                .match(names.first())
                .hasMatch(),
            qPrintable(names.first()));
        // The journal's write lines name the backup and its fingerprint.
        const QString note =
            QStringLiteral("резервная копия: %1, %2")
                .arg(QDir::toNativeSeparators(QDir(backupsDir(rig)).filePath(names.first())),
                     ServiceJournal::fingerprint(old));
        QCOMPARE(journalText(rig).count(note), 2); // начата, прибор принял все страницы
    }

    void writeNeverStartsWhenItsBackupCannotBeSaved_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a file in the place of backups/") << "file"
                                                         << "лежит файл";
        QTest::newRow("a file-size limit below the database") << "limit"
                                                              << "";
        QTest::newRow("the backup read falls silent") << "silent"
                                                      << "не считана";
    }

    void writeNeverStartsWhenItsBackupCannotBeSaved()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray old = DemoDatabase::demo();
        instrumentDb(rig).setImage(old);
        if (fault != QLatin1String("silent"))
            QVERIFY(rig.readInstrumentList());
        QVERIFY(page.openFileList(putFile(rig, "new.bdt", small("T"))));
        if (fault == QLatin1String("file"))
            putFile(rig, "backups", "not a folder");
        std::unique_ptr<FileSizeLimit> limit;
        if (fault == QLatin1String("limit"))
            limit = std::make_unique<FileSizeLimit>(old.size() / 2);
        rig.port.clearWritten();
        QSignalSpy notStarted(&page.service(), &DatabaseService::writeNotStarted);

        page.writeFileList();
        if (fault == QLatin1String("silent")) {
            rig.settle(5);
            rig.instrument->cutNextReplyAfter(100);
        }
        QVERIFY(rig.runUntil([&] { return notStarted.count() == 1; }, 120000));
        rig.settle(DatabaseTransfer::ReadSilenceMs);
        limit.reset();

        QVERIFY(!rig.port.written().contains('M'));
        QCOMPARE(instrumentDb(rig).image(), old);
        QCOMPARE(page.writesCompleted(), 0);
        const QString text = rig.session.pane().text();
        // A database that cannot be read is no dead end: the way forward is named.
        const QString wayForward = QStringLiteral(
            " Если БД ТС прибора не считывается (прежняя запись могла остаться недописанной), "
            "запишите без резервной копии: об этом нужно попросить явно.");
        QVERIFY2(text.startsWith(QStringLiteral("Резервная копия БД ТС прибора не сохранена: ")) &&
                     text.endsWith(QStringLiteral(". Запись БД ТС в прибор не начата.") +
                                   (fault == QLatin1String("silent") ? wayForward : QString())) &&
                     text.contains(reason),
                 qPrintable(text));
        QCOMPARE(notStarted.first().first().toString(), text);
        QVERIFY(journalText(rig).contains(
            QStringLiteral("итог: не начата: резервная копия не сохранена: ")));
        QVERIFY(!journalText(rig).contains(QStringLiteral("итог: начата")));
        if (fault == QLatin1String("file"))
            QCOMPARE(fileBytes(backupsDir(rig)), QByteArray("not a folder"));
        else
            QVERIFY(backups(rig).isEmpty());
    }

    // A backup undoes a write through the explicit restore, from wherever it
    // lies: the pages go back as the instrument sent them (a page of another
    // kind and a repeated record included, nothing that follows the closing
    // page), and the pane and the journal say which backup was restored. Any
    // other write of the same bytes, from the backups folder too, is a file
    // like any other: sent as the list shows it.
    void aBackupRestoredFromAnywhereGoesBackByteForByte()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray old =
            img::image({img::head(1, "Z", "S", "T"), img::other(), img::head(1, "A", "S", "T"),
                        img::head(1, "Z", "S", "T"), img::closing()});
        QVERIFY(listOf(old).size() < old.size());
        instrumentDb(rig).setImage(old);
        QVERIFY(page.openFileList(putFile(rig, "new.bdt", small("T"))));
        page.writeFileList();
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 1; }, 120000));
        QVERIFY(rig.runUntil([&] { return !page.readInProgress(); }, 120000));
        QCOMPARE(instrumentDb(rig).image(), small("T"));

        const QString backup = QDir(backupsDir(rig)).filePath(backups(rig).value(0));
        QCOMPARE(fileBytes(backup), old);
        // "в файл..." onto a backup is refused, and the backup stays.
        QSignalSpy refused(&page, &DatabasePage::errorRaised);
        page.saveInstrumentListTo(backup);
        QCOMPARE(refused.count(), 1);
        QCOMPARE(fileBytes(backup), old);
        QVERIFY(QDir(rig.dataDir.path()).mkdir(QStringLiteral("archive")));
        const QString archived =
            putFile(rig, "archive/old.bdt", old + QByteArray(300, '\x5a') + "rest");
        rig.statusLog.clear();
        QVERIFY(page.restoreFrom(archived));
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 2; }, 120000));
        QCOMPARE(instrumentDb(rig).image(), old);
        QVERIFY2(rig.statusLog.contains(
                     QStringLiteral("Восстановление БД ТС прибора из резервной копии old.bdt: "
                                    "страниц 5, как их прислал прибор")),
                 qPrintable(rig.statusLog.join('\n')));
        QVERIFY(journalText(rig).contains(
            QStringLiteral("источник: восстановление из резервной копии %1; страниц: 5; %2")
                .arg(QDir::toNativeSeparators(archived), ServiceJournal::fingerprint(old))));
        // The restore backed up what the first write had written, beside the first backup.
        QCOMPARE(backups(rig).size(), 2);
        QCOMPARE(fileBytes(QDir(backupsDir(rig)).filePath(backups(rig).at(1))), small("T"));
        QVERIFY(rig.runUntil([&] { return !page.readInProgress(); }, 120000));
        QVERIFY(page.openFileList(backup));
        QVERIFY(page.writeFileList());
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 3; }, 120000));
        QCOMPARE(instrumentDb(rig).image(), listOf(old));
    }

    // Two writes in the same second (two instruments, one data folder) keep a
    // backup each: a name is taken only if nobody holds it, never renamed over
    // a backup that got there first.
    void twoBackupsOfOneSecondKeepOneFileEach()
    {
        QTemporaryDir dir;
        const DataFolder folder(dir.path());
        const QDateTime when(QDate(2026, 12, 7), QTime(17, 45, 12));
        DatabaseBackup::Saved rival;
        const DatabaseBackup::Saved saved = DatabaseBackup::save(folder, when, "first", [&] {
            if (rival.path.isEmpty())
                rival = DatabaseBackup::save(folder, when, "second");
        });
        const QDir backups(DatabaseBackup::folder(folder));
        QCOMPARE(rival.path, backups.filePath("2026-12-07_174512_instrument.bdt"));
        QCOMPARE(saved.path, backups.filePath("2026-12-07_174512_instrument_2.bdt"));
        QCOMPARE(fileBytes(rival.path), QByteArray("second"));
        QCOMPARE(fileBytes(saved.path), QByteArray("first"));
        QCOMPARE(backups.entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void anotherContactSearchMeansReadingAgainBeforeTheBackup()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        // Another instrument may answer the new search: what was read is not its database.
        QSignalSpy searches(&rig.link(), &Connection::searchStarted);
        rig.link().searchWithFastestSpeed();
        QVERIFY(rig.runUntil([&] {
            return searches.count() > 0 && !rig.link().searching() && rig.link().atFastestSpeed();
        }));
        const QByteArray other = small("Other");
        instrumentDb(rig).setImage(other);
        QVERIFY(page.openFileList(putFile(rig, "new.bdt", small("T"))));
        rig.port.clearWritten();
        page.writeFileList();
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 1; }, 120000));
        QVERIFY(rig.port.written().startsWith("Rrr"));
        QCOMPARE(fileBytes(QDir(backupsDir(rig)).filePath(backups(rig).value(0))), other);
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseBackup)
#include "tst_DatabaseBackup.moc"
