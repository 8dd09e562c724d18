#include "FeaturePages.h"
#include "MainWindow.h"
#include "ManualClock.h"
#include "ObjectNames.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "TraceLineDelegate.h"
#include "TraceWindow.h"
#include "VirtualInstrument.h"
#include "measurement/DesktopOpener.h"
#include "measurement/OpticalDensityReader.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;

namespace {

class NoOpener : public DesktopOpener
{
public:
    bool openWithDesktop(const QString &) override { return true; }
};

// The window as the program assembles it, with the trace between the session
// and the port.
struct TracedWindow
{
    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    SimulatedPort port{*instrument, clock};
    ExchangeTrace trace;
    TracingPort tracingPort{port, trace};
    QTemporaryDir dataDir;
    Session session{clock, tracingPort, DataFolder(dataDir.path())};
    NoOpener opener;
    MainWindow window{session, instrument.get()};
    TraceWindow *traceWindow = nullptr;
    QListView *hex = nullptr;
    QListView *text = nullptr;

    TracedWindow()
    {
        installFeaturePages(window, session, opener, instrument.get());
        installTraceWindow(window, trace);
        traceWindow = window.findChild<TraceWindow *>(objectNames::trace::Window);
        hex = traceWindow->findChild<QListView *>(objectNames::trace::HexView);
        text = traceWindow->findChild<QListView *>(objectNames::trace::TextView);
        session.connection().openFirstPort({QStringLiteral("sim")});
        window.show();
    }
};

// Every line a view shows, from the top.
QStringList lines(const QListView *view, int role)
{
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown << view->model()->index(row, 0).data(role).toString();
    return shown;
}

// The view's own delegate, counting the rows it is asked to paint or size.
class CountingDelegate : public TraceLineDelegate
{
public:
    using TraceLineDelegate::TraceLineDelegate;
    mutable QSet<int> paintedRows;
    mutable int sized = 0;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        paintedRows.insert(index.row());
        TraceLineDelegate::paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        ++sized;
        return TraceLineDelegate::sizeHint(option, index);
    }
};

} // namespace

class tst_TraceWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thePortPanelAndTheShortcutOpenTheRunningTraceAsHexAndText()
    {
        TracedWindow w;
        const QSize described = w.window.size();
        auto *panel = w.window.findChild<QGroupBox *>(objectNames::portPanel::Panel);
        QVERIFY(panel);
        QCOMPARE(panel->contextMenuPolicy(), Qt::ActionsContextMenu);
        QAction *open = w.window.findChild<QAction *>(objectNames::trace::Open);
        QVERIFY(open);
        QVERIFY(panel->actions().contains(open));
        QVERIFY(w.window.actions().contains(open));
        QCOMPARE(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));

        auto *traceWindow = w.traceWindow;
        QVERIFY(traceWindow && !traceWindow->isVisible());
        // Bytes exchanged before the window opens are shown too.
        w.session.connection().searchWithFastestSpeed();
        QVERIFY(
            w.clock.advanceUntil([&] { return w.session.connection().atFastestSpeed(); }, 30000));
        open->trigger();
        QVERIFY(traceWindow->isVisible());
        QVERIFY(traceWindow->isWindow());
        QCOMPARE(w.window.size(), described);

        QListView *hex = w.hex;
        QListView *text = w.text;
        QVERIFY(hex && text);
        const int before = hex->model()->rowCount();
        QVERIFY(lines(hex, TraceListModel::HexLineRole).join('\n').contains("->   4800  42"));
        w.session.reader().readTable();
        w.clock.advance(500);
        QTRY_VERIFY(hex->model()->rowCount() > before);
        const QString hexLines = lines(hex, TraceListModel::HexLineRole).join('\n');
        const QString textLines = lines(text, TraceListModel::TextLineRole).join('\n');
        QVERIFY(hexLines.contains(QStringLiteral("<- 115200  44 ")));
        QVERIFY(textLines.contains(QStringLiteral("<- 115200  D")));
        QVERIFY(textLines.contains(QStringLiteral("<09>0.")));
        QVERIFY(traceWindow->findChild<QLabel *>(objectNames::trace::Status)
                    ->text()
                    .contains(QStringLiteral("--trace")));
    }

    void aHiddenTraceWindowRendersNothingAndShowsEveryRecordOnceOpened()
    {
        TracedWindow w;
        TraceWindow *traceWindow = w.traceWindow;
        QListView *hex = w.hex;
        QListView *text = w.text;
        auto *hexLines = new CountingDelegate(TraceListModel::HexLineRole, 440, hex);
        auto *textLines = new CountingDelegate(TraceListModel::TextLineRole, 570, text);
        hex->setItemDelegate(hexLines);
        text->setItemDelegate(textLines);
        QSignalSpy inserted(&traceWindow->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&traceWindow->model(), &QAbstractItemModel::modelReset);

        // A contact search and a thousand database pages while nobody looks.
        w.session.connection().searchWithFastestSpeed();
        QVERIFY(
            w.clock.advanceUntil([&] { return w.session.connection().atFastestSpeed(); }, 30000));
        const QByteArray page = QByteArray(1, 'r') + QByteArray(528, '\x5A');
        for (int i = 0; i < 1000; ++i)
            w.trace.record(TraceRecord::Direction::Received, 115200, QStringLiteral("sim"), page);
        QTest::qWait(3 * TraceWindow::CatchUpMs);
        QCOMPARE(inserted.count() + reset.count(), 0);
        QCOMPARE(hex->model()->rowCount(), 0);
        QVERIFY(hexLines->paintedRows.isEmpty() && textLines->paintedRows.isEmpty());
        QCOMPARE(hexLines->sized + textLines->sized, 0);

        // Opened: every record is there at once, the view at the last, and
        // only the rows in sight are rendered.
        w.window.findChild<QAction *>(objectNames::trace::Open)->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(traceWindow));
        const int rows = static_cast<int>(w.trace.recent().size());
        QVERIFY(rows > 1000);
        QCOMPARE(hex->model()->rowCount(), rows);
        QTRY_VERIFY(hexLines->paintedRows.contains(rows - 1));
        QVERIFY(hexLines->paintedRows.size() < 100);
        QVERIFY(hexLines->sized < 100);            // one size for every row, not one per row
        QVERIFY(textLines->paintedRows.isEmpty()); // its tab is not shown

        // Shown, a record comes in within the catch-up interval.
        w.trace.record(TraceRecord::Direction::Sent, 115200, QStringLiteral("sim"), "r");
        QTRY_COMPARE(hex->model()->rowCount(), rows + 1);
        QTRY_VERIFY(hexLines->paintedRows.contains(rows));

        // A page is shown cut with its length; chosen, it is shown whole below.
        const QModelIndex last = hex->model()->index(rows - 1, 0);
        QVERIFY(last.data(TraceListModel::HexLineRole)
                    .toString()
                    .endsWith(QStringLiteral(" … (всего байт: 529)")));
        hex->setCurrentIndex(last);
        auto *detail = traceWindow->findChild<QPlainTextEdit *>(objectNames::trace::Detail);
        QVERIFY(detail);
        QVERIFY(detail->toPlainText().endsWith(QString::fromLatin1(page.toHex(' ').toUpper())));
        traceWindow->findChild<QTabWidget *>(objectNames::trace::Tabs)->setCurrentWidget(text);
        QVERIFY(detail->toPlainText().endsWith(QString::fromLatin1(page)));
        QCOMPARE(text->currentIndex(), last);

        // Hidden again: records wait for the next opening.
        traceWindow->hide();
        inserted.clear();
        w.trace.record(TraceRecord::Direction::Sent, 115200, QStringLiteral("sim"), "r");
        QTest::qWait(3 * TraceWindow::CatchUpMs);
        QCOMPARE(inserted.count(), 0);
    }

    void aViewMovedUpStaysOnItsRecordWhileRowsComeAndGo_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("readAt");
        QTest::newRow("new rows come") << 500 << 100;
        // 20,000 records are kept: the oldest go while the operator reads.
        QTest::newRow("the oldest go") << 20000 << 5000;
    }
    void aViewMovedUpStaysOnItsRecordWhileRowsComeAndGo()
    {
        QFETCH(int, before);
        QFETCH(int, readAt);
        ExchangeTrace trace;
        const auto recordNumbered = [&trace](int from, int count) {
            for (int n = from; n < from + count; ++n)
                trace.record(TraceRecord::Direction::Received, n, QStringLiteral("sim"), "D");
        };
        TraceWindow window(trace);
        recordNumbered(0, before);
        window.show();
        auto *hex = window.findChild<QListView *>(objectNames::trace::HexView);
        const auto top = [hex] {
            return hex->indexAt({1, 1}).data(TraceListModel::BaudRole);
        };
        QTRY_VERIFY(top().isValid());
        hex->scrollTo(window.model().index(readAt, 0), QAbstractItemView::PositionAtTop);
        recordNumbered(before, 300);
        QTRY_VERIFY(!window.model().behind());
        QCOMPARE(top().toInt(), readAt);
    }
};

QTEST_MAIN(tst_TraceWindow)
#include "tst_TraceWindow.moc"
