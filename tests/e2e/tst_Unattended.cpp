#include "BootLoader.h"
#include "PtyBridge.h"
#include "ServiceProcess.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "journal/ServiceJournal.h"
#include "trace/TraceRecord.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace kalent;
using kalent::test::runServiceServing;
using kalent::test::ServiceRun;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The built-in instrument served on a pty inside the test, with its own log of
// the bytes it heard and the bytes it put on the line.
struct LoggedInstrument
{
    SystemClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    PtyBridge bridge{*instrument};
    QByteArray heard;
    QByteArray sent;

    LoggedInstrument()
    {
        QObject::connect(instrument.get(), &VirtualInstrument::heard,
                         [this](const QByteArray &b, int) { heard += b; });
        QObject::connect(
            instrument.get(), &VirtualInstrument::transmitted,
            [this](const QByteArray &b, int baud) { sent += garble(b, baud, bridge.lineBaud()); });
    }
};

// Both directions of a trace file, joined.
struct TraceBytes
{
    QByteArray sent;
    QByteArray received;
    int entries = 0;
};

TraceBytes traceBytes(const QString &path)
{
    TraceBytes t;
    for (const QByteArray &line : readFile(path).split('\n')) {
        if (line.isEmpty())
            continue;
        QString error;
        const std::optional<TraceRecord> r = TraceRecord::fromJsonLine(line, &error);
        if (!r)
            return {};
        ++t.entries;
        if (r->direction == TraceRecord::Direction::Sent)
            t.sent += r->bytes;
        else if (r->direction != TraceRecord::Direction::Start)
            t.received += r->bytes;
    }
    return t;
}

// Runs the program while this process's event loop serves the in-test pty.
struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run runServed(const QStringList &arguments, int timeoutMs = 90000)
{
    const ServiceRun s = runServiceServing(Service, arguments, timeoutMs);
    return {s.exitCode, s.out, QString::fromUtf8(s.err)};
}

// A simulator process; its first line is the pty.
struct Simulator
{
    QProcess process;
    QString pty;

    bool start(const QStringList &arguments)
    {
        process.start(Service,
                      QStringList{QStringLiteral("simulate"), QStringLiteral("--pty")} + arguments);
        if (!process.waitForStarted() || !process.waitForReadyRead(10000))
            return false;
        pty = QString::fromUtf8(process.readLine()).trimmed();
        return pty.startsWith(QLatin1Char('/'));
    }
    QString stop()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        return QString::fromUtf8(process.readAllStandardError());
    }
};

QByteArray firmwareImage()
{
    QByteArray image;
    for (int i = 0; i < 23456; ++i)
        image.append(static_cast<char>((i * 7 + 3) % 251));
    return image;
}

} // namespace

class tst_Unattended : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile tsk(m_dir.filePath(QStringLiteral("Virant_(rx).tsk")));
        QVERIFY(tsk.open(QIODevice::WriteOnly));
        tsk.write(firmwareImage());
    }

    void eachExchangeIsTracedAsTheInstrumentLoggedItAndReplays_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("programming");
        const QString golden = QDir(qEnvironmentVariable("KALENT_TEST_DATA"))
                                   .filePath(QStringLiteral("database/mixed.bdt"));
        QTest::newRow("contact") << QStringList{QStringLiteral("contact")} << false;
        QTest::newRow("table") << QStringList{QStringLiteral("read-od")} << false;
        QTest::newRow("protocol") << QStringList{QStringLiteral("read-protocol")} << false;
        QTest::newRow("database read")
            << QStringList{QStringLiteral("db-read"), QStringLiteral("--out"),
                           QStringLiteral("OUT.bdt")}
            << false;
        QTest::newRow("database write") << QStringList{QStringLiteral("db-write"), golden} << false;
        QTest::newRow("firmware") << QStringList{QStringLiteral("flash"),
                                                 m_dir.filePath(QStringLiteral("Virant_(rx).tsk")),
                                                 QStringLiteral("--wait-restart")}
                                  << true;
    }

    void eachExchangeIsTracedAsTheInstrumentLoggedItAndReplays()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, programming);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        const QString trace = m_dir.filePath(tag + QStringLiteral(".jsonl"));
        QTemporaryDir recordedDir;
        QStringList recordedArgs = arguments;
        recordedArgs.replaceInStrings(QStringLiteral("OUT.bdt"),
                                      recordedDir.filePath(QStringLiteral("out.bdt")));

        Run recorded;
        {
            LoggedInstrument logged;
            if (programming)
                logged.instrument->feature<BootLoader>()->enterProgrammingMode();
            QVERIFY(logged.bridge.start());
            recorded = runServed(recordedArgs +
                                 QStringList{QStringLiteral("--port"), logged.bridge.slavePath(),
                                             QStringLiteral("--trace"), trace,
                                             QStringLiteral("--data-dir"), recordedDir.path()});
            QTest::qWait(50);
            QVERIFY2(recorded.exitCode == 0, qPrintable(recorded.err));
            const TraceBytes t = traceBytes(trace);
            QVERIFY(t.entries > 1);
            QCOMPARE(t.sent, logged.heard);
            QCOMPARE(t.received, logged.sent);
        }

        // The recording answers a new run as the instrument did.
        Simulator replay;
        QVERIFY(replay.start({QStringLiteral("--replay"), trace}));
        QTemporaryDir replayDir;
        QStringList replayArgs = arguments;
        replayArgs.replaceInStrings(QStringLiteral("OUT.bdt"),
                                    replayDir.filePath(QStringLiteral("out.bdt")));
        QProcess again;
        again.start(Service,
                    replayArgs + QStringList{QStringLiteral("--port"), replay.pty,
                                             QStringLiteral("--data-dir"), replayDir.path()});
        QVERIFY(again.waitForFinished(90000));
        QTest::qWait(100);
        const QString report = replay.stop();
        QVERIFY2(again.exitCode() == 0, again.readAllStandardError().constData());
        QCOMPARE(again.readAllStandardOutput(), recorded.out);
        QVERIFY2(!report.contains(QStringLiteral("расходится")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("расхождений: 0")), qPrintable(report));
        if (arguments.contains(QStringLiteral("OUT.bdt")))
            QCOMPARE(readFile(replayDir.filePath(QStringLiteral("out.bdt"))),
                     readFile(recordedDir.filePath(QStringLiteral("out.bdt"))));

        // The same recording answering behind "sim", inside the program.
        QTemporaryDir inProcessDir;
        QStringList inProcessArgs = arguments;
        inProcessArgs.replaceInStrings(QStringLiteral("OUT.bdt"),
                                       inProcessDir.filePath(QStringLiteral("out.bdt")));
        const Run inProcess = runServed(
            inProcessArgs + QStringList{QStringLiteral("--port"), QStringLiteral("sim"),
                                        QStringLiteral("--replay"), trace,
                                        QStringLiteral("--data-dir"), inProcessDir.path()});
        QVERIFY2(inProcess.exitCode == 0, qPrintable(inProcess.err));
        QCOMPARE(inProcess.out, recorded.out);
        QVERIFY2(!inProcess.err.contains(QStringLiteral("расходится")), qPrintable(inProcess.err));
        QVERIFY2(inProcess.err.contains(QStringLiteral("расхождений: 0")),
                 qPrintable(inProcess.err));
        if (arguments.contains(QStringLiteral("OUT.bdt")))
            QCOMPARE(readFile(inProcessDir.filePath(QStringLiteral("out.bdt"))),
                     readFile(recordedDir.filePath(QStringLiteral("out.bdt"))));
    }

    void aReplayThatDepartsIsReported()
    {
        const QString trace = m_dir.filePath(QStringLiteral("table.jsonl"));
        QVERIFY(QFile::exists(trace));
        Simulator replay;
        QVERIFY(replay.start({QStringLiteral("--replay"), trace}));
        QProcess other;
        other.start(Service, {QStringLiteral("read-protocol"), QStringLiteral("--port"), replay.pty,
                              QStringLiteral("--timeout"), QStringLiteral("4"),
                              QStringLiteral("--data-dir"), m_dir.path()});
        QVERIFY(other.waitForFinished(60000));
        const QString report = replay.stop();
        QCOMPARE(other.exitCode(), 1);
        QVERIFY2(report.contains(QStringLiteral("воспроизведение расходится с записью: строка ")),
                 qPrintable(report));
    }

    void theSimulatorsTraceIsTheProgramsTraceSeenFromTheLine()
    {
        const QString lineSide = m_dir.filePath(QStringLiteral("line-side.jsonl"));
        const QString programSide = m_dir.filePath(QStringLiteral("program-side.jsonl"));
        Simulator sim;
        QVERIFY(sim.start({QStringLiteral("--trace"), lineSide}));
        QProcess read;
        read.start(Service, {QStringLiteral("read-protocol"), QStringLiteral("--port"), sim.pty,
                             QStringLiteral("--trace"), programSide, QStringLiteral("--data-dir"),
                             m_dir.path()});
        QVERIFY(read.waitForFinished(60000));
        QCOMPARE(read.exitCode(), 0);
        QTest::qWait(100);
        sim.stop();
        const TraceBytes line = traceBytes(lineSide);
        const TraceBytes program = traceBytes(programSide);
        QVERIFY(line.entries > 1);
        QCOMPARE(line.sent, program.sent);
        QCOMPARE(line.received, program.received);
    }

    void aMalformedReplayIsRefusedWithTheLine()
    {
        const QString bad = m_dir.filePath(QStringLiteral("bad.jsonl"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"t_us\":1,\"dir\":\"tx\",\"baud\":9600,\"hex\":\"42\"}\n{\"t_us\":2,\"dir\":"
                "\"rx\"\n");
        f.close();
        QProcess p;
        p.start(Service, {QStringLiteral("simulate"), QStringLiteral("--pty"),
                          QStringLiteral("--replay"), bad});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("строка 2:")));
    }

    void theJournalKeepsTheDatabaseWriteAndTheUploadAndSurvivesAKill()
    {
        QTemporaryDir dataDir;
        const QString golden = QDir(qEnvironmentVariable("KALENT_TEST_DATA"))
                                   .filePath(QStringLiteral("database/mixed.bdt"));
        const QString tsk = m_dir.filePath(QStringLiteral("Virant_(rx).tsk"));
        {
            LoggedInstrument logged;
            QVERIFY(logged.bridge.start());
            const Run w = runServed({QStringLiteral("db-write"), golden, QStringLiteral("--port"),
                                     logged.bridge.slavePath(), QStringLiteral("--data-dir"),
                                     dataDir.path()});
            QCOMPARE(w.exitCode, 0);
        }
        {
            LoggedInstrument logged;
            logged.instrument->feature<BootLoader>()->enterProgrammingMode();
            QVERIFY(logged.bridge.start());
            const Run f = runServed({QStringLiteral("flash"), tsk, QStringLiteral("--wait-restart"),
                                     QStringLiteral("--port"), logged.bridge.slavePath(),
                                     QStringLiteral("--data-dir"), dataDir.path()});
            QCOMPARE(f.exitCode, 0);
        }
        const QString journal = QDir(dataDir.path()).filePath(QStringLiteral("ServiceJournal.txt"));
        const QByteArray before = readFile(journal);
        const QString text = QString::fromUtf8(before);
        QVERIFY(text.contains(QStringLiteral("запись БД ТС в прибор; источник: файл ")));
        QVERIFY(text.contains(QStringLiteral("страниц: 9")));
        QVERIFY(text.contains(QStringLiteral("итог: прибор принял все страницы")));
        const QByteArray image = firmwareImage();
        quint32 sum = 0;
        for (char c : image)
            sum += static_cast<unsigned char>(c);
        const QString upload =
            QStringLiteral("загрузка ПО в прибор; файл: %1; размер: %2; сумма: %3; %4")
                .arg(QDir::toNativeSeparators(tsk))
                .arg(image.size())
                .arg(QString::number(sum % 65536, 16).toUpper().rightJustified(4, QLatin1Char('0')))
                .arg(ServiceJournal::fingerprint(image));
        QVERIFY2(text.contains(upload + QStringLiteral("; итог: начата")), qPrintable(text));
        QVERIFY(
            text.contains(upload + QStringLiteral("; итог: передана целиком; перезапуск прибора "
                                                  "подтверждён")));

        // A write killed half-way: every earlier line stays, and so does its start.
        {
            LoggedInstrument logged;
            logged.instrument->setReplyDelayMs(150);
            QVERIFY(logged.bridge.start());
            QProcess w;
            w.start(Service,
                    {QStringLiteral("db-write"), golden, QStringLiteral("--port"),
                     logged.bridge.slavePath(), QStringLiteral("--data-dir"), dataDir.path()});
            QTRY_VERIFY_WITH_TIMEOUT(readFile(journal).size() > before.size(), 30000);
            ::kill(static_cast<pid_t>(w.processId()), SIGKILL);
            QVERIFY(w.waitForFinished(5000));
        }
        const QByteArray after = readFile(journal);
        QVERIFY(after.startsWith(before));
        QVERIFY(after.endsWith('\n'));
        QVERIFY(
            QString::fromUtf8(after.mid(before.size())).contains(QStringLiteral("итог: начата")));

        QProcess show;
        show.start(Service, {QStringLiteral("journal"), QStringLiteral("--since"),
                             QDate::currentDate().addDays(-1).toString(Qt::ISODate),
                             QStringLiteral("--data-dir"), dataDir.path()});
        QVERIFY(show.waitForFinished(10000));
        QCOMPARE(show.exitCode(), 0);
        QCOMPARE(show.readAllStandardOutput(), after);
        show.start(Service, {QStringLiteral("journal"), QStringLiteral("--since"),
                             QDate::currentDate().addDays(2).toString(Qt::ISODate),
                             QStringLiteral("--data-dir"), dataDir.path()});
        QVERIFY(show.waitForFinished(10000));
        QCOMPARE(show.exitCode(), 0);
        QVERIFY(show.readAllStandardOutput().isEmpty());
    }

    void watchSavesEveryNoticeSurvivesAVanishAndStopsOnSigterm()
    {
        QTemporaryDir dataDir;
        const QString link = m_dir.filePath(QStringLiteral("instrument-tty"));
        Simulator first;
        QVERIFY(first.start({QStringLiteral("--notices"), QStringLiteral("1.2")}));
        QFile::remove(link);
        QVERIFY(QFile::link(first.pty, link));

        QProcess watch;
        watch.start(Service, {QStringLiteral("watch"), QStringLiteral("--port"), link,
                              QStringLiteral("--data-dir"), dataDir.path()});
        QVERIFY(watch.waitForStarted());
        QStringList saved;
        QString messages;
        const auto collect = [&] {
            while (watch.canReadLine())
                saved.append(QString::fromUtf8(watch.readLine()).trimmed());
            messages += QString::fromUtf8(watch.readAllStandardError());
        };
        // Three notices of each kind.
        QTRY_VERIFY_WITH_TIMEOUT((collect(), saved.size() >= 6), 30000);
        int tables = 0;
        for (const QString &path : saved) {
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dataDir.path()).absoluteFilePath());
            tables += path.endsWith(QStringLiteral(".xls")) ? 1 : 0;
        }
        QVERIFY(tables >= 3);
        QCOMPARE(QSet<QString>(saved.begin(), saved.end()).size(), saved.size());
        QVERIFY(readFile(saved.first()).size() == 873);

        // The instrument goes away, then comes back at the same name.
        first.stop();
        QTRY_VERIFY_WITH_TIMEOUT((collect(), messages.contains(QStringLiteral("новая попытка"))),
                                 20000);
        Simulator second;
        QVERIFY(second.start({QStringLiteral("--notices"), QStringLiteral("1.2")}));
        QFile::remove(link);
        QVERIFY(QFile::link(second.pty, link));
        const int before = static_cast<int>(saved.size());
        QTRY_VERIFY_WITH_TIMEOUT((collect(), saved.size() >= before + 2), 60000);

        watch.terminate();
        QVERIFY(watch.waitForFinished(15000));
        collect();
        second.stop();
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        // Nothing half-written is left behind: every file is a saved one or the
        // journal (protocols are kept in memory, with no scratch file).
        QStringList expected;
        for (const QString &path : saved)
            expected.append(QFileInfo(path).fileName());
        expected << QStringLiteral("ServiceJournal.txt") << QStringLiteral("Readings.sqlite");
        for (const QString &name : QDir(dataDir.path()).entryList(QDir::Files))
            QVERIFY2(expected.contains(name), qPrintable(name));
        // Every reading saved is in the store too, with its file, once.
        QProcess history;
        history.start(Service,
                      {QStringLiteral("history"), QStringLiteral("--data-dir"), dataDir.path(),
                       QStringLiteral("--format"), QStringLiteral("json")});
        QVERIFY(history.waitForFinished(30000));
        QStringList stored;
        for (const QJsonValue &reading : QJsonDocument::fromJson(history.readAll()).array())
            stored += reading.toObject().value(QStringLiteral("files")).toVariant().toStringList();
        QCOMPARE(stored, saved);
        const QString journal = QString::fromUtf8(
            readFile(QDir(dataDir.path()).filePath(QStringLiteral("ServiceJournal.txt"))));
        QVERIFY(journal.contains(QStringLiteral("автоматическое сохранение")));
    }

    void watchSavesBothOfTwoNoticesThatCameInOneWrite()
    {
        LoggedInstrument served;
        QVERIFY(served.bridge.start());
        QTemporaryDir dataDir;
        QProcess watch;
        watch.start(Service,
                    {QStringLiteral("watch"), QStringLiteral("--port"), served.bridge.slavePath(),
                     QStringLiteral("--data-dir"), dataDir.path()});
        QVERIFY(watch.waitForStarted());
        QStringList saved;
        QString messages;
        const auto collect = [&] {
            while (watch.canReadLine())
                saved.append(QString::fromUtf8(watch.readLine()).trimmed());
            messages += QString::fromUtf8(watch.readAllStandardError());
        };
        QTRY_VERIFY_WITH_TIMEOUT((collect(), messages.contains(QStringLiteral("Есть контакт"))),
                                 30000);
        // "measured" and "results ready" in one write: one read on the other side.
        served.instrument->sendRaw(QByteArrayLiteral("Gg"));
        QTRY_VERIFY_WITH_TIMEOUT((collect(), saved.size() >= 2), 30000);
        watch.terminate();
        QVERIFY(watch.waitForFinished(15000));
        collect();
        QCOMPARE(saved.size(), 2);
        QVERIFY2(saved.at(0).endsWith(QStringLiteral(".xls")), qPrintable(saved.join('|')));
        QVERIFY2(!saved.at(1).endsWith(QStringLiteral(".xls")), qPrintable(saved.join('|')));
        QCOMPARE(readFile(saved.at(0)).size(), 873);
        // The table's exchange was over before the protocol's began.
        const qsizetype table = served.heard.indexOf('G');
        const qsizetype name = served.heard.indexOf('D', table);
        const qsizetype length = served.heard.indexOf('g', table);
        QVERIFY2(table >= 0 && name > table && length > name, served.heard.toHex().constData());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_Unattended)
#include "tst_Unattended.moc"
