#include "FileFaults.h"
#include "ServiceProcess.h"
#include "TestSupport.h"

#include "common/DataFolder.h"
#include "common/SystemErrorText.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kalent;
using namespace kalent::test;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

// Where a child's standard output goes.
enum class Stdout { Captured, DevFull, Closed, ReaderGone, SizeLimit, FullDisk };

struct Child
{
    Stdout out = Stdout::Captured;
    QString outFile;         // SizeLimit and FullDisk: the file it is written to
    qint64 sizeLimit = -1;   // a file-size limit of the child's own
    QStringList environment; // NAME=VALUE, added
    QString workingDir;
};

ServiceRun run(const QString &program, const QStringList &arguments, const Child &child = {})
{
    return runService(program, arguments, 90000, [&child](QProcess &p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &pair : child.environment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        p.setProcessEnvironment(env);
        if (!child.workingDir.isEmpty())
            p.setWorkingDirectory(child.workingDir);
        if (child.sizeLimit >= 0)
            limitChildFileSize(p, child.sizeLimit);
        switch (child.out) {
        case Stdout::Captured:
            break;
        case Stdout::DevFull:
            p.setStandardOutputFile(QStringLiteral("/dev/full"));
            break;
        case Stdout::FullDisk:
            p.setStandardOutputFile(child.outFile);
            break;
        case Stdout::SizeLimit:
            p.setStandardOutputFile(child.outFile);
            break;
        case Stdout::Closed:
            // Only async-signal-safe calls between fork and exec.
            p.setChildProcessModifier([] { ::close(1); });
            break;
        case Stdout::ReaderGone:
            p.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0) {
                    ::close(ends[0]);
                    ::dup2(ends[1], 1);
                    ::close(ends[1]);
                }
            });
            break;
        }
    });
}

ServiceRun runService(const QStringList &arguments, const Child &child = {})
{
    return run(Service, arguments, child);
}

// The program started through the shell, so that arguments are passed as the
// bytes given (QProcess would pass them as UTF-8): $1... are printf formats.
ServiceRun runWithBytes(const QString &script, const QStringList &formats, const QString &dir)
{
    QString command = QStringLiteral("K=\"$0\"; ");
    for (int i = 0; i < formats.size(); ++i)
        command += QStringLiteral("A%1=$(printf \"$%2\"); ").arg(i + 1).arg(i + 1);
    command += script;
    Child child;
    child.workingDir = dir;
    return run(QStringLiteral("/bin/sh"),
               QStringList{QStringLiteral("-c"), command, Service} + formats, child);
}

bool existsRaw(const QByteArray &path)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0;
}

QByteArray journalOf(int size)
{
    const QByteArray stamp = "2026-03-01T10:00:00.000Z\t";
    QByteArray out;
    while (size - out.size() > 400)
        out += stamp + QByteArray(200 - stamp.size() - 1, 'a') + '\n';
    out += stamp + QByteArray(size - out.size() - stamp.size() - 1, 'z') + '\n';
    return out;
}

} // namespace

// The records the command line leaves beside its outputs: standard output
// checked like a file, the journal's lines whole, names byte for byte, and
// each refusal said in Russian with a non-zero exit. The built-in instrument
// is served on a pseudo-terminal by a second copy of the program.
class tst_RecordsCommandLine : public QObject
{
    Q_OBJECT
private:
    PtyInstrumentProcess simulator;
    QString pty;
    QTemporaryDir dir;
    QTemporaryDir shortJournal;
    QString golden;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(simulator.start(Service));
        pty = simulator.path();
        golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        // A journal longer than standard output's buffer.
        QVERIFY(writeFile(dir.filePath(QStringLiteral("ServiceJournal.txt")), journalOf(200000)));
        QVERIFY(
            writeFile(shortJournal.filePath(QStringLiteral("ServiceJournal.txt")), journalOf(100)));
    }
    void cleanupTestCase() { simulator.stop(); }

    void standardOutputThatFailsIsNoSuccess_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("where");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<qint64>("limit");
        const QString d = dir.path();
        // Each with a size limit below its output; a port's lock file needs a
        // few hundred bytes.
        const QList<std::tuple<QByteArray, QStringList, qint64>> actions = {
            {"journal", {"journal", "--data-dir", d}, 16},
            // Held in the stream's buffer until the end: only the last flush fails.
            {"journal of one line", {"journal", "--data-dir", shortJournal.path()}, 16},
            {"help", {"--help"}, 16},
            {"simulate", {"simulate", "--pty"}, 4}, // a pty nobody was told of is not served
            {"db-list", {"db-list", golden, "--data-dir", d}, 16},
            {"read-od csv", {"read-od", "--port", pty, "--format", "csv", "--data-dir", d}, 600},
            {"read-protocol", {"read-protocol", "--port", pty, "--data-dir", d}, 600},
        };
        const QList<std::tuple<const char *, Stdout, QString>> places = {
            {"/dev/full", Stdout::DevFull, SystemErrorText::fromErrno(ENOSPC)},
            {"closed descriptor", Stdout::Closed, QStringLiteral("стандартный вывод закрыт")},
            {"reader gone", Stdout::ReaderGone, SystemErrorText::fromErrno(EPIPE)},
            {"size limit", Stdout::SizeLimit, SystemErrorText::fromErrno(EFBIG)},
            {"full disk", Stdout::FullDisk, SystemErrorText::fromErrno(ENOSPC)},
        };
        for (const auto &[place, where, reason] : places)
            for (const auto &[name, arguments, limit] : actions)
                QTest::addRow("%s, %s", name.constData(), place)
                    << arguments << static_cast<int>(where) << reason << limit;
    }
    void standardOutputThatFailsIsNoSuccess()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, where);
        QFETCH(QString, reason);
        QFETCH(qint64, limit);
        Child child;
        child.out = static_cast<Stdout>(where);
        if (child.out == Stdout::SizeLimit)
            child.sizeLimit = limit;
        std::unique_ptr<SmallDisk> disk;
        QTemporaryDir outDir;
        child.outFile = outDir.filePath(QStringLiteral("out"));
        if (child.out == Stdout::FullDisk) {
            disk = std::make_unique<SmallDisk>(64 * 1024);
            if (!disk->mounted())
                QSKIP("mounting a small tmpfs needs root and CAP_SYS_ADMIN");
            QVERIFY(disk->fill());
            child.outFile = QDir(disk->path()).filePath(QStringLiteral("out"));
        }
        const ServiceRun r = runService(arguments, child);
        const QString err = QString::fromUtf8(r.err);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(err.contains(QStringLiteral("Не удалось вывести данные на стандартный вывод: ") +
                              reason),
                 qPrintable(err));
    }

    void aJournalLineThatCannotBeStoredFailsTheAction()
    {
        QTemporaryDir data;
        const QString journal = data.filePath(QStringLiteral("ServiceJournal.txt"));
        // 50 bytes short of the limit: the automatic save's line would be cut.
        const QByteArray before = journalOf(8192 - 50);
        QVERIFY(writeFile(journal, before));
        const QStringList arguments{"read-od",     "--port",     pty,
                                    "--auto-name", "--data-dir", data.path()};
        const ServiceRun r = runService(arguments);
        QCOMPARE(r.exitCode, 0); // without the limit, the line is stored
        QVERIFY(readFile(journal).size() > before.size());
        QVERIFY(writeFile(journal, before));
        Child child;
        child.sizeLimit = 8192;
        const ServiceRun limited = runService(arguments, child);
        const QString err = QString::fromUtf8(limited.err);
        QCOMPARE(limited.exitCode, 1);
        QVERIFY2(err.contains(QStringLiteral("Не удалось дописать служебный журнал")) &&
                     err.contains(SystemErrorText::fromErrno(EFBIG)),
                 qPrintable(err));
        QCOMPARE(readFile(journal), before);
    }

    // Appends of two processes are serialised: a line cut back after a failed
    // write takes only its own bytes, never the line another process (here a
    // db-write, started just then) stores in the meantime.
    void aCutBackTakesOnlyItsOwnLine()
    {
        QTemporaryDir data;
        const QString path = data.filePath(QStringLiteral("ServiceJournal.txt"));
        const QByteArray before = journalOf(8192 - 50);
        QVERIFY(writeFile(path, before));
        ServiceJournal journal(DataFolder(data.path()));
        QProcess other;
        limitChildFileSize(other, qint64(1) << 30);
        bool otherDoneMeanwhile = false;
        journal.setBeforeCutBack([&] {
            other.start(Service, {"db-write", "--port", "sim", "--no-backup", golden, "--data-dir",
                                  data.path()});
            otherDoneMeanwhile = other.waitForFinished(5000);
        });
        {
            const kalent::test::FileSizeLimit limit(8192);
            QVERIFY(!journal.append(QString(200, QLatin1Char('x'))));
        }
        // The other waited for the lock, then stored its lines behind the old ones.
        QVERIFY(other.waitForFinished(90000) && !otherDoneMeanwhile && other.exitCode() == 0);
        const QByteArray after = readFile(path);
        QVERIFY2(after.startsWith(before) && after.contains("итог: начата") &&
                     !after.contains("xxxxxxxxxx"),
                 after.mid(before.size()).constData());
    }

    // The data folder's records are never the target of an output, a trace or
    // a temporary file: by name, through a link or inside the backups folder,
    // every action refuses them before anything starts, and they stay as they were.
    void noOutputLandsOnTheRecords_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "@" stands for the target
        QTest::addColumn<QString>("target");
        const QList<QPair<QByteArray, QStringList>> actions = {
            {"db-read --out", {"db-read", "--out", "@"}},
            {"db-add --out", {"db-add", golden, golden, "--out", "@"}},
            {"db-delete --out", {"db-delete", golden, "--node", "X", "--out", "@"}},
            {"read-od --out", {"read-od", "--out", "@"}},
            {"read-protocol --pdf", {"read-protocol", "--pdf", "@"}},
            {"db-write --trace", {"db-write", golden, "--trace", "@"}},
            {"db-restore --trace", {"db-restore", golden, "--trace", "@"}},
            {"flash --trace", {"flash", golden, "--trace", "@"}},
            {"contact --trace", {"contact", "--trace", "@"}},
            {"watch --trace", {"watch", "--trace", "@"}},
            {"the window --trace", {"--trace", "@"}},
        };
        const QList<QPair<const char *, QString>> records = {
            {"journal", "data/ServiceJournal.txt"},
            {"backup", "data/backups/old.bdt"},
            {"link", "link"},
            {"hard link", "hard"},
            {"folder", "data/backups/new.bdt"},
            {"folder through a link", "archive/new.bdt"},
            {"readings store", "data/Readings.sqlite"},
            {"readings queue", "data/ReadingsQueue/new.json"},
        };
        for (const auto &[action, arguments] : actions)
            for (const auto &[record, target] : records)
                QTest::addRow("%s, %s", action.constData(), record) << arguments << target;
    }
    void noOutputLandsOnTheRecords()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, target);
        QTemporaryDir work;
        const QDir dir(work.path());
        QVERIFY(dir.mkpath(QStringLiteral("data/backups")));
        const QString journal = dir.filePath(QStringLiteral("data/ServiceJournal.txt"));
        const QString backup = dir.filePath(QStringLiteral("data/backups/old.bdt"));
        QVERIFY(writeFile(journal, "old\n") && writeFile(backup, "backup"));
        QVERIFY(QFile::link(journal, dir.filePath(QStringLiteral("link"))));
        QVERIFY(::link(QFile::encodeName(journal), QFile::encodeName(dir.filePath("hard"))) == 0);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("data/backups")),
                            dir.filePath(QStringLiteral("archive"))));
        arguments.replaceInStrings(QStringLiteral("@"), target);
        const ServiceRun r = runService(arguments + QStringList{"--port", "/nonexistent/port",
                                                                "--data-dir", dir.filePath("data")},
                                        Child{Stdout::Captured, {}, -1, {}, work.path()});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("Журнал и резервные копии папки данных"), r.err.constData());
        QCOMPARE(readFile(journal), QByteArray("old\n"));
        QCOMPARE(readFile(backup), QByteArray("backup"));
        QCOMPARE(QDir(dir.filePath("data/backups")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"old.bdt"});
    }

    void namesThatAreNotUtf8AreKeptInAndOut()
    {
        QTemporaryDir work;
        // --out named in bytes that are not UTF-8: that very name is written.
        ServiceRun r =
            runWithBytes(QStringLiteral("exec \"$K\" db-add \"$A1\" \"$A1\" --out \"$A2\""),
                         {golden, QStringLiteral("o\\377.bdt")}, work.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QByteArray out = QFile::encodeName(work.path()) + "/o\xff.bdt";
        QVERIFY(existsRaw(out));
        QVERIFY(!QFileInfo::exists(work.filePath(QStringLiteral("o\uFFFD.bdt"))));
        // Written again, a private file stays private.
        QVERIFY(::chmod(out.constData(), 0600) == 0);
        r = runWithBytes(QStringLiteral("exec \"$K\" db-add \"$A1\" \"$A1\" --out \"$A2\""),
                         {golden, QStringLiteral("o\\377.bdt")}, work.path());
        struct stat mode = {};
        QVERIFY(r.exitCode == 0 && ::stat(out.constData(), &mode) == 0);
        QCOMPARE(mode.st_mode & 0777, mode_t(0600));
        // Read back by that name, and its tree listed.
        r = runWithBytes(QStringLiteral("exec \"$K\" db-list \"$A1\""),
                         {QStringLiteral("o\\377.bdt")}, work.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(!r.out.isEmpty());
        // A name that is not there is said in its own bytes.
        r = runWithBytes(QStringLiteral("exec \"$K\" db-list \"$A1\""),
                         {QStringLiteral("n\\377\\376.bdt")}, work.path());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("n\xff\xfe.bdt"), r.err.constData());
        // The table under such a name, from the instrument.
        r = runWithBytes(
            QStringLiteral("exec \"$K\" read-od --port \"$A1\" --format csv --out \"$A2\""),
            {pty, QStringLiteral("t\\377.csv")}, work.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(existsRaw(QFile::encodeName(work.path()) + "/t\xff.csv"));
        // The exchange's trace too.
        r = runWithBytes(QStringLiteral("exec \"$K\" contact --port sim --trace \"$A1\""),
                         {QStringLiteral("x\\377.jsonl")}, work.path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(existsRaw(QFile::encodeName(work.path()) + "/x\xff.jsonl"));
    }

    // A data folder so named cannot be worked in, however it is reached:
    // refused, and no folder of another name is made in its place.
    void aDataFolderNamedNotInUtf8IsRefused_data()
    {
        QTest::addColumn<QString>("script"); // $A1 names the folder
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QByteArray>("neverMade");
        QTest::newRow("--data-dir so named")
            << QStringLiteral("exec \"$K\" read-od --port sim --data-dir \"$A1\"")
            << QByteArray("d\xff: ") << QByteArray("d\xff");
        QTest::newRow("a relative --data-dir from a current folder so named")
            << QStringLiteral("mkdir \"$A1\" && cd \"$A1\" && exec \"$K\" read-od --port sim "
                              "--data-dir dd")
            << QByteArray("UTF-8") << QByteArray("d\xff/dd");
        // A copy away from the build keeps its files in the user's data folder.
        QTest::newRow("HOME so named, without --data-dir")
            << QStringLiteral("mkdir \"$A1\" && cp \"$K\" k && HOME=\"$PWD/$A1\" XDG_DATA_HOME= "
                              "exec ./k read-od --port sim")
            << QByteArray("UTF-8") << QByteArray("d\xff/.local");
    }
    void aDataFolderNamedNotInUtf8IsRefused()
    {
        QFETCH(QString, script);
        QFETCH(QByteArray, said);
        QFETCH(QByteArray, neverMade);
        QTemporaryDir work;
        const ServiceRun r = runWithBytes(script, {QStringLiteral("d\\377")}, work.path());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(said), r.err.constData());
        QVERIFY(!existsRaw(QFile::encodeName(work.path()) + '/' + neverMade));
        QVERIFY(!QFileInfo::exists(work.filePath(QString::fromUtf8(neverMade))));
    }

    void refusalsAreSaidInRussianWithTheirReason_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        const QString loop = dir.filePath(QStringLiteral("loop.bdt"));
        QFile::remove(loop);
        QVERIFY(QFile::link(loop, loop));
        const QStringList cLocale{QStringLiteral("LANG=C"), QStringLiteral("LC_ALL=C")};
        const QString elo = SystemErrorText::fromErrno(ELOOP);
        QTest::newRow("a loop of links as --out")
            << QStringList{"db-add", golden, golden, "--out", loop} << cLocale << 1 << elo;
        QTest::newRow("a loop of links read")
            << QStringList{"db-list", loop} << cLocale << 1 << elo;
        QTest::newRow("a data folder that is not there")
            << QStringList{"journal", "--data-dir", "/no/such/dir"} << QStringList() << 1
            << QStringLiteral("Папка данных /no/such/dir не найдена");
        const QString bad = dir.filePath(QStringLiteral("bad.bdt"));
        QVERIFY(writeFile(bad, QByteArray("VirBDTS  9") + QByteArray(600, 'x')));
        QTest::newRow("a bad file to add to")
            << QStringList{"db-add", bad, golden, "--out", dir.filePath("sum.bdt")} << QStringList()
            << 1 << QStringLiteral("Файл %1: Неверный формат файла.").arg(bad);
        QTest::newRow("a size limit on the port's lock file")
            << QStringList{"contact", "--port", pty, "--timeout", "1"}
            << QStringList{QStringLiteral("LIMIT=16")} << 1
            << QStringLiteral("файл блокировки порта не записан");
        QTest::newRow("a decimal comma in --timeout")
            << QStringList{"contact", "--port", "/no/such/port", "--timeout", "0,5"}
            << QStringList() << 1 << QStringLiteral("Не удалось открыть порт /no/such/port");
    }
    void refusalsAreSaidInRussianWithTheirReason()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        Child child;
        child.environment = environment;
        if (environment.contains(QStringLiteral("LIMIT=16")))
            child.sizeLimit = 16;
        const ServiceRun r = runService(arguments, child);
        const QString err = QString::fromUtf8(r.err);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(err.contains(said), qPrintable(err));
        QCOMPARE(kindOf(dir.filePath(QStringLiteral("loop.bdt"))), 'l');
    }

    void listsWithoutAnInstrumentSayNothingOfOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("db-add") << QStringList{"db-add", golden, golden, "--out",
                                               dir.filePath("added.bdt")};
        QTest::newRow("db-delete") << QStringList{"db-delete", golden,  "--node",
                                                  "HIV/Ab",    "--out", dir.filePath("less.bdt")};
    }
    void listsWithoutAnInstrumentSayNothingOfOne()
    {
        QFETCH(QStringList, arguments);
        const ServiceRun r = runService(arguments);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY2(!QString::fromUtf8(r.err).contains(QStringLiteral("Принято из прибора")),
                 r.err.constData());
    }

    void aDecimalCommaAloneTakesTheSemicolonInTheCLocale()
    {
        Child child;
        child.environment = {QStringLiteral("LANG=C"), QStringLiteral("LC_ALL=C")};
        const ServiceRun r =
            runService({"read-od", "--port", pty, "--format", "csv", "--csv-decimal", ","}, child);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QList<QByteArray> rows = r.out.split('\n');
        QVERIFY(rows.size() > 3);
        QVERIFY2(rows.at(2).contains(';') && rows.at(2).contains(','), r.out.constData());
    }

    void sinceTakesAStampFromTheJournalInAnyZone()
    {
        QTemporaryDir data;
        QVERIFY(writeFile(data.filePath(QStringLiteral("ServiceJournal.txt")),
                          "2026-05-14T09:30:02.117Z\tпервое\n"
                          "2026-05-14T09:30:02.118Z\tвторое\n"));
        Child child;
        child.environment = {QStringLiteral("TZ=Asia/Vladivostok")};
        const ServiceRun r = runService(
            {"journal", "--since", "2026-05-14T09:30:02.118Z", "--data-dir", data.path()}, child);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out), QStringLiteral("2026-05-14T09:30:02.118Z\tвторое\n"));
    }

    void aProtocolWrittenElsewhereNeedsNothingOfTheDataFolder()
    {
        // The data folder's temporary protocol cannot be written (a FIFO in
        // its place): an output placed elsewhere does not depend on it.
        QTemporaryDir data;
        QVERIFY(makeFifo(data.filePath(QStringLiteral("MSTempProtokol.txt"))));
        QTemporaryDir elsewhere;
        const QString out = elsewhere.filePath(QStringLiteral("protocol.txt"));
        const ServiceRun r =
            runService({"read-protocol", "--port", pty, "--out", out, "--data-dir", data.path()});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(readFile(out).size() > 100);
        QCOMPARE(kindOf(data.filePath(QStringLiteral("MSTempProtokol.txt"))), 'p');
    }
};

QTEST_GUILESS_MAIN(tst_RecordsCommandLine)
#include "tst_RecordsCommandLine.moc"
