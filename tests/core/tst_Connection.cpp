#include "ScriptedPort.h"
#include "TestSupport.h"
#include "link/PortOrder.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

struct Write
{
    qint64 atMs;
    QByteArray bytes;
    QString settings;
};

// Steps the clock 1 ms at a time, noting every write the program makes and the
// port's settings at that moment.
QList<Write> recordWrites(SimRig &rig, qint64 forMs)
{
    QList<Write> writes;
    int seen = rig.port.written().size();
    for (qint64 i = 0; i < forMs; ++i) {
        rig.clock.advance(1);
        if (rig.port.written().size() != seen) {
            writes.append({rig.clock.nowMs(), rig.port.written().mid(seen), rig.port.settings()});
            seen = rig.port.written().size();
        }
    }
    return writes;
}

} // namespace

class tst_Connection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpOpensTheFirstPortAt115200WithoutAnExchange()
    {
        SimRig rig;
        rig.startUp();
        const PortPanelState &panel = rig.link().panel();
        QCOMPARE(panel.ports, QStringList{"sim"});
        QCOMPARE(panel.portText, QString("sim"));
        QVERIFY(panel.portOpenChecked);
        QCOMPARE(panel.portOpenCaption, QString("вкл."));
        QCOMPARE(panel.commParamText, QString("Параметры: 115200,n,8,1"));
        QCOMPARE(panel.baudText, QString("115200"));
        QVERIFY(panel.indicatorOn);
        QCOMPARE(rig.link().baudIndex(), 5);
        rig.settle(500);
        QVERIFY(rig.port.written().isEmpty());
        QVERIFY(!rig.link().searching());
    }

    void portsAreTriedInNumberOrder()
    {
        QCOMPARE(inPortOrder({"COM10", "COM3", "COM1", "COM2"}),
                 (QStringList{"COM1", "COM2", "COM3", "COM10"}));
        QCOMPARE(inPortOrder(
                     {"/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS2", "/dev/ttyACM1", "/dev/ttyS0"}),
                 (QStringList{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10",
                              "/dev/ttyUSB0"}));
        QCOMPARE(inPortOrder({"COM02", "COM1", "COM2"}), (QStringList{"COM1", "COM02", "COM2"}));
    }

    void startUpWithTheInstrumentOffAsksToSwitchItOn()
    {
        SimRig rig;
        rig.instrument->setPowered(false);
        rig.startUp();
        QVERIFY(!rig.link().panel().indicatorOn);
        QCOMPARE(rig.session.pane().text(), QString("Включите прибор или смените порт."));
        QCOMPARE(rig.link().panel().connectCaption, QString("Контакт"));
    }

    void startUpWithNoOpenablePortSaysSoThenReportsTheLinkDown()
    {
        SimRig rig;
        rig.port.setOpenFails(true);
        rig.startUp();
        QVERIFY(rig.link().panel().ports.isEmpty());
        QCOMPARE(rig.statusLog, QStringList({"Извините.Ни одного COM-порта необнаружено",
                                             "Нет связи с прибором"}));
        QVERIFY(!rig.link().panel().connectEnabled);
        QVERIFY(!rig.link().panel().baudEnabled);
        // Nothing to search on: the button only reports the closed port.
        rig.link().contactOrStop();
        QCOMPARE(rig.session.pane().text(), QString("Порт отключен."));
    }

    void searchProbesEachSpeed400MsApartAndStopsAtTheInstrumentsSpeed()
    {
        SimRig rig;
        rig.instrument->setBaud(38400);
        rig.startUp();
        rig.link().contactOrStop();
        QCOMPARE(rig.link().panel().connectCaption, QString("Стоп"));
        QCOMPARE(rig.session.pane().text(), QString("Установление контакта."));
        const QList<Write> writes = recordWrites(rig, 2000);
        QCOMPARE(writes.size(), 4);
        const QStringList speeds = {"4800", "9600", "19200", "38400"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(writes[i].bytes, QByteArray("B"));
            QCOMPARE(writes[i].atMs, 200 + 400 * i);
            QCOMPARE(writes[i].settings, speeds[i] + ",n,8,1");
        }
        QVERIFY(rig.link().contact());
        QCOMPARE(rig.link().baudIndex(), 3);
        QCOMPARE(rig.link().panel().baudText, QString("38400"));
        QCOMPARE(rig.link().panel().connectCaption, QString("Контакт"));
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
        QVERIFY(!rig.link().searchTimerActive());
    }

    void speedChangeWritesTheCodeAndRestartsTheSearch100MsLaterAt4800()
    {
        SimRig rig;
        rig.instrument->setBaud(4800);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        QVERIFY(rig.runUntil([&] { return rig.link().contact(); }, 1000));
        QCOMPARE(rig.port.written(), QByteArray("B") + QByteArray("b\x05", 2));
        QCOMPARE(rig.session.pane().text(), QString("Установка новой скорости обмена."));
        QCOMPARE(rig.link().deferredCommand(), 'b');
        QVERIFY(!rig.link().baudChangeRequested());
        // 99 ms after the pause nothing has restarted yet; at 100 ms the search runs at 4800.
        rig.clock.advance(99);
        QVERIFY(!rig.link().searching());
        rig.clock.advance(1);
        QVERIFY(rig.link().searching());
        QCOMPARE(rig.port.settings(), QString("4800,n,8,1"));
        QCOMPARE(rig.link().deferredCommand(), '\0');
        // The instrument now answers only at 115200: the probe there is the eleventh tick.
        const QList<Write> probes = recordWrites(rig, 2400);
        QCOMPARE(probes.size(), 6);
        QCOMPARE(probes.last().settings, QString("115200,n,8,1"));
        QCOMPARE(probes.last().atMs - probes.first().atMs, 2000);
        QVERIFY(rig.link().atFastestSpeed());
        QCOMPARE(rig.link().panel().baudText, QString("115200"));
    }

    void contactIsMadeAndRaisedTo115200FromEverySpeed_data()
    {
        QTest::addColumn<int>("baud");
        for (int baud : {4800, 9600, 19200, 38400, 57600, 115200})
            QTest::addRow("%d", baud) << baud;
    }

    void contactIsMadeAndRaisedTo115200FromEverySpeed()
    {
        QFETCH(int, baud);
        SimRig rig;
        rig.instrument->setBaud(baud);
        QVERIFY(rig.connectFast());
        QCOMPARE(rig.instrument->baud(), 115200);
        QCOMPARE(rig.link().panel().commParamText, QString("Параметры: 115200,n,8,1"));
    }

    void answerAtTheRequestedSpeedLeavesTheRequestPending()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QVERIFY(rig.link().baudChangeRequested());
        QVERIFY(!rig.port.written().contains('b'));
    }

    void choosingASpeedNegotiatesItWithTheInstrument()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().chooseSpeed(5);
        QCOMPARE(rig.session.pane().text(), QString("Установление контакта с прибором."));
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }, 10000));
        QCOMPARE(rig.port.written(), QByteArray("BB") + QByteArray("b\x05", 2) + "BBBBBB");
        QCOMPARE(rig.instrument->baud(), 115200);
    }

    void choosingASpeedWithTheLineDownOnlyStoresIt()
    {
        SimRig rig;
        rig.startUp();
        rig.instrument->setPowered(false);
        rig.link().chooseSpeed(2);
        QCOMPARE(rig.link().newBaudIndex(), 2);
        QVERIFY(!rig.link().baudChangeRequested());
        QVERIFY(!rig.link().searching());
        rig.settle(1000);
        QVERIFY(rig.port.written().isEmpty());
    }

    void typedSpeedThatIsNotOneOfTheSixIsIgnored()
    {
        SimRig rig;
        rig.startUp();
        QSignalSpy panelChanges(&rig.link(), &Connection::panelChanged);
        rig.link().chooseSpeedByText("12345");
        QCOMPARE(rig.link().newBaudIndex(), 0);
        QVERIFY(!rig.link().searching());
        QCOMPARE(rig.link().panel().baudText, QString("115200"));
        QCOMPARE(panelChanges.count(), 1); // the box is told to show the speed again
        rig.link().chooseSpeedByText("57600");
        QCOMPARE(rig.link().newBaudIndex(), 4);
        QVERIFY(rig.link().searching());
    }

    void searchWrapsFrom115200BackTo4800()
    {
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        rig.link().contactOrStop();
        const QList<Write> writes = recordWrites(rig, 2400 + 200);
        QCOMPARE(writes.size(), 7);
        QCOMPARE(writes[5].settings, QString("115200,n,8,1"));
        QCOMPARE(writes[6].settings, QString("4800,n,8,1"));
    }

    void silentInstrumentIsSearchedForWithoutLimitUntilStop()
    {
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        rig.link().contactOrStop();
        rig.clock.advance(60000);
        QCOMPARE(rig.port.written(), QByteArray(150, 'B'));
        rig.link().contactOrStop();
        QCOMPARE(rig.session.pane().text(), QString("Прибор не отвечает!"));
        QCOMPARE(rig.link().panel().connectCaption, QString("Контакт"));
        rig.clock.advance(1000);
        QCOMPARE(rig.port.written().size(), 150);
        QVERIFY(rig.link().searching()); // paused, not ended
    }

    void noiseInFrontOfEveryReplyPreventsContact()
    {
        SimRig rig;
        rig.instrument->setNoise(QByteArray("\x00\xfe", 2));
        rig.startUp();
        rig.link().contactOrStop();
        rig.clock.advance(5000);
        QVERIFY(!rig.link().contact());
        QVERIFY(!rig.session.dispatcher().collecting());
    }

    void slowAnswerWithinTheTickIsContactAtTheProbedSpeed()
    {
        SimRig rig;
        rig.instrument->setBaud(4800);
        rig.instrument->setReplyDelayMs(150);
        rig.startUp();
        rig.link().contactOrStop();
        QVERIFY(rig.runUntil([&] { return rig.link().contact(); }, 3000));
        QCOMPARE(rig.link().baudIndex(), 0);
        QCOMPARE(rig.link().panel().baudText, QString("4800"));
    }

    void lineDropPausesTheSearchAndDisablesTheInstrumentControls()
    {
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        QSignalSpy controls(&rig.link(), &Connection::instrumentControlsEnabled);
        rig.link().contactOrStop();
        rig.clock.advance(300);
        rig.instrument->setPowered(false);
        rig.clock.advance(1);
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        QVERIFY(!rig.link().searchTimerActive());
        QVERIFY(rig.link().searching());
        QVERIFY(!rig.link().panel().indicatorOn);
        QVERIFY(!rig.link().panel().connectEnabled);
        QCOMPARE(controls.last().at(0).toBool(), false);

        rig.instrument->setPowered(true);
        rig.clock.advance(1);
        QCOMPARE(rig.session.pane().text(), QString("Связь с прибором есть"));
        QVERIFY(rig.link().panel().connectEnabled);
        QCOMPARE(controls.last().at(0).toBool(), true);
    }

    void linkCheckWithTheIndicatorOnChangesNothing()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QSignalSpy panelChanges(&rig.link(), &Connection::panelChanged);
        QSignalSpy controls(&rig.link(), &Connection::instrumentControlsEnabled);
        const int statuses = rig.statusLog.size();
        QVERIFY(rig.link().checkLink());
        QCOMPARE(panelChanges.count(), 0);
        QCOMPARE(controls.count(), 0);
        QCOMPARE(rig.statusLog.size(), statuses);
    }

    void verifyButtonShowsNoContactUntilTheAnswerComes()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.link().checkContact();
        QCOMPARE(rig.session.pane().text(), QString("Нет контакта с прибором"));
        rig.settle();
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
    }

    void portCannotBeChangedWhileInContact()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QSignalSpy panelChanges(&rig.link(), &Connection::panelChanged);
        rig.link().choosePort("/dev/ttyS9");
        QCOMPARE(rig.link().panel().portText, QString("sim"));
        QCOMPARE(rig.port.portName(), QString("sim"));
        QVERIFY(rig.port.isOpen());
        QCOMPARE(panelChanges.count(), 1); // the box is told to show "sim" again
    }

    void portCheckBoxOnlyMirrorsThePort()
    {
        SimRig rig;
        rig.startUp();
        rig.link().portBoxToggled();
        QVERIFY(rig.link().panel().portOpenChecked);
        QVERIFY(rig.port.isOpen());
    }

    void deviceVanishingMidExchangeIsSurvived()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        rig.clock.advance(700);
        rig.port.vanish();
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        rig.clock.advance(5000);
        rig.link().checkContact();
        QCOMPARE(rig.session.pane().text(), QString("Порт отключен."));
    }

    void portThatClosedItselfShowsOffAndContactReopensItOnceTheDeviceIsBack()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.port.vanish();
        const PortPanelState &panel = rig.link().panel();
        QVERIFY(!panel.portOpenChecked);
        QCOMPARE(panel.portOpenCaption, QString("выкл."));

        // Still gone: nothing to open.
        rig.link().contactOrStop();
        QCOMPARE(rig.session.pane().text(), QString("Порт отключен."));
        QCOMPARE(panel.connectCaption, QString("Контакт"));
        QVERIFY(!rig.link().searching());

        rig.port.comeBack();
        rig.port.clearWritten();
        rig.link().contactOrStop();
        QVERIFY(rig.port.isOpen());
        QVERIFY(panel.portOpenChecked);
        QCOMPARE(panel.portOpenCaption, QString("вкл."));
        QCOMPARE(panel.connectCaption, QString("Стоп"));
        QCOMPARE(rig.session.pane().text(), QString("Установление контакта."));
        QVERIFY(rig.runUntil([&] { return rig.link().contact(); }));
        QCOMPARE(rig.port.written().left(1), QByteArray("B"));
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
    }

    void portThatClosedItselfMayBeChangedAlthoughTheInstrumentHadAnswered()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QVERIFY(rig.link().contact());
        rig.port.vanish();
        QVERIFY(!rig.link().contact());
        // The adapter comes back, under another name on some systems.
        rig.port.comeBack();
        rig.link().choosePort("sim-again");
        QCOMPARE(rig.link().panel().portText, QString("sim-again"));
        QCOMPARE(rig.port.portName(), QString("sim-again"));
        QVERIFY(rig.port.isOpen());
        QVERIFY(rig.link().portChanged());
        QVERIFY(rig.link().panel().portOpenChecked);
    }

    void contactThatCannotReopenThePortKeepsTheErrorAndTheCaption()
    {
        SimRig rig;
        rig.startUp();
        rig.port.setOpenFails(true);
        rig.link().contactOrStop();
        QVERIFY(!rig.port.isOpen());
        QVERIFY(rig.session.pane().text().startsWith("Не удалось открыть порт sim"));
        QCOMPARE(rig.link().panel().connectCaption, QString("Контакт"));
        QVERIFY(!rig.link().searchTimerActive());
    }

    void deviceVanishingMidSearchLeavesEveryWayBackOpen()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        rig.clock.advance(300);
        QVERIFY(rig.link().searchUnderWay());
        rig.port.vanish();

        const PortPanelState &panel = rig.link().panel();
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        QCOMPARE(panel.portOpenCaption, QString("выкл."));
        QVERIFY(!rig.link().linkUp());
        // The search is over, not paused: nothing waits for the vanished device.
        QVERIFY(!rig.link().searching());
        QVERIFY(!rig.link().searchUnderWay());
        QVERIFY(!rig.link().searchTimerActive());
        QCOMPARE(panel.connectCaption, QString("Контакт"));
        // Another port can be chosen, and "Контакт" can open this one again.
        QVERIFY(panel.portEnabled);
        QVERIFY(panel.connectEnabled);
        QVERIFY(!panel.verifyEnabled);
        QVERIFY(!panel.baudEnabled);
        rig.port.clearWritten();
        rig.clock.advance(5000);
        QVERIFY(rig.port.written().isEmpty());

        // Another link check (any page's) keeps the way back.
        rig.link().checkLink();
        QVERIFY(rig.link().panel().connectEnabled);

        rig.port.comeBack();
        rig.link().contactOrStop();
        QVERIFY(rig.runUntil([&] { return rig.link().contact(); }));
        QCOMPARE(rig.link().baudIndex(), 1);
        // The page's request for 115200 still stands and is carried out.
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }));
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
    }

    void deviceVanishingDuringTheSpeedChangeStopsTheRestart()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        QVERIFY(rig.runUntil([&] { return rig.link().deferredTimerActive(); }));
        rig.port.vanish();
        QVERIFY(!rig.link().deferredTimerActive());
        QCOMPARE(rig.link().deferredCommand(), char(0));
        rig.port.comeBack();
        rig.clock.advance(1000);
        // The restart of the search did not reopen the port behind the operator's back.
        QVERIFY(!rig.port.isOpen());
        QVERIFY(!rig.link().searching());
    }

    // What overtakes the restart due 100 ms after a speed change ("b" sent):
    // a search asked for meanwhile runs once, from 4800, and is not started
    // again when the 100 ms are over; a restart that cannot start (the line
    // down) gives the line back at once.
    void whatComesDuringTheRestartAfterASpeedChange_data()
    {
        QTest::addColumn<bool>("searchAskedFor");
        QTest::newRow("a search asked for") << true;
        QTest::newRow("the line down") << false;
    }
    void whatComesDuringTheRestartAfterASpeedChange()
    {
        QFETCH(bool, searchAskedFor);
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        QVERIFY(rig.runUntil([&] { return rig.link().deferredTimerActive(); }));
        if (searchAskedFor) {
            rig.link().startContactSearch();
            QVERIFY(!rig.link().deferredTimerActive());
            const QList<Write> writes = recordWrites(rig, 3000);
            // One search climbing the speeds: never back to 4800 once past it.
            bool pastSlowest = false;
            for (const Write &w : writes) {
                const bool slowest = w.settings.startsWith(QStringLiteral("4800"));
                QVERIFY2(!(pastSlowest && slowest), qPrintable(w.settings));
                pastSlowest = pastSlowest || !slowest;
            }
            QVERIFY(rig.link().contact());
        } else {
            rig.instrument->setPowered(false);
            rig.clock.advance(150);
            QVERIFY(!rig.link().deferredTimerActive());
            QVERIFY(!rig.session.line().busy());
            QVERIFY(!rig.link().searching());
        }
    }

    void pageSwitchAfterThePortVanishedFindsTheOperatorsNewPort()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.port.vanish();
        rig.port.comeBack();
        // The adapter is back under another name, chosen in the box; a page's
        // search then runs on it.
        rig.link().choosePort("/dev/ttyUSB1");
        rig.link().searchWithFastestSpeed();
        QCOMPARE(rig.port.portName(), QString("/dev/ttyUSB1"));
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }));
    }

    void portListIsReadAgainKeepingTypedAndCurrentPorts()
    {
        SimRig rig;
        QStringList system{"/dev/ttyUSB1", "/dev/ttyS0"};
        rig.link().setPortLister([&] { return system; });
        rig.startUp();
        rig.link().choosePort("/dev/pts/7");
        QCOMPARE(rig.link().panel().ports, (QStringList{"sim", "/dev/pts/7"}));

        QSignalSpy changed(&rig.link(), &Connection::panelChanged);
        rig.link().refreshPorts();
        QCOMPARE(rig.link().panel().ports,
                 (QStringList{"/dev/pts/7", "/dev/ttyS0", "/dev/ttyUSB1", "sim"}));
        QCOMPARE(changed.count(), 1);

        // The adapter is pulled out, another comes in.
        system = {"/dev/ttyACM0"};
        rig.link().refreshPorts();
        QCOMPARE(rig.link().panel().ports, (QStringList{"/dev/pts/7", "/dev/ttyACM0", "sim"}));
        QCOMPARE(rig.link().panel().portText, QString("/dev/pts/7"));
    }

    void portClosingItselfReadsThePortsAgain()
    {
        SimRig rig;
        QStringList system;
        rig.link().setPortLister([&] { return system; });
        QVERIFY(rig.connectFast());
        system = {"/dev/ttyUSB0"};
        rig.port.vanish();
        QCOMPARE(rig.link().panel().ports, (QStringList{"/dev/ttyUSB0", "sim"}));
    }

    void oneProbeAtThePresentSpeedIsContactWithoutASearch()
    {
        SimRig rig;
        rig.startUp();
        rig.link().probeAtPresentSpeed();
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }, 200));
        QCOMPARE(rig.port.written(), QByteArray("B"));
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));

        // At another speed the instrument stays silent for it.
        SimRig slow;
        slow.instrument->setBaud(9600);
        slow.startUp();
        slow.link().probeAtPresentSpeed();
        QVERIFY(!slow.runUntil([&] { return slow.link().contact(); }, 1000));
    }
};

QTEST_GUILESS_MAIN(tst_Connection)
#include "tst_Connection.moc"
