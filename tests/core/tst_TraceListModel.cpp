#include "trace/ExchangeTrace.h"
#include "trace/TraceListModel.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;

namespace {

// Records numbered by their speed field, so a row says which record it shows.
void recordNumbered(ExchangeTrace &trace, int from, int count, int size)
{
    for (int n = from; n < from + count; ++n)
        trace.record(TraceRecord::Direction::Received, n, QStringLiteral("sim"),
                     QByteArray(size, 'A'));
}

// What the model told its views, in order.
struct ModelChanges
{
    QStringList said;

    explicit ModelChanges(TraceListModel &model)
    {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int first, int last) {
                             said << QStringLiteral("inserted %1..%2").arg(first).arg(last);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex &, int first, int last) {
                             said << QStringLiteral("removed %1..%2").arg(first).arg(last);
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset,
                         [this] { said << QStringLiteral("reset"); });
    }
};

// Time, direction and speed before the bytes: "  0.000123  <-    115  ".
constexpr int PrefixLength = 25;

} // namespace

class tst_TraceListModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowsFollowTheTraceRingOnlyWhenCaughtUp_data()
    {
        QTest::addColumn<int>("shownBefore");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("firstShown");
        QTest::addColumn<QStringList>("said");

        const int mib = 1024 * 1024;
        QTest::newRow("rows appear") << 0 << 3 << 1 << 3 << 0 << QStringList{"inserted 0..2"};
        QTest::newRow("new rows go after those shown")
            << 2 << 3 << 1 << 5 << 0 << QStringList{"inserted 2..4"};
        QTest::newRow("nothing new, nothing said") << 3 << 0 << 1 << 3 << 0 << QStringList{};
        // 20,000 records are kept: the three oldest go from the top.
        QTest::newRow("the oldest drop at the count bound")
            << 5 << 19998 << 1 << 20000 << 3 << QStringList{"removed 0..2", "inserted 2..19999"};
        // Full: as many rows as before, but the ring moved on under them.
        QTest::newRow("the ring moves on at its full count")
            << 20000 << 3 << 1 << 20000 << 3
            << QStringList{"removed 0..2", "inserted 19997..19999"};
        QTest::newRow("none of the rows shown is kept: the rows start over")
            << 2 << 20001 << 1 << 20000 << 3 << QStringList{"reset"};
        // At most 4 MiB of bytes are kept.
        QTest::newRow("the oldest drop at the byte bound")
            << 0 << 5 << mib << 4 << 1 << QStringList{"inserted 0..3"};
        QTest::newRow("a record over the byte bound is not kept")
            << 1 << 1 << 4 * mib + 1 << 0 << 0 << QStringList{"reset"};
    }

    void rowsFollowTheTraceRingOnlyWhenCaughtUp()
    {
        QFETCH(int, shownBefore);
        QFETCH(int, added);
        QFETCH(int, size);
        QFETCH(int, rows);
        QFETCH(int, firstShown);
        QFETCH(QStringList, said);

        ExchangeTrace trace;
        TraceListModel model(trace);
        recordNumbered(trace, 0, shownBefore, qMin(size, 1024));
        model.catchUp();
        QCOMPARE(model.rowCount(), shownBefore);
        ModelChanges changes(model);
        recordNumbered(trace, shownBefore, added, size);
        // Recording alone changes no row.
        QCOMPARE(model.rowCount(), shownBefore);
        QVERIFY(changes.said.isEmpty());
        QCOMPARE(model.behind(), added > 0);

        QCOMPARE(model.catchUp(), added > 0);
        QCOMPARE(changes.said, said);
        QVERIFY(!model.behind());
        QCOMPARE(model.rowCount(), rows);
        if (rows > 0) {
            QCOMPARE(model.index(0).data(TraceListModel::BaudRole).toInt(), firstShown);
            QCOMPARE(model.index(rows - 1).data(TraceListModel::BaudRole).toInt(),
                     shownBefore + added - 1);
        }
    }

    void aRowWhoseRecordWasDroppedShowsNothingUntilCaughtUp()
    {
        ExchangeTrace trace;
        TraceListModel model(trace);
        recordNumbered(trace, 0, 3, 1);
        model.catchUp();
        recordNumbered(trace, 3, 19999, 1); // records 0 and 1 dropped
        QVERIFY(!model.index(0).data().isValid());
        QVERIFY(!model.index(1).data(TraceListModel::BytesRole).isValid());
        QCOMPARE(model.index(2).data(TraceListModel::BaudRole).toInt(), 2);
        model.catchUp();
        QCOMPARE(model.index(0).data(TraceListModel::BaudRole).toInt(), 2);
    }

    void longRecordsAreCutWithTheirLengthAndWholeOnDemand_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");

        QTest::newRow("short, control bytes and windows-1251")
            << QByteArray("D\t0\xC0\x7F", 5) << QStringLiteral("44 09 30 C0 7F")
            << QStringLiteral("D<09>0А<7f>") << false;
        const QByteArray full(128, 'z');
        QTest::newRow("as long as is shown: whole")
            << full << QString::fromLatin1(full.toHex(' ').toUpper()) << QString::fromLatin1(full)
            << false;
        const QByteArray page = QByteArray(1, 'r') + QByteArray(528, '\x01');
        QTest::newRow("a database page: cut, with its length")
            << page
            << QStringLiteral("72") + QStringLiteral(" 01").repeated(127) +
                   QStringLiteral(" … (всего байт: 529)")
            << QStringLiteral("r") + QStringLiteral("<01>").repeated(127) +
                   QStringLiteral(" … (всего байт: 529)")
            << true;
    }

    void longRecordsAreCutWithTheirLengthAndWholeOnDemand()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        QFETCH(QString, text);
        QFETCH(bool, cut);

        ExchangeTrace trace;
        TraceListModel model(trace);
        trace.record(TraceRecord::Direction::Sent, 115200, QStringLiteral("sim"), bytes);
        model.catchUp();
        const QModelIndex row = model.index(0);
        QCOMPARE(row.data(TraceListModel::HexLineRole).toString().mid(PrefixLength), hex);
        QCOMPARE(row.data(Qt::DisplayRole), row.data(TraceListModel::HexLineRole));
        QCOMPARE(row.data(TraceListModel::TextLineRole).toString().mid(PrefixLength), text);
        QCOMPARE(row.data(TraceListModel::BytesRole).toByteArray(), bytes);

        const QString wholeHex = row.data(TraceListModel::WholeHexLineRole).toString();
        const QString wholeText = row.data(TraceListModel::WholeTextLineRole).toString();
        QCOMPARE(wholeHex.mid(PrefixLength), QString::fromLatin1(bytes.toHex(' ').toUpper()));
        QCOMPARE(wholeText == row.data(TraceListModel::TextLineRole).toString(), !cut);
        QVERIFY(!wholeText.contains(QStringLiteral("всего байт")));
    }
};

QTEST_MAIN(tst_TraceListModel)
#include "tst_TraceListModel.moc"
