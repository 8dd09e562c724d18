// The readings store on SQLite with 100,000 readings: storing one more (median
// of many), the history window's first screen (a fresh store opened and its
// first page read), and `history --since` through the built program set beside
// the same query in the sqlite3 tool, in one run.
//
//   bench_ReadingStore [READINGS=100000]

#include "HistoryListModel.h"
#include "MeasurementData.h"
#include "measurement/PlateTable.h"
#include "store/ReadingStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace kalent;

namespace {

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

Reading sample(const MeasurementData &data, const QDateTime &at)
{
    Reading r =
        Reading::fromTable(PlateTable::fromReply(data.tableReply(), {}), QStringLiteral("sim"),
                           {QStringLiteral("/data/2000000000001.xls")});
    r.receivedAt = at;
    return r;
}

// Filled the quick way (one transaction), through the program's own store for the schema.
void fill(const StoreLocation &location, int count, const QDateTime &first)
{
    {
        ReadingStore store(location);
        store.open();
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(location.file);
    db.open();
    QSqlQuery q(db);
    q.exec(QStringLiteral("BEGIN"));
    q.prepare(QStringLiteral("INSERT INTO readings (uid, received_ms, host, port, kind, name, "
                             "protocol_date, raw, plate_values, files, search_text) "
                             "VALUES (?, ?, 'lab', 'sim', ?, ?, ?, ?, '[]', '[]', ?)"));
    const MeasurementData data;
    const Reading table = sample(data, first);
    const Reading protocol = Reading::fromProtocol(data.protocolText(), {}, {});
    for (int i = 0; i < count; ++i) {
        const Reading &r = i % 2 ? protocol : table;
        q.addBindValue(QStringLiteral("fill-%1").arg(i));
        q.addBindValue(first.addSecs(i * 60).toMSecsSinceEpoch());
        q.addBindValue(Reading::kindName(r.kind));
        q.addBindValue(r.name);
        q.addBindValue(r.protocolDate);
        q.addBindValue(r.raw);
        q.addBindValue(r.name.toLower());
        q.exec();
    }
    q.exec(QStringLiteral("COMMIT"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

qint64 runMs(const QString &program, const QStringList &arguments, qint64 *bytes)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(600000);
    const qint64 ms = timer.elapsed();
    *bytes = process.readAllStandardOutput().size();
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    QString error;
    const StoreLocation location = StoreLocation::parse({}, dir.path(), &error);
    const QDateTime first(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    QElapsedTimer timer;
    timer.start();
    fill(location, count, first);
    std::printf("filled %d readings in %.1f s\n", count, timer.elapsed() / 1000.0);

    {
        ReadingStore store(location);
        store.open();
        QVector<double> times;
        const MeasurementData data;
        for (int i = 0; i < 200; ++i) {
            const Reading r = sample(data, QDateTime::currentDateTimeUtc());
            QElapsedTimer one;
            one.start();
            store.add(r);
            times.append(one.nsecsElapsed() / 1e6);
        }
        std::printf("storing a reading: median %.2f ms (of 200; goal 5 ms)\n", median(times));
    }
    {
        QVector<double> times;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer screen;
            screen.start();
            ReadingStore store(location);
            HistoryListModel model(store);
            model.setFilter({});
            times.append(screen.nsecsElapsed() / 1e6);
            if (model.rowCount() != HistoryListModel::PageRows)
                std::printf("first screen: %d rows, expected %d\n", model.rowCount(),
                            HistoryListModel::PageRows);
        }
        std::printf("first screen of %d readings: median %.1f ms (of 5; goal 100 ms)\n", count,
                    median(times));
    }
    // Half the readings: since the middle of the filled time.
    const QDateTime since = first.addSecs(qint64(count / 2) * 60);
    qint64 ourBytes = 0;
    qint64 toolBytes = 0;
    QVector<double> ours;
    QVector<double> tool;
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    for (int i = 0; i < 3; ++i) {
        ours.append(runMs(QStringLiteral(KALENT_SERVICE_PATH),
                          {QStringLiteral("history"), QStringLiteral("--data-dir"), dir.path(),
                           QStringLiteral("--since"), since.toString(Qt::ISODate)},
                          &ourBytes));
        if (!sqlite3.isEmpty())
            tool.append(runMs(
                sqlite3,
                {QStringLiteral("-csv"), QStringLiteral("-header"), location.file,
                 QStringLiteral("SELECT id, strftime('%Y-%m-%dT%H:%M:%fZ', received_ms / 1000.0, "
                                "'unixepoch'), host, port, kind, name, protocol_date, files FROM "
                                "readings WHERE received_ms >= %1 ORDER BY received_ms, id")
                     .arg(since.toMSecsSinceEpoch())},
                &toolBytes));
    }
    std::printf("history --since over %d readings (%d listed): median %.0f ms, %lld bytes "
                "(goal 300 ms)\n",
                count, count / 2, median(ours), ourBytes);
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3: not installed, no comparison\n");
    } else {
        std::printf("sqlite3 -csv, the same query: median %.0f ms, %lld bytes; ratio %.2f\n",
                    median(tool), toolBytes, median(ours) / std::max(1.0, median(tool)));
    }
    return 0;
}
