#include "FileContents.h"
#include "MeasurementData.h"
#include "ReadBack.h"
#include "ServiceProcess.h"
#include "common/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using namespace kalent;
using namespace kalent::test;

// The built kalent-service, reading from the built-in instrument served on a
// pseudo-terminal by a second kalent-service, so the real serial port code runs.
class tst_MeasurementCommandLine : public QObject
{
    Q_OBJECT

private:
    PtyInstrumentProcess simulator;
    QString ptyPath;
    QTemporaryDir dataDir;

    using Result = ServiceRun;

    Result run(const QStringList &arguments, const QString &locale = QString())
    {
        return runService(QStringLiteral(KALENT_SERVICE_EXE), arguments, 60000,
                          [&locale](QProcess &p) {
                              if (locale.isEmpty())
                                  return;
                              QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                              env.insert(QStringLiteral("LC_ALL"), locale);
                              env.insert(QStringLiteral("LANG"), locale);
                              p.setProcessEnvironment(env);
                          });
    }
    QStringList common(const QStringList &more)
    {
        return QStringList{QStringLiteral("--port"), ptyPath, QStringLiteral("--data-dir"),
                           dataDir.path()} +
               more;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(simulator.start(QStringLiteral(KALENT_SERVICE_EXE)));
        ptyPath = simulator.path();
    }
    void cleanupTestCase() { simulator.stop(); }

    void readOdWritesOpDataToTheFileAndTheRowsToStdout()
    {
        const MeasurementData expected; // a fresh instrument's first measurement
        const QString out = QDir(dataDir.path()).filePath(QStringLiteral("table.bin"));
        Result r = run(common({QStringLiteral("read-od"), QStringLiteral("--out"), out}));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(out), " " + expected.tableReply().mid(1));
        QCOMPARE(r.out, QByteArray());
        QVERIFY(r.err.contains("Оптические плотности приняты"));

        r = run(common({QStringLiteral("read-od")}));
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.size(), 9); // 8 rows and the empty rest after the last line end
        QCOMPARE(lines.at(8), QByteArray());
        for (int row = 1; row <= 8; ++row) {
            const QList<QByteArray> fields = lines.at(row - 1).split('\t');
            QCOMPARE(fields.size(), 13);
            QCOMPARE(fields.at(0), QByteArray(1, static_cast<char>('A' + row - 1)));
            for (int column = 1; column <= 12; ++column)
                QCOMPARE(fields.at(column), expected.valueText(row, column));
        }
    }

    void readOdWithAutoNameSavesUnderTheInstrumentsName()
    {
        const MeasurementData expected;
        Result r = run(common({QStringLiteral("read-od"), QStringLiteral("--auto-name")}));
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 9);
        const QString saved = QString::fromUtf8(lines.last());
        QCOMPARE(saved, QDir::toNativeSeparators(
                            QDir(dataDir.path()).filePath(QStringLiteral("20090324_143018.xls"))));
        QCOMPARE(readFile(saved), " " + expected.tableReply().mid(1));
    }

    void readProtocolGivesTheTextWithoutItsFirstAndLastCharacter()
    {
        const MeasurementData expected;
        const QString out = QDir(dataDir.path()).filePath(QStringLiteral("protocol.bin"));
        Result r = run(common({QStringLiteral("read-protocol"), QStringLiteral("--out"), out}));
        QCOMPARE(r.exitCode, 0);
        const QByteArray reply = expected.protocolReply();
        QCOMPARE(readFile(out), reply.mid(1, reply.size() - 2));

        r = run(common({QStringLiteral("read-protocol"), QStringLiteral("--auto-name")}));
        QCOMPARE(r.exitCode, 0);
        const QString text = QString::fromUtf8(r.out);
        QVERIFY(text.startsWith(Cp1251::decode(expected.protocolText())));
        const QString saved = text.trimmed().split(QLatin1Char('\n')).last();
        QCOMPARE(saved, QDir::toNativeSeparators(
                            QDir(dataDir.path()).filePath(QStringLiteral("2009_03_24 Pr №   12"))));
        QCOMPARE(readFile(saved), expected.protocolText());
        QVERIFY(r.err.contains("Протокол записан в файл: 2009_03_24 Pr №   12"));
    }

    void readOdWritesEachFormatAndCsvFollowsTheLocaleUnlessTold()
    {
        const QString missing = ReadBack::missingPython(QStringLiteral("openpyxl"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const MeasurementData expected;
        const QString h12 = QString::fromLatin1(expected.valueText(8, 12).trimmed());
        const QDir dir(dataDir.path());
        struct Case
        {
            QString locale;
            QStringList options;
            QString separator;
            QString decimal;
        };
        const QList<Case> cases = {
            {QStringLiteral("ru_RU.UTF-8"), {}, QStringLiteral(";"), QStringLiteral(",")},
            {QStringLiteral("C"), {}, QStringLiteral(","), QStringLiteral(".")},
            {QStringLiteral("ru_RU.UTF-8"),
             {QStringLiteral("--csv-separator"), QStringLiteral("tab"),
              QStringLiteral("--csv-decimal"), QStringLiteral(".")},
             QStringLiteral("\t"),
             QStringLiteral(".")},
        };
        for (const Case &c : cases) {
            const QString out = dir.filePath(QStringLiteral("plate.csv"));
            Result r = run(common(QStringList{QStringLiteral("read-od"), QStringLiteral("--format"),
                                              QStringLiteral("csv"), QStringLiteral("--out"), out} +
                                  c.options),
                           c.locale);
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out, QByteArray());
            QByteArray errors;
            const QJsonArray rows = ReadBack::csvRows(out, c.separator, &errors).array();
            QVERIFY2(rows.size() == 10, errors.constData());
            QString shown = h12;
            shown.replace(QLatin1Char('.'), c.decimal);
            QCOMPARE(rows.at(9).toArray().at(12).toString(), shown);
            QCOMPARE(rows.at(9).toArray().at(0).toString(), QStringLiteral("H"));
        }
        // To stdout, CSV and JSON alike.
        Result r = run(common(
            {QStringLiteral("read-od"), QStringLiteral("--format"), QStringLiteral("json")}));
        QCOMPARE(r.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(json.value("values").toObject().size(), 96);
        QCOMPARE(json.value("values").toObject().value("H12").toDouble(), h12.toDouble());

        const QString xlsx = dir.filePath(QStringLiteral("plate.xlsx"));
        r = run(
            common({QStringLiteral("read-od"), QStringLiteral("--format"), QStringLiteral("xlsx"),
                    QStringLiteral("--out"), xlsx, QStringLiteral("--auto-name")}));
        QCOMPARE(r.exitCode, 0);
        QByteArray errors;
        const QJsonObject cells =
            ReadBack::xlsxCells(xlsx, &errors).object().value("cells").toObject();
        QVERIFY2(!cells.isEmpty(), errors.constData());
        QCOMPARE(cells.value("M10").toObject().value("v").toDouble(), h12.toDouble());
        QCOMPARE(cells.value("M10").toObject().value("t").toString(), QStringLiteral("n"));
        // With --auto-name the instrument named the table: the title says so.
        QVERIFY(cells.value("A1").toObject().value("v").toString().contains(
            QStringLiteral("20090324_143018.xls")));
        // The described file of the automatic save keeps its bytes.
        QCOMPARE(readFile(dir.filePath(QStringLiteral("20090324_143018.xls"))),
                 " " + expected.tableReply().mid(1));

        // Options that cannot work are usage errors, before the line is touched.
        for (const QStringList &bad :
             {QStringList{QStringLiteral("--format"), QStringLiteral("xls")},
              QStringList{QStringLiteral("--format"), QStringLiteral("xlsx")},
              QStringList{QStringLiteral("--csv-separator"), QStringLiteral(";;")},
              QStringList{QStringLiteral("--csv-separator"), QStringLiteral(".")}})
            QCOMPARE(run(common(QStringList{QStringLiteral("read-od")} + bad)).exitCode, 2);
    }

    void readProtocolWritesAPdfWithTheCyrillicText()
    {
        const QString missing = ReadBack::missingTool(QStringLiteral("pdftotext"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString pdf = QDir(dataDir.path()).filePath(QStringLiteral("protocol.pdf"));
        Result r = run(common({QStringLiteral("read-protocol"), QStringLiteral("--pdf"), pdf}));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray());
        const QString text = ReadBack::pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("Протокол результатов №12 от 24.03.09")),
                 qPrintable(text.left(300)));
        QVERIFY(text.contains(QStringLiteral("ПОЛОЖ.")) || text.contains(QStringLiteral("ОТРИЦ.")));
        QCOMPARE(run(common({QStringLiteral("read-protocol"), QStringLiteral("--pdf=")})).exitCode,
                 2);
    }

    void silenceIsAFailureAndABadOptionAUsageError()
    {
        QCOMPARE(run(common({QStringLiteral("read-od"), QStringLiteral("--bogus")})).exitCode, 2);
        QCOMPARE(run(common({QStringLiteral("read-protocol"), QStringLiteral("--timeout"),
                             QStringLiteral("x")}))
                     .exitCode,
                 2);
        // The instrument stops answering: the read gives up and says it failed.
        ::kill(static_cast<pid_t>(simulator.processId()), SIGSTOP);
        const Result r = run(
            common({QStringLiteral("read-od"), QStringLiteral("--timeout"), QStringLiteral("1")}));
        ::kill(static_cast<pid_t>(simulator.processId()), SIGCONT);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY(!r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_MeasurementCommandLine)
#include "tst_MeasurementCommandLine.moc"
