#include "FeaturePages.h"
#include "MainWindow.h"
#include "ManualClock.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "TraceWindow.h"
#include "VirtualInstrument.h"
#include "measurement/DesktopOpener.h"
#include "measurement/OpticalDensityReader.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QAction>
#include <QGroupBox>
#include <QPlainTextEdit>
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

    TracedWindow()
    {
        installFeaturePages(window, session, opener, instrument.get());
        installTraceWindow(window, trace);
        session.connection().openFirstPort({QStringLiteral("sim")});
        window.show();
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
        auto *panel = w.window.findChild<QGroupBox *>(QStringLiteral("RzGroupBox1"));
        QVERIFY(panel);
        QCOMPARE(panel->contextMenuPolicy(), Qt::ActionsContextMenu);
        QAction *open = w.window.findChild<QAction *>(QStringLiteral("actionShowTrace"));
        QVERIFY(open);
        QVERIFY(panel->actions().contains(open));
        QVERIFY(w.window.actions().contains(open));
        QCOMPARE(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));

        auto *traceWindow = w.window.findChild<TraceWindow *>(QStringLiteral("TraceWindow"));
        QVERIFY(traceWindow);
        QVERIFY(!traceWindow->isVisible());
        // Bytes exchanged before the window opens are shown too.
        w.session.connection().searchWithFastestSpeed();
        QVERIFY(
            w.clock.advanceUntil([&] { return w.session.connection().atFastestSpeed(); }, 30000));
        open->trigger();
        QVERIFY(traceWindow->isVisible());
        QVERIFY(traceWindow->isWindow());
        QCOMPARE(w.window.size(), described);

        auto *hex = traceWindow->findChild<QPlainTextEdit *>(QStringLiteral("traceHexView"));
        auto *text = traceWindow->findChild<QPlainTextEdit *>(QStringLiteral("traceTextView"));
        QVERIFY(hex && text);
        const int before = hex->blockCount();
        QVERIFY(hex->toPlainText().contains(QStringLiteral("->   4800  42")));
        w.session.reader().readTable();
        w.clock.advance(500);
        QVERIFY(hex->blockCount() > before);
        QVERIFY(hex->toPlainText().contains(QStringLiteral("->")));
        QVERIFY(hex->toPlainText().contains(QStringLiteral("<- 115200  44 ")));
        QVERIFY(text->toPlainText().contains(QStringLiteral("<- 115200  D")));
        QVERIFY(text->toPlainText().contains(QStringLiteral("<09>0.")));
    }
};

QTEST_MAIN(tst_TraceWindow)
#include "tst_TraceWindow.moc"
