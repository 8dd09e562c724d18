#include "ServiceProcess.h"
#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "PtyBridge.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "database/TestSystemDatabase.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <signal.h>

using namespace kalent;
using namespace kalent::test;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Result run(const QStringList &arguments)
{
    const ServiceRun s = runService(Service, arguments, 90000);
    return {s.exitCode, s.out, QString::fromUtf8(s.err)};
}

// Runs the service while this process keeps serving its own instrument.
Result runServing(const QStringList &arguments)
{
    const ServiceRun s = runServiceServing(Service, arguments, 90000);
    return {s.exitCode, s.out, QString::fromUtf8(s.err)};
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What parse + rebuild make of an image.
QByteArray rebuilt(const QByteArray &image)
{
    TestSystemDatabase db;
    db.take(TestSystemDatabase::Which::File, image);
    return db.file().image();
}

} // namespace

// The built kalent-service against the built-in instrument served on a pty.
class tst_DatabaseCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_simulator.start(Service));
        m_pty = m_simulator.path();
    }

    void cleanupTestCase() { m_simulator.stop(); }

    void readThenWriteThenReadBackOverARealSerialPort()
    {
        const QString dir = m_dir.path();
        const QString first = m_dir.filePath(QStringLiteral("first.bdt"));
        Result r = run({"db-read", "--port", m_pty, "--out", first, "--data-dir", dir});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains(QStringLiteral("Принято из прибора страниц: 18")));
        QCOMPARE(readFile(first), rebuilt(DemoDatabase::demo()));
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("SpisokTSinVir.txt"))));

        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        r = run({"db-write", "--port", m_pty, golden, "--data-dir", dir});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains(QStringLiteral("Отправлено в прибор страниц: 9")));

        const QString second = m_dir.filePath(QStringLiteral("second.bdt"));
        r = run({"db-read", "--port", m_pty, "--out", second, "--data-dir", dir});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(second),
                 readFile(testDataPath(QStringLiteral("database/mixed.rebuilt.bdt"))));
    }

    // db-write saves the instrument's database under backups/ first and the
    // journal names it; db-restore of that file restores it; --no-backup saves none.
    void writeBacksUpFirstAndTheBackupRestores()
    {
        QTemporaryDir dir;
        const QString golden = testDataPath(QStringLiteral("database/mixed.rebuilt.bdt"));
        const QString before = dir.filePath(QStringLiteral("before.bdt"));
        Result r = run({"db-read", "--port", m_pty, "--out", before, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);

        r = run({"db-write", "--port", m_pty, golden, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        const QDir backups(dir.filePath(QStringLiteral("backups")));
        const QStringList names = backups.entryList(QDir::Files);
        QCOMPARE(names.size(), 1);
        const QString backup = backups.filePath(names.first());
        QCOMPARE(readFile(backup), readFile(before));
        const QString journal =
            QString::fromUtf8(readFile(dir.filePath(QStringLiteral("ServiceJournal.txt"))));
        QVERIFY2(
            journal.contains(QStringLiteral("резервная копия: ") +
                             QDir::toNativeSeparators(backup) + QStringLiteral(", sha256 ") +
                             QString::fromLatin1(QCryptographicHash::hash(
                                                     readFile(backup), QCryptographicHash::Sha256)
                                                     .toHex())),
            qPrintable(journal));

        r = run({"db-restore", "--port", m_pty, backup, "--no-backup", "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(backups.entryList(QDir::Files).size(), 1);
        const QString after = dir.filePath(QStringLiteral("after.bdt"));
        r = run({"db-read", "--port", m_pty, "--out", after, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(after), readFile(before));
    }

    void writeRefusedWhenItsBackupCannotBeSaved()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("backups")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString before = dir.filePath(QStringLiteral("before.bdt"));
        Result r = run({"db-read", "--port", m_pty, "--out", before, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        const QString other = testDataPath(QStringLiteral("database/mixed.rebuilt.bdt"));
        const QString source =
            readFile(before) == readFile(other)
                ? testDataPath(QStringLiteral("database/punctuation.rebuilt.bdt"))
                : other;
        r = run({"db-write", "--port", m_pty, source, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Резервная копия БД ТС прибора не сохранена")) &&
                     r.err.contains(QStringLiteral("Запись БД ТС в прибор не начата.")),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("Отправлено в прибор")));
        const QString after = dir.filePath(QStringLiteral("after.bdt"));
        r = run({"db-read", "--port", m_pty, "--out", after, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(after), readFile(before));
    }

    void listPrintsTheTreeAndRejectsAForeignFile()
    {
        Result r = run({"db-list", testDataPath(QStringLiteral("database/mixed.bdt")), "--data-dir",
                        m_dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(
            QString::fromUtf8(r.out),
            QStringLiteral("hepatitis\n\tHCV\n\t\tanti-HCV\nHepatitis\n\tHBV\n\t\tHBsAg\n"
                           "HIV\n\tAb\n\t\tELISA\n\tAg\n\t\tp24\nГормоны\n\tТТГ\n\t\tТТГ-ИФА\n"));
        const QString foreign = m_dir.filePath(QStringLiteral("foreign.bdt"));
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 not a database");
        f.close();
        r = run({"db-list", foreign, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("Файл foreign.bdt не содержит БД ТС.")));
        QVERIFY(r.out.isEmpty());
    }

    void deleteThenAddGivesBackEveryTestSystem()
    {
        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        const QString cut = m_dir.filePath(QStringLiteral("cut.bdt"));
        Result r = run({"db-delete", golden, "--node", "HIV", "--node", "Гормоны/ТТГ", "--out", cut,
                        "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains(QStringLiteral("Из списка прибора удалено 3 ТС")));
        QCOMPARE(readFile(cut).left(10), QByteArray("VirBDTS  4"));

        const QString whole = m_dir.filePath(QStringLiteral("whole.bdt"));
        r = run({"db-add", cut, golden, "--out", whole, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains(QStringLiteral("В список прибора добавлено 3 ТС")));
        QCOMPARE(readFile(whole).size(), readFile(cut).size() + 5 * 528);
        QCOMPARE(rebuilt(readFile(whole)),
                 readFile(testDataPath(QStringLiteral("database/mixed.rebuilt.bdt"))));

        r = run(
            {"db-delete", golden, "--node", "Nowhere", "--out", cut, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        r = run({"db-delete", golden, "--out", cut});
        QCOMPARE(r.exitCode, 2);
    }

    void readThatEndsShortOrEndsOnARecordPageKeepsTheOldFile()
    {
        SystemClock clock;
        auto instrument = createBuiltInInstrument(clock);
        auto &db = *instrument->feature<DatabaseCommands>();
        db.setImage(DemoDatabase::withPages(60));
        PtyBridge bridge(*instrument);
        QVERIFY(bridge.start());
        const QString out = m_dir.filePath(QStringLiteral("kept.bdt"));
        const QByteArray old = rebuilt(DemoDatabase::demo());
        QVERIFY(writeBytes(out, old));
        const QStringList read = {"db-read", "--port",     bridge.slavePath(), "--out",
                                  out,       "--data-dir", m_dir.path()};

        db.stopAfterPages(30);
        Result r = runServing(read);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("БД ТС из прибора не считана: принято страниц 30 "
                                               "из 60.")),
                 qPrintable(r.err));
        QCOMPARE(readFile(out), old);

        db.stopAfterPages(-1);
        db.announcePages(31);
        r = runServing(read);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(
            QStringLiteral("БД ТС из прибора не считана: последняя страница не завершающая.")));
        QCOMPARE(readFile(out), old);

        db.announcePages(-1);
        db.splitCountReply(4, 50);
        r = runServing(read);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(out), rebuilt(DemoDatabase::withPages(60)));
    }

    void namesWithControlBytesAndSlashesCanBeListedAndNamed()
    {
        DemoDatabase odd;
        odd.addRecord({QStringLiteral("a/b"), QStringLiteral("x\x01y"), QStringLiteral("c\\d"), 1});
        odd.addRecord({QStringLiteral("plain"), QStringLiteral("S"), QStringLiteral("T"), 1});
        const QString in = m_dir.filePath(QStringLiteral("odd.bdt"));
        QVERIFY(writeBytes(in, odd.image()));
        Result r = run({"db-list", in, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out),
                 QStringLiteral("a/b\n\tx\\x01y\n\t\tc\\\\d\nplain\n\tS\n\t\tT\n"));
        // The list text file keeps the name's bytes as they are.
        QVERIFY(readFile(m_dir.filePath(QStringLiteral("SpisokTSinFile.txt")))
                    .contains(QByteArray("\tx\x01y\0\r\n", 7)));

        const QString out = m_dir.filePath(QStringLiteral("odd-cut.bdt"));
        r = run({"db-delete", in, "--node", "a\\/b/x\x01y/c\\\\d", "--out", out, "--data-dir",
                 m_dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains(QStringLiteral("Из списка прибора удалено 1 ТС")));
        QCOMPARE(readFile(out).left(10), QByteArray("VirBDTS  2"));
        r = run({"db-delete", in, "--node", "a\\b", "--out", out, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 2);
    }

    // The instrument's database as it holds it, a page of another kind and a
    // repeated record included, is what a backup keeps and what its restore gives
    // back, byte for byte; the restore says so, and the journal names the backup.
    void aBackupRestoresTheInstrumentByteForByte()
    {
        SystemClock clock;
        auto instrument = createBuiltInInstrument(clock);
        auto &db = *instrument->feature<DatabaseCommands>();
        DemoDatabase odd;
        odd.addRecord({QStringLiteral("Zeta"), QStringLiteral("S"), QStringLiteral("T"), 1});
        odd.addRecord({QStringLiteral("Alpha"), QStringLiteral("S"), QStringLiteral("T"), 2});
        odd.addRecord({QStringLiteral("Zeta"), QStringLiteral("S"), QStringLiteral("T"), 1});
        QByteArray original = odd.image();
        // A page of another kind in front of the closing page.
        original.insert(original.size() - 528, QByteArray(528, 'o'));
        original.replace(7, 3, QByteArray::number((original.size() - 10) / 528).rightJustified(3));
        QVERIFY(rebuilt(original).size() < original.size());
        db.setImage(original);
        PtyBridge bridge(*instrument);
        QVERIFY(bridge.start());
        QTemporaryDir dir;

        Result r = runServing({"db-write", "--port", bridge.slavePath(),
                               testDataPath(QStringLiteral("database/mixed.rebuilt.bdt")),
                               "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(db.image() != original);
        const QDir backups(dir.filePath(QStringLiteral("backups")));
        const QString backup = backups.filePath(backups.entryList(QDir::Files).value(0));
        QCOMPARE(readFile(backup), original);

        r = runServing(
            {"db-restore", "--port", bridge.slavePath(), backup, "--data-dir", dir.path()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(db.image(), original);
        QVERIFY2(r.err.contains(QStringLiteral("Восстановление БД ТС прибора из резервной копии ") +
                                QFileInfo(backup).fileName()),
                 qPrintable(r.err));
        const QString journal =
            QString::fromUtf8(readFile(dir.filePath(QStringLiteral("ServiceJournal.txt"))));
        QVERIFY2(journal.contains(QStringLiteral("источник: восстановление из резервной копии ") +
                                  QDir::toNativeSeparators(backup)),
                 qPrintable(journal));
    }

    // SIGTERM, SIGINT or SIGHUP in the middle of a write stops it between two
    // pages: the journal says how it ended, the program says why it stopped and
    // exits 1, and the instrument keeps a whole database.
    void aStopSignalDuringAWriteIsJournalledAndFails_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void aStopSignalDuringAWriteIsJournalledAndFails()
    {
        QFETCH(int, signal);
        SystemClock clock;
        auto instrument = createBuiltInInstrument(clock);
        auto &db = *instrument->feature<DatabaseCommands>();
        const QByteArray old = DemoDatabase::withPages(60);
        db.setImage(old);
        db.holdWriteAfterPages(3);
        PtyBridge bridge(*instrument);
        QVERIFY(bridge.start());
        QTemporaryDir dir;
        QProcess p;
        p.start(Service, {"db-write", "--port", bridge.slavePath(),
                          testDataPath(QStringLiteral("database/mixed.bdt")), "--data-dir",
                          dir.path(), "--no-backup"});
        QVERIFY(p.waitForStarted());
        QDeadlineTimer deadline(60000);
        while (db.pagesReceived() < 3 && p.state() != QProcess::NotRunning &&
               !deadline.hasExpired())
            QTest::qWait(5);
        QCOMPARE(db.pagesReceived(), 3); // of the 9 pages of mixed.bdt
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(10);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(
                     QStringLiteral("Запись БД ТС в прибор прервана: получен сигнал остановки.")) &&
                     err.contains(QStringLiteral("Остановка по сигналу: запись БД ТС в прибор "
                                                 "прервана.")),
                 qPrintable(err));
        const QStringList journal =
            QString::fromUtf8(readFile(dir.filePath(QStringLiteral("ServiceJournal.txt"))))
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!journal.isEmpty());
        QVERIFY2(journal.last().endsWith(QStringLiteral("итог: прервана: получен сигнал остановки; "
                                                        "прибор может держать недописанную БД ТС")),
                 qPrintable(journal.join('\n')));
        QCOMPARE(db.image(), old);
    }

private:
    PtyInstrumentProcess m_simulator;
    QString m_pty;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_DatabaseCommandLine)
#include "tst_DatabaseCommandLine.moc"
