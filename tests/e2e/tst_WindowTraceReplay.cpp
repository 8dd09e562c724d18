#include "MainWindow.h"
#include "ServiceProcess.h"
#include "Session.h"
#include "TraceReplay.h"
#include "WindowComposition.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"
#include "trace/TraceRecord.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using kalent::test::PtyInstrumentProcess;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);
// Generous: a contact search or a read takes a second or two, several times
// that on a loaded machine.
constexpr int ExchangeMs = 15000;

// What the operator got through the window: the table and the protocol as
// received, and as the reader and results pages show them.
struct Seen
{
    QByteArray table;
    QStringList grid;
    QByteArray protocol;
    QString memo;
    QString replayEnd; // how far a recording answering in the program came
};

// The assembled window on a port: enters the reader page and takes the table
// ("Принять данные"), then the results page and takes the protocol, as the
// operator would, and closes.
void readThroughTheWindow(const QString &port, const std::optional<QString> &traceFile,
                          const QString &dataDir, Seen *seen, const QString &replayFile = {})
{
    WindowComposition composition({port, traceFile, dataDir, replayFile, {}});
    QVERIFY2(composition.traceError().isEmpty(), qPrintable(composition.traceError()));
    composition.start();
    MainWindow &window = composition.window();
    Session &session = composition.session();
    const auto find = [&window](const char *name) {
        return window.findChild<QObject *>(QString::fromLatin1(name));
    };

    QSignalSpy table(&session.reader(), &OpticalDensityReader::tableReceived);
    qobject_cast<QAction *>(find("ActionVir2006"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(session.connection().atFastestSpeed(), ExchangeMs);
    qobject_cast<QPushButton *>(find("btnReadOP"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(table.count(), 1, ExchangeMs);
    QCOMPARE(session.pane().text(), QStringLiteral("Оптические плотности приняты"));
    seen->table = session.reader().opData();
    auto *grid = qobject_cast<QTableView *>(find("StringGrid1"));
    QVERIFY(grid);
    for (int row = 1; row <= 8; ++row)
        for (int column = 1; column <= 12; ++column)
            seen->grid.append(grid->model()->index(row, column).data().toString());

    QSignalSpy protocol(&session.results(), &ResultsProtocol::protocolReceived);
    qobject_cast<QAction *>(find("ActionFile"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(session.connection().atFastestSpeed(), ExchangeMs);
    qobject_cast<QPushButton *>(find("btnReadProtokol"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(protocol.count(), 1, ExchangeMs);
    seen->protocol = session.results().protocol();
    seen->memo = qobject_cast<QPlainTextEdit *>(find("Memo1"))->toPlainText();
    if (const TraceReplay *replay = composition.replay())
        seen->replayEnd = replay->endText();
}

// What the instrument put on the line, as the trace file holds it.
QByteArray receivedInTrace(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray received;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QString error;
        const std::optional<TraceRecord> record = TraceRecord::fromJsonLine(line, &error);
        if (!record)
            return {};
        if (record->direction == TraceRecord::Direction::Received ||
            record->direction == TraceRecord::Direction::Dropped)
            received += record->bytes;
    }
    return received;
}

} // namespace

// A trace recorded in the window, with the real serial code against the built-in
// instrument on a pty, served back as an instrument: the window reads from it
// the very table and protocol it read from the instrument.
class tst_WindowTraceReplay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aTraceRecordedInTheWindowReplaysAsTheInstrument()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString trace = dir.filePath(QStringLiteral("window.jsonl"));

        Seen recorded;
        {
            PtyInstrumentProcess instrument;
            QVERIFY(instrument.start(Service));
            readThroughTheWindow(instrument.path(), trace, dir.filePath(QStringLiteral("first")),
                                 &recorded);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(recorded.table.size(), 873);
        QVERIFY(!recorded.grid.first().trimmed().isEmpty());
        QVERIFY(recorded.memo.contains(QStringLiteral(" от ")));
        // The trace filed the table as the window took it (its "D" first).
        QVERIFY(receivedInTrace(trace).contains('D' + recorded.table.mid(1)));
        QVERIFY(receivedInTrace(trace).contains(recorded.protocol));

        PtyInstrumentProcess replay;
        QVERIFY(replay.start(Service, {QStringLiteral("--replay"), trace}));
        Seen replayed;
        readThroughTheWindow(replay.path(), std::nullopt, dir.filePath(QStringLiteral("second")),
                             &replayed);
        const QString report = replay.stop();
        if (QTest::currentTestFailed())
            qWarning("%s", qPrintable(report));
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(replayed.table, recorded.table);
        QCOMPARE(replayed.grid, recorded.grid);
        QCOMPARE(replayed.protocol, recorded.protocol);
        QCOMPARE(replayed.memo, recorded.memo);
        QVERIFY2(!report.contains(QStringLiteral("расходится")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("расхождений: 0")), qPrintable(report));

        // The same recording answering behind "sim", inside the program.
        Seen inProcess;
        readThroughTheWindow(QStringLiteral("sim"), std::nullopt,
                             dir.filePath(QStringLiteral("third")), &inProcess, trace);
        QVERIFY2(!QTest::currentTestFailed(), qPrintable(inProcess.replayEnd));
        QCOMPARE(inProcess.table, recorded.table);
        QCOMPARE(inProcess.grid, recorded.grid);
        QCOMPARE(inProcess.protocol, recorded.protocol);
        QVERIFY2(inProcess.replayEnd.endsWith(QStringLiteral("расхождений: 0")),
                 qPrintable(inProcess.replayEnd));
    }
};

QTEST_MAIN(tst_WindowTraceReplay)
#include "tst_WindowTraceReplay.moc"
