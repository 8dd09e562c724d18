// What read-od and read-protocol receive is in `history` afterwards, exported
// again byte for byte; a store that cannot be written loses nothing.
#include "ServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace kalent::test;

class tst_HistoryCommandLine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    ServiceRun run(QStringList arguments)
    {
        arguments << QStringLiteral("--data-dir") << data();
        return runService(QStringLiteral(KALENT_SERVICE_EXE), arguments, 60000);
    }
    QJsonArray listed(const QStringList &filter = {})
    {
        const ServiceRun r = run(QStringList{"history", "--format", "json"} + filter);
        [&] {
            QCOMPARE(r.exitCode, 0);
        }();
        return QJsonDocument::fromJson(r.out).array();
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }

private Q_SLOTS:
    void initTestCase() { QDir().mkpath(data()); }

    void readingsComeBackAsReceived()
    {
        QCOMPARE(run({"read-od", "--port", "sim", "--auto-name"}).exitCode, 0);
        const QString protocolOut = m_dir.filePath(QStringLiteral("protocol.txt"));
        QCOMPARE(run({"read-protocol", "--port", "sim", "--out", protocolOut}).exitCode, 0);
        QCOMPARE(run({"read-od", "--port", "sim"}).exitCode, 0);

        const QJsonArray tables = listed({"--kind", "table"});
        QCOMPARE(tables.size(), 2);
        const QJsonObject named = tables.at(0).toObject();
        const QString saved = named.value("files").toArray().at(0).toString();
        QCOMPARE(QFileInfo(saved).fileName(), named.value("name").toString());
        // The table's raw bytes are the reply: its "D", then the saved file's bytes.
        const QString raw = m_dir.filePath(QStringLiteral("table.raw"));
        const QString id = QString::number(named.value("id").toInteger());
        QCOMPARE(run({"history", "export", id, "--format", "raw", "--out", raw}).exitCode, 0);
        QCOMPARE(contents(raw).at(0), 'D');
        QCOMPARE(contents(raw).mid(1), contents(saved).mid(1));
        QCOMPARE(contents(raw).size(), 873);

        const QJsonArray protocols = listed({"--kind", "protocol"});
        QCOMPARE(protocols.size(), 1);
        const QString protocolId =
            QString::number(protocols.at(0).toObject().value("id").toInteger());
        QCOMPARE(run({"history", "export", protocolId, "--format", "raw", "--out", raw}).exitCode,
                 0);
        QCOMPARE(contents(raw), contents(protocolOut));

        // Two plates, one workbook, a sheet each.
        const QString book = m_dir.filePath(QStringLiteral("week.xlsx"));
        const QString other = QString::number(tables.at(1).toObject().value("id").toInteger());
        QCOMPARE(run({"history", "export", id, other, "--format", "xlsx", "--out", book}).exitCode,
                 0);
        QVERIFY(contents(book).contains("xl/worksheets/sheet2.xml"));
        QVERIFY(!contents(book).contains("xl/worksheets/sheet3.xml"));
        // A protocol goes to no workbook: said, and nothing written.
        QCOMPARE(run({"history", "export", protocolId, "--format", "xlsx", "--out",
                      m_dir.filePath("no.xlsx")})
                     .exitCode,
                 2);
        QVERIFY(!QFile::exists(m_dir.filePath("no.xlsx")));
    }

    // The window and a watch service on one computer: two programs store at once.
    void twoProgramsStoreAtOnce()
    {
        const int before = listed().size();
        QProcess first;
        QProcess second;
        for (QProcess *p : {&first, &second})
            p->start(QStringLiteral(KALENT_SERVICE_EXE),
                     {"read-od", "--port", "sim", "--data-dir", data()});
        for (QProcess *p : {&first, &second}) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
            QVERIFY(!p->readAllStandardError().contains("Хранилище"));
        }
        QCOMPARE(listed().size(), before + 2);
    }

    void aStoreThatCannotBeWrittenLosesNothing()
    {
        const int before = listed().size();
        // A folder where the store's file should be: nothing can be stored.
        const QString store = QDir(data()).filePath(QStringLiteral("Readings.sqlite"));
        QVERIFY(QDir().rename(store, store + QStringLiteral(".away")));
        QVERIFY(QDir().mkpath(store));
        const ServiceRun failed = run({"read-od", "--port", "sim"});
        QCOMPARE(failed.exitCode, 0);
        QCOMPARE(failed.err.count("Хранилище показаний"), 1);
        QCOMPARE(QDir(data() + QStringLiteral("/ReadingsQueue")).entryList(QDir::Files).size(), 1);
        // Back: the waiting reading is stored with the next one, once.
        QVERIFY(QDir(store).removeRecursively());
        QVERIFY(QDir().rename(store + QStringLiteral(".away"), store));
        QCOMPARE(run({"read-od", "--port", "sim"}).exitCode, 0);
        QCOMPARE(listed().size(), before + 2);
        QCOMPARE(QDir(data() + QStringLiteral("/ReadingsQueue")).entryList(QDir::Files).size(), 0);
    }

    void unusableStoresAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("another database") << QStringList{"history", "--store", "mysql://db/x"};
        QTest::newRow("no database named")
            << QStringList{"read-od", "--port", "sim", "--store", "postgresql://db.lab"};
        QTest::newRow("a kind not known") << QStringList{"history", "--kind", "plate"};
        QTest::newRow("a date not a date") << QStringList{"history", "--until", "yesterday"};
    }
    void unusableStoresAreRefused()
    {
        QFETCH(QStringList, arguments);
        QCOMPARE(run(arguments).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(tst_HistoryCommandLine)
#include "tst_HistoryCommandLine.moc"
