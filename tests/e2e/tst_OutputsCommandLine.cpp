#include "FileContents.h"
#include "MeasurementData.h"
#include "ReadBack.h"
#include "ServiceProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <sys/resource.h>

using namespace kalent;
using namespace kalent::test;

namespace {

// How a child is started: its locale, a file-size limit, variables it lacks.
struct ChildSetup
{
    QString locale;
    rlim_t sizeLimit = RLIM_INFINITY;
    QStringList unset;
    QString tmpDir;
    QString workingDir;

    void apply(QProcess &p) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!locale.isEmpty()) {
            env.insert(QStringLiteral("LC_ALL"), locale);
            env.insert(QStringLiteral("LANG"), locale);
        }
        for (const QString &name : unset)
            env.remove(name);
        if (!tmpDir.isEmpty())
            env.insert(QStringLiteral("TMPDIR"), tmpDir);
        p.setProcessEnvironment(env);
        if (!workingDir.isEmpty())
            p.setWorkingDirectory(workingDir);
        if (sizeLimit != RLIM_INFINITY) {
            const rlim_t limit = sizeLimit;
            p.setChildProcessModifier([limit] {
                rlimit r{limit, limit};
                setrlimit(RLIMIT_FSIZE, &r);
            });
        }
    }
};

bool localeInstalled(const char *name)
{
    const QByteArray before = std::setlocale(LC_ALL, nullptr);
    const bool there = std::setlocale(LC_ALL, name) != nullptr;
    std::setlocale(LC_ALL, before.constData());
    return there;
}

void writeOld(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
}

} // namespace

// The outputs of the built program as a lab uses them: in its own locale, named
// twice, under a file-size limit. The built-in instrument is served on a
// pseudo-terminal by a second kalent-service, so the real serial code runs.
class tst_OutputsCommandLine : public QObject
{
    Q_OBJECT

private:
    PtyInstrumentProcess simulator;
    QString ptyPath;
    QTemporaryDir dataDir;

    ServiceRun run(const QStringList &arguments, const ChildSetup &setup = {})
    {
        return runService(QStringLiteral(KALENT_SERVICE_EXE), arguments, 60000,
                          [&setup](QProcess &p) { setup.apply(p); });
    }
    QStringList common(const QStringList &more, const QString &port = {})
    {
        return QStringList{QStringLiteral("--port"), port.isEmpty() ? ptyPath : port,
                           QStringLiteral("--data-dir"), dataDir.path()} +
               more;
    }
    QString inData(const QString &name) const { return QDir(dataDir.path()).filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(simulator.start(QStringLiteral(KALENT_SERVICE_EXE)));
        ptyPath = simulator.path();
    }
    void cleanupTestCase() { simulator.stop(); }

    void workbookAndCsvAreRightInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("decimal");
        QTest::newRow("Russian") << "ru_RU.UTF-8"
                                 << ";"
                                 << ",";
        QTest::newRow("C") << "C.UTF-8"
                           << ","
                           << ".";
    }
    void workbookAndCsvAreRightInEveryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, separator);
        QFETCH(QString, decimal);
        QVERIFY2(
            localeInstalled(locale.toLatin1().constData()),
            qPrintable(locale + QStringLiteral(" is not installed: run scripts/install-deps.sh")));
        const QString missing = ReadBack::missingPython(QStringLiteral("openpyxl"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const MeasurementData expected;
        ChildSetup setup;
        setup.locale = locale;

        const QString xlsx = inData(QStringLiteral("locale.xlsx"));
        ServiceRun r = run(common({QStringLiteral("read-od"), QStringLiteral("--format"),
                                   QStringLiteral("xlsx"), QStringLiteral("--out"), xlsx}),
                           setup);
        QCOMPARE(r.exitCode, 0);
        QByteArray errors;
        const QJsonObject cells =
            ReadBack::xlsxCells(xlsx, &errors).object().value("cells").toObject();
        QVERIFY2(!cells.isEmpty(), errors.constData());
        for (int row = 1; row <= 8; ++row) {
            for (int column = 1; column <= 12; ++column) {
                const QString cell =
                    QString(QChar(u'A' + column)) + QString::number(row + 2); // B3 .. M10
                const QJsonObject c = cells.value(cell).toObject();
                QCOMPARE(c.value("t").toString(), QStringLiteral("n"));
                QCOMPARE(c.value("v").toDouble(),
                         expected.valueText(row, column).trimmed().toDouble());
            }
        }

        const QString csv = inData(QStringLiteral("locale.csv"));
        r = run(common({QStringLiteral("read-od"), QStringLiteral("--format"),
                        QStringLiteral("csv"), QStringLiteral("--out"), csv}),
                setup);
        QCOMPARE(r.exitCode, 0);
        const QJsonArray rows = ReadBack::csvRows(csv, separator, &errors).array();
        QVERIFY2(rows.size() == 10, errors.constData());
        QString h12 = QString::fromLatin1(expected.valueText(8, 12).trimmed());
        h12.replace(QLatin1Char('.'), decimal);
        QCOMPARE(rows.at(9).toArray().at(12).toString(), h12);
    }

    void badCsvMarksAreUsageErrors_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("exponent as decimal") << QStringList{"--csv-decimal", "e"};
        QTest::newRow("blank as decimal") << QStringList{"--csv-decimal", " "};
        QTest::newRow("row letter as separator") << QStringList{"--csv-separator", "B"};
        QTest::newRow("digit as separator") << QStringList{"--csv-separator", "7"};
        QTest::newRow("quote as separator") << QStringList{"--csv-separator", "\""};
        QTest::newRow("separator equal to the mark")
            << QStringList{"--csv-separator", ",", "--csv-decimal", ","};
    }
    void badCsvMarksAreUsageErrors()
    {
        QFETCH(QStringList, options);
        // A port that does not exist: a usage error is found before any opening.
        const ServiceRun r =
            run(common(QStringList{QStringLiteral("read-od"), QStringLiteral("--format"),
                                   QStringLiteral("csv")} +
                           options,
                       QStringLiteral("/nonexistent/port")));
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QByteArray());
    }

    void oneFileNamedForTwoOutputsIsAUsageError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("same name")
            << QStringList{"read-protocol", "--out", "x.pdf", "--pdf", "x.pdf"} << 2;
        QTest::newRow("through ./")
            << QStringList{"read-protocol", "--out", "./x.pdf", "--pdf", "x.pdf"} << 2;
        QTest::newRow("through a/..")
            << QStringList{"read-protocol", "--out", "a/../x.pdf", "--pdf", "x.pdf"} << 2;
        QTest::newRow("through a symbolic link")
            << QStringList{"read-protocol", "--out", "link.pdf", "--pdf", "x.pdf"} << 2;
        QTest::newRow("trace and table")
            << QStringList{"read-od", "--out", "t", "--trace", "./t"} << 2;
        // Distinct files pass the check and fail on the port, later.
        QTest::newRow("two files")
            << QStringList{"read-protocol", "--out", "x.txt", "--pdf", "x.pdf"} << 1;
    }
    void oneFileNamedForTwoOutputsIsAUsageError()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QTemporaryDir work;
        const QDir dir(work.path());
        QVERIFY(dir.mkdir(QStringLiteral("a")) && dir.mkdir(QStringLiteral("data")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("x.pdf")),
                            dir.filePath(QStringLiteral("link.pdf"))));
        writeOld(dir.filePath(QStringLiteral("data/ServiceJournal.txt")));
        ChildSetup setup;
        setup.workingDir = work.path();
        const ServiceRun r = runService(
            QStringLiteral(KALENT_SERVICE_EXE),
            arguments + QStringList{QStringLiteral("--port"), QStringLiteral("/nonexistent/port"),
                                    QStringLiteral("--data-dir"), dir.filePath("data")},
            60000, [&setup](QProcess &p) { setup.apply(p); });
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 2)
            QVERIFY2(r.err.contains("один и тот же файл"), r.err.constData());
        // Nothing written, the journal untouched.
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x.pdf"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("t"))));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("data/ServiceJournal.txt"))),
                 QByteArray("old"));
    }

    void anOutputOnTheAutomaticNameIsRefusedAndTheSaveKept()
    {
        const MeasurementData expected;
        const QString named = inData(QStringLiteral("20090324_143018.xls"));
        const ServiceRun r =
            run(common({QStringLiteral("read-od"), QStringLiteral("--auto-name"),
                        QStringLiteral("--format"), QStringLiteral("xlsx"), QStringLiteral("--out"),
                        QDir(dataDir.path()).filePath(QStringLiteral("./20090324_143018.xls"))}));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("--auto-name"), r.err.constData());
        QCOMPARE(readFile(named), " " + expected.tableReply().mid(1));
    }

    void aSizeLimitFailsTheWriteNotTheProgram_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("target");
        QTest::newRow("table as text") << QStringList{"read-od", "--out"} << "limit.txt";
        QTest::newRow("CSV") << QStringList{"read-od", "--format", "csv", "--out"} << "limit.csv";
        QTest::newRow("JSON") << QStringList{"read-od", "--format", "json", "--out"}
                              << "limit.json";
        QTest::newRow("workbook") << QStringList{"read-od", "--format", "xlsx", "--out"}
                                  << "limit.xlsx";
        QTest::newRow("protocol") << QStringList{"read-protocol", "--out"} << "limit.prot";
        QTest::newRow("protocol PDF") << QStringList{"read-protocol", "--pdf"} << "limit.pdf";
    }
    void aSizeLimitFailsTheWriteNotTheProgram()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, target);
        QTemporaryDir folder;  // its own data folder: the protocol's copy fails there too
        QTemporaryDir scratch; // TMPDIR: nothing may stay behind in it
        const QString path = QDir(folder.path()).filePath(target);
        writeOld(path);
        ChildSetup setup;
        setup.sizeLimit = 200;
        setup.locale = QStringLiteral("ru_RU.UTF-8");
        setup.unset = {QStringLiteral("XDG_RUNTIME_DIR")};
        setup.tmpDir = scratch.path();
        const ServiceRun r = run(QStringList{QStringLiteral("--port"), ptyPath,
                                             QStringLiteral("--data-dir"), folder.path()} +
                                     arguments + QStringList{path},
                                 setup);
        QCOMPARE(r.exitCode, 1); // not killed by SIGXFSZ (-1)
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(path), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("файл слишком велик")), qPrintable(err));
        // Only the program's own Russian: no library's English, no Qt notice.
        QVERIFY2(!err.contains(QStringLiteral("[ERROR]")), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("XDG_RUNTIME_DIR")), qPrintable(err));
        QCOMPARE(readFile(path), QByteArray("old"));
        // Nothing of the program's stays in TMPDIR (Qt keeps its runtime folder
        // there, without XDG_RUNTIME_DIR, and reuses it).
        QStringList left =
            QDir(scratch.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        left.removeIf(
            [](const QString &name) { return name.startsWith(QLatin1String("runtime-")); });
        QCOMPARE(left, QStringList());
    }

    void aWorkbookFailureNamesItsTargetInRussian()
    {
        // The workbook cannot replace a folder: the message names the file
        // asked for and the reason, with nothing of the library's own.
        const QString path = inData(QStringLiteral("folder.xlsx"));
        QVERIFY(QDir().mkpath(path));
        const ServiceRun r = run(common({QStringLiteral("read-od"), QStringLiteral("--format"),
                                         QStringLiteral("xlsx"), QStringLiteral("--out"), path}));
        QCOMPARE(r.exitCode, 1);
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(path) && err.contains(QStringLiteral("это папка")), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("[ERROR]")), qPrintable(err));
    }

    void watchGoesOnUnderASizeLimit()
    {
        PtyInstrumentProcess noticing;
        QVERIFY(noticing.start(QStringLiteral(KALENT_SERVICE_EXE),
                               {QStringLiteral("--notices"), QStringLiteral("1")}));
        QTemporaryDir folder;
        QProcess watch;
        ChildSetup setup;
        // The journal's lines fit; a table (873 bytes) does not.
        setup.sizeLimit = 600;
        setup.apply(watch);
        watch.start(QStringLiteral(KALENT_SERVICE_EXE),
                    {QStringLiteral("watch"), QStringLiteral("--port"), noticing.path(),
                     QStringLiteral("--data-dir"), folder.path()});
        QVERIFY(watch.waitForStarted());
        // Two failed tables in a row: the first did not end the service.
        QByteArray err;
        QDeadlineTimer deadline(60000);
        while (err.count("файл слишком велик") < 2 && !deadline.hasExpired() &&
               watch.state() == QProcess::Running) {
            watch.waitForReadyRead(200);
            err += watch.readAllStandardError();
        }
        QVERIFY2(watch.state() == QProcess::Running, err.constData());
        QVERIFY2(err.count("файл слишком велик") >= 2, err.constData());
        watch.terminate();
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        // The tables never written are lost (neither the store nor its queue can
        // take them here), and the status says so.
        QCOMPARE(watch.exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_OutputsCommandLine)
#include "tst_OutputsCommandLine.moc"
