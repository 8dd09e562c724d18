#include "ScriptedPort.h"
#include "TestSupport.h"
#include "link/LineOwner.h"
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
        const LinkState &state = rig.link().state();
        QCOMPARE(state.ports, QStringList{"sim"});
        QCOMPARE(state.portName, QString("sim"));
        QVERIFY(state.portOpen);
        QCOMPARE(rig.port.settings(), QString("115200,n,8,1"));
        QCOMPARE(state.reportedBaud, 115200);
        QCOMPARE(state.agreedBaud, 115200);
        QVERIFY(state.lineUp);
        QCOMPARE(state.lineBaud, 115200);
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
        QVERIFY(!rig.link().lineUp());
        QCOMPARE(rig.session.pane().text(), QString("Включите прибор или смените порт."));
        QVERIFY(!rig.link().state().searchAskedFor);
    }

    void startUpWithNoOpenablePortSaysSoThenReportsTheLinkDown()
    {
        SimRig rig;
        rig.port.setOpenFails(true);
        rig.startUp();
        QVERIFY(rig.link().state().ports.isEmpty());
        QCOMPARE(rig.statusLog, QStringList({"Извините.Ни одного COM-порта необнаружено",
                                             "Нет связи с прибором"}));
        QVERIFY(!rig.link().lineUp());
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
        QVERIFY(rig.link().state().searchAskedFor);
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
        QCOMPARE(rig.link().state().lineBaud, 38400);
        QCOMPARE(rig.link().state().agreedBaud, 38400);
        QVERIFY(!rig.link().state().searchAskedFor);
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
        QVERIFY(!rig.link().state().probing());
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
        QCOMPARE(rig.link().phase(), LinkPhase::ChangingSpeed);
        QVERIFY(!rig.link().state().speedChangeRequested);
        // The 10 ms pause and 99 ms: nothing restarted yet; at 100 ms the search runs at 4800.
        rig.clock.advance(10 + 99);
        QVERIFY(!rig.link().searching());
        rig.clock.advance(1);
        QVERIFY(rig.link().searching());
        QCOMPARE(rig.port.settings(), QString("4800,n,8,1"));
        QCOMPARE(rig.link().phase(), LinkPhase::ProbeDue);
        // The instrument now answers only at 115200: the probe there is the eleventh tick.
        const QList<Write> probes = recordWrites(rig, 2400);
        QCOMPARE(probes.size(), 6);
        QCOMPARE(probes.last().settings, QString("115200,n,8,1"));
        QCOMPARE(probes.last().atMs - probes.first().atMs, 2000);
        QVERIFY(rig.link().atFastestSpeed());
        QCOMPARE(rig.link().state().agreedBaud, 115200);
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
        QCOMPARE(rig.link().state().reportedBaud, 115200);
    }

    void answerAtTheRequestedSpeedLeavesTheRequestPending()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QVERIFY(rig.link().state().speedChangeRequested);
        QVERIFY(!rig.port.written().contains('b'));
    }

    void choosingASpeedNegotiatesItWithTheInstrument()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().chooseSpeed(115200);
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
        rig.link().chooseSpeed(19200);
        QCOMPARE(rig.link().state().requestedBaud, 19200);
        QVERIFY(!rig.link().state().speedChangeRequested);
        QVERIFY(!rig.link().searching());
        rig.settle(1000);
        QVERIFY(rig.port.written().isEmpty());
    }

    void speedThatIsNotOneOfTheSixIsIgnored()
    {
        SimRig rig;
        rig.startUp();
        const LinkState before = rig.link().state();
        rig.link().chooseSpeed(12345);
        QVERIFY(rig.link().state() == before);
        rig.link().chooseSpeed(57600);
        QCOMPARE(rig.link().state().requestedBaud, 57600);
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
        QCOMPARE(rig.session.pane().text(), QString("Поиск прибора остановлен."));
        QVERIFY(!rig.link().state().searchAskedFor);
        rig.clock.advance(1000);
        QCOMPARE(rig.port.written().size(), 150);
        QVERIFY(!rig.link().searching());
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
        QCOMPARE(rig.link().state().lineBaud, 4800);
        QCOMPARE(rig.link().state().agreedBaud, 4800);
    }

    void lineDropPausesTheSearchAndDisablesTheInstrumentControls()
    {
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        QSignalSpy controls(&rig.link(), &Connection::lineChecked);
        rig.link().contactOrStop();
        rig.clock.advance(300);
        rig.instrument->setPowered(false);
        rig.clock.advance(1);
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        QCOMPARE(rig.link().phase(), LinkPhase::SearchHalted);
        QVERIFY(!rig.link().lineUp());
        QCOMPARE(controls.last().at(0).toBool(), false);

        rig.instrument->setPowered(true);
        rig.clock.advance(1);
        QCOMPARE(rig.session.pane().text(), QString("Связь с прибором есть"));
        QVERIFY(rig.link().lineUp());
        QCOMPARE(controls.last().at(0).toBool(), true);
    }

    void linkCheckWithTheIndicatorOnChangesNothing()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QSignalSpy panelChanges(&rig.link(), &Connection::stateChanged);
        QSignalSpy controls(&rig.link(), &Connection::lineChecked);
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
        const LinkState before = rig.link().state();
        rig.link().choosePort("/dev/ttyS9");
        QVERIFY(rig.link().state() == before);
        QCOMPARE(rig.port.portName(), QString("sim"));
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
        const LinkState &state = rig.link().state();
        QVERIFY(!state.portOpen);

        // Still gone: nothing to open.
        rig.link().contactOrStop();
        QCOMPARE(rig.session.pane().text(), QString("Порт отключен."));
        QVERIFY(!state.searchAskedFor);
        QVERIFY(!rig.link().searching());

        rig.port.comeBack();
        rig.port.clearWritten();
        rig.link().contactOrStop();
        QVERIFY(rig.port.isOpen());
        QVERIFY(state.portOpen);
        QVERIFY(state.searchAskedFor);
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
        QCOMPARE(rig.link().state().portName, QString("sim-again"));
        QCOMPARE(rig.port.portName(), QString("sim-again"));
        QVERIFY(rig.port.isOpen());
        QVERIFY(rig.link().state().portChanged);
        QVERIFY(rig.link().state().portOpen);
    }

    void contactThatCannotReopenThePortKeepsTheErrorAndTheCaption()
    {
        SimRig rig;
        rig.startUp();
        rig.port.setOpenFails(true);
        rig.link().contactOrStop();
        QVERIFY(!rig.port.isOpen());
        QVERIFY(rig.session.pane().text().startsWith("Не удалось открыть порт sim"));
        QVERIFY(!rig.link().state().searchAskedFor);
        QVERIFY(!rig.link().state().probing());
    }

    void deviceVanishingMidSearchLeavesEveryWayBackOpen()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        rig.clock.advance(300);
        QVERIFY(rig.link().state().searchAskedFor);
        rig.port.vanish();

        const LinkState &state = rig.link().state();
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        QVERIFY(!state.portOpen);
        QVERIFY(!state.lineUp);
        // The search is over, not paused: nothing waits for the vanished device.
        QCOMPARE(state.phase, LinkPhase::NoContact);
        QVERIFY(!state.searchAskedFor);
        QVERIFY(!rig.session.line().busy());
        rig.port.clearWritten();
        rig.clock.advance(5000);
        QVERIFY(rig.port.written().isEmpty());

        // Another link check (any page's) changes none of it.
        rig.link().checkLink();
        QVERIFY(!state.portOpen);

        rig.port.comeBack();
        rig.link().contactOrStop();
        QVERIFY(rig.runUntil([&] { return rig.link().contact(); }));
        QCOMPARE(rig.link().state().lineBaud, 9600);
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
        QVERIFY(rig.runUntil([&] { return rig.link().phase() == LinkPhase::ChangingSpeed; }));
        rig.port.vanish();
        QCOMPARE(rig.link().phase(), LinkPhase::NoContact);
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
        QVERIFY(rig.runUntil([&] { return rig.link().phase() == LinkPhase::ChangingSpeed; }));
        if (searchAskedFor) {
            rig.link().startContactSearch();
            QCOMPARE(rig.link().phase(), LinkPhase::ProbeDue);
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
            QVERIFY(rig.link().phase() != LinkPhase::ChangingSpeed);
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
        QCOMPARE(rig.link().state().ports, (QStringList{"sim", "/dev/pts/7"}));

        QSignalSpy changed(&rig.link(), &Connection::stateChanged);
        rig.link().refreshPorts();
        QCOMPARE(rig.link().state().ports,
                 (QStringList{"/dev/pts/7", "/dev/ttyS0", "/dev/ttyUSB1", "sim"}));
        QCOMPARE(changed.count(), 1);

        // The adapter is pulled out, another comes in.
        system = {"/dev/ttyACM0"};
        rig.link().refreshPorts();
        QCOMPARE(rig.link().state().ports, (QStringList{"/dev/pts/7", "/dev/ttyACM0", "sim"}));
        QCOMPARE(rig.link().state().portName, QString("/dev/pts/7"));
    }

    void portClosingItselfReadsThePortsAgain()
    {
        SimRig rig;
        QStringList system;
        rig.link().setPortLister([&] { return system; });
        QVERIFY(rig.connectFast());
        system = {"/dev/ttyUSB0"};
        rig.port.vanish();
        QCOMPARE(rig.link().state().ports, (QStringList{"/dev/ttyUSB0", "sim"}));
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
    // "Стоп" before any answer gives the line back at the speed the instrument
    // was last heard at, says the search was stopped, and frees the line: a
    // notice that waited for the search is served, and a read may start.
    void stopGivesTheLineBackAtTheAgreedSpeed_data()
    {
        QTest::addColumn<int>("probedForMs");
        QTest::newRow("probe out at 4800") << 250;
        QTest::newRow("between probes at 19200") << 1000;
        QTest::newRow("probe out at 115200") << 2250;
    }
    void stopGivesTheLineBackAtTheAgreedSpeed()
    {
        QFETCH(int, probedForMs);
        SimRig rig;
        rig.instrument->setSilent(true);
        rig.startUp();
        rig.link().contactOrStop();
        int noticesServed = 0;
        rig.clock.advance(probedForMs);
        rig.session.line().notice(ReplyCode::DensitiesMeasured, [&] { ++noticesServed; });
        QCOMPARE(noticesServed, 0);

        rig.link().contactOrStop();
        QCOMPARE(rig.session.pane().text(), QString("Поиск прибора остановлен."));
        QVERIFY(!rig.session.pane().text().contains("не отвечает"));
        QCOMPARE(rig.port.settings(), QString("115200,n,8,1"));
        QCOMPARE(rig.link().state().lineBaud, 115200);
        QCOMPARE(rig.link().state().reportedBaud, 115200);
        QCOMPARE(rig.link().phase(), LinkPhase::NoContact);
        QVERIFY(!rig.session.line().busy());
        rig.clock.advance(1);
        QCOMPARE(noticesServed, 1);
        QVERIFY(rig.session.line().begin(LineJob::Table));
    }

    // Each way a search ends ends its job on the line once, with its outcome and
    // its reason.
    void searchJobEndsOnceWithItsOutcome_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("answered") << "answer" << int(JobOutcome::Done) << QString();
        QTest::newRow("Стоп") << "stop" << int(JobOutcome::Cancelled)
                              << QString("нажата кнопка «Стоп»");
        QTest::newRow("port gone")
            << "vanish" << int(JobOutcome::Cancelled) << QString("порт закрылся");
        QTest::newRow("firmware page") << "firmware" << int(JobOutcome::Cancelled)
                                       << QString("открыта страница загрузки программы");
        QTest::newRow("cancelled on the line")
            << "cancel" << int(JobOutcome::Cancelled) << QString("отмена");
    }
    void searchJobEndsOnceWithItsOutcome()
    {
        QFETCH(QString, way);
        QFETCH(int, outcome);
        QFETCH(QString, reason);
        SimRig rig;
        rig.instrument->setBaud(19200);
        rig.instrument->setSilent(way != "answer");
        rig.startUp();
        QSignalSpy ended(&rig.session.line(), &LineOwner::jobEnded);
        rig.link().searchWithFastestSpeed();
        QCOMPARE(rig.session.line().job(), LineJob::ContactSearch);
        rig.clock.advance(700);
        if (way == "stop")
            rig.link().contactOrStop();
        else if (way == "vanish")
            rig.port.vanish();
        else if (way == "firmware")
            rig.link().setFastestSpeedDirectly();
        else if (way == "cancel")
            rig.session.line().cancel(QStringLiteral("отмена"));
        QVERIFY(rig.runUntil([&] { return !rig.session.line().busy(); }));
        rig.clock.advance(5000);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).value<LineJob>(), LineJob::ContactSearch);
        QCOMPARE(int(ended.at(0).at(1).value<JobOutcome>()), outcome);
        QCOMPARE(ended.at(0).at(2).toString(), reason);
        QCOMPARE(rig.link().atFastestSpeed(), way == "answer");
        QVERIFY(!rig.link().state().probing());
    }

    // An answer that comes while the speed change waits for its restart is not
    // the end: the search at the new speed still runs and finds it.
    void answerDuringTheWaitAfterASpeedChangeKeepsTheRestart()
    {
        SimRig rig;
        rig.instrument->setBaud(9600);
        rig.startUp();
        rig.link().searchWithFastestSpeed();
        QVERIFY(rig.runUntil([&] { return rig.link().phase() == LinkPhase::ChangingSpeed; }));
        rig.clock.advance(10);
        QCOMPARE(rig.instrument->baud(), 115200);
        // The instrument answers one probe at its new speed before the restart.
        rig.port.setSettings(QStringLiteral("115200,n,8,1"));
        rig.port.output(QByteArrayLiteral("B"));
        rig.clock.advance(20);
        QCOMPARE(rig.link().phase(), LinkPhase::ChangingSpeed);
        QVERIFY(rig.session.line().busy());
        rig.clock.advance(80);
        QCOMPARE(rig.link().phase(), LinkPhase::ProbeDue);
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }));
        QCOMPARE(rig.port.settings(), QString("115200,n,8,1"));
    }

    // A write to the instrument's memory is never cut by a search: the page's,
    // the speed box's or another start of one is refused with the busy text.
    void searchIsRefusedWhileAWriteHoldsTheLine_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("job");
        QTest::newRow("page change, database write") << "page" << int(LineJob::DatabaseWrite);
        QTest::newRow("speed box, database write") << "speed" << int(LineJob::DatabaseWrite);
        QTest::newRow("search, upload") << "search" << int(LineJob::FirmwareUpload);
    }
    void searchIsRefusedWhileAWriteHoldsTheLine()
    {
        QFETCH(QString, start);
        QFETCH(int, job);
        SimRig rig;
        QVERIFY(rig.connectFast());
        const LineJob writing = LineJob(job);
        QVERIFY(rig.session.line().begin(writing));
        QVERIFY(rig.link().state().lineWritten);
        QSignalSpy cancelled(&rig.session.line(), &LineOwner::cancelling);
        rig.port.clearWritten();
        if (start == "page")
            rig.link().searchWithFastestSpeed();
        else if (start == "speed")
            rig.link().chooseSpeed(9600);
        else
            rig.link().startContactSearch();
        QCOMPARE(rig.session.line().job(), writing);
        QCOMPARE(cancelled.count(), 0);
        QVERIFY(rig.session.pane().text().startsWith("Дождитесь конца обмена с прибором"));
        rig.clock.advance(2000);
        QVERIFY(rig.port.written().isEmpty());
        QVERIFY(!rig.link().searching());
    }

    // A port chosen while a read runs on the old one ends the read first.
    void portChangeCancelsTheJobOnTheOldPort()
    {
        SimRig rig;
        rig.startUp();
        rig.instrument->setPowered(false);
        rig.clock.advance(1);
        QVERIFY(rig.session.line().begin(LineJob::Table));
        QSignalSpy cancelled(&rig.session.line(), &LineOwner::cancelling);
        rig.link().choosePort(QStringLiteral("/dev/ttyS9"));
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(cancelled.at(0).at(2).toString(), QString("выбран другой порт"));
        QVERIFY(!rig.session.line().busy());
        QCOMPARE(rig.link().state().portName, QString("/dev/ttyS9"));
    }
};

QTEST_GUILESS_MAIN(tst_Connection)
#include "tst_Connection.moc"
