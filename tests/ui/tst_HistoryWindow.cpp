// "История": what the pages received is listed, shown as the pages show it,
// and a long history is read a page at a time.
#include "HistoryListModel.h"
#include "HistoryWindow.h"
#include "MeasurementData.h"
#include "MeasurementRig.h"
#include "ObjectNames.h"
#include "VirtualInstrument.h"
#include "WidgetFinder.h"
#include "measurement/ResultsProtocol.h"
#include "store/SessionReadings.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

class tst_HistoryWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void whatThePagesReceivedIsShownAsTheyShowIt()
    {
        auto rig = connectedRig();
        QVERIFY(rig);
        QString error;
        auto readings = SessionReadings::attach(rig->session, {}, &error);
        QVERIFY2(readings, qPrintable(error));
        rig->session.reader().setAutoSave(true);
        QVERIFY(readTable(*rig));
        QVERIFY(rig->runUntil(
            [&] { return !rig->session.reader().table().title().instrumentFileName.isEmpty(); }));
        QVERIFY(readProtocol(*rig));
        QVERIFY(readings->keeper().waitForWrites(60000));

        HistoryWindow window(readings->location());
        window.show();
        auto *list = child<QTableView>(window, objectNames::history::List);
        QCOMPARE(list->model()->rowCount(), 2);
        // Newest first: the protocol, in the memo's words.
        list->setCurrentIndex(list->model()->index(0, 0));
        QCOMPARE(child<QPlainTextEdit>(window, objectNames::history::Protocol)->toPlainText(),
                 rig->session.results().screenText());
        list->setCurrentIndex(list->model()->index(1, 0));
        const MeasurementData &data = *rig->instrument->feature<MeasurementData>();
        QAbstractItemModel *grid = child<QTableView>(window, objectNames::history::Grid)->model();
        QCOMPARE(grid->index(7, 11).data().toString(), QString::fromLatin1(data.valueText(8, 12)));
        QVERIFY(grid->index(0, 0).data(Qt::BackgroundRole).isValid()); // the heat map
        QCOMPARE(window.shown().files.size(), 1);
        QVERIFY(child<QPushButton>(window, objectNames::history::Export)->isEnabled());
    }

    // The temporary file refused (a folder in its place): the read stops there,
    // the pane keeps its text, and the protocol it brought is in the store.
    void aProtocolWhoseTemporaryFileFailsIsStillStored()
    {
        auto rig = connectedRig();
        QVERIFY(rig);
        QString error;
        auto readings = SessionReadings::attach(rig->session, {}, &error);
        QVERIFY2(readings, qPrintable(error));
        ResultsProtocol &results = rig->session.results();
        QVERIFY(QDir().mkpath(results.tempFileName()));
        QSignalSpy failed(&results, &ResultsProtocol::fileError);
        rig->session.pane().setText(QStringLiteral("before"));
        results.readProtocol();
        QVERIFY(rig->runUntil([&] { return failed.count() > 0; }));
        QVERIFY(readings->keeper().waitForWrites(60000));
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        ReadingStore store(readings->location());
        QVector<Reading> stored;
        QCOMPARE(store.find({}, &stored), QString());
        QCOMPARE(stored.size(), 1);
        Reading whole;
        QCOMPARE(store.get(stored.first().id, &whole), QString());
        QCOMPARE(whole.raw, rig->instrument->feature<MeasurementData>()->protocolText());
    }

    void aLongHistoryIsReadAPageAtATime()
    {
        QTemporaryDir dir;
        QString error;
        const StoreLocation location = StoreLocation::parse({}, dir.path(), &error);
        ReadingStore store(location);
        const MeasurementData data;
        for (int i = 0; i < HistoryListModel::PageRows * 2 + 50; ++i)
            QCOMPARE(store.add(Reading::fromProtocol(data.protocolText(), {}, {})), QString());
        HistoryListModel model(store);
        model.setFilter({});
        QCOMPARE(model.rowCount(), HistoryListModel::PageRows);
        QVERIFY(model.canFetchMore({}));
        model.fetchMore({});
        model.fetchMore({});
        QCOMPARE(model.rowCount(), HistoryListModel::PageRows * 2 + 50);
        QVERIFY(!model.canFetchMore({}));
    }
};

QTEST_MAIN(tst_HistoryWindow)
#include "tst_HistoryWindow.moc"
