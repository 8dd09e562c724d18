#include "ObjectNames.h"
#include "PortPanel.h"
#include "PortPanelPresenter.h"
#include "TestSupport.h"
#include "link/LineOwner.h"
#include "link/LinkState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

// The link as it stands in the common cases; each row changes what it names.
LinkState linkAt(LinkPhase phase)
{
    LinkState s;
    s.ports = {QStringLiteral("sim")};
    s.portName = QStringLiteral("sim");
    s.portOpen = true;
    s.lineUp = true;
    s.phase = phase;
    s.lineBaud = 115200;
    s.agreedBaud = 115200;
    s.reportedBaud = 115200;
    return s;
}

// What the controls that follow the link's phase show, as one row.
struct Shown
{
    bool port;
    bool checkAndSpeed;
    bool contact;
    QString caption;
    bool lamp;
};

} // namespace

Q_DECLARE_METATYPE(kalent::LinkState)
Q_DECLARE_METATYPE(Shown)

class tst_PortPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyControlFollowsTheLinksState_data()
    {
        QTest::addColumn<LinkState>("state");
        QTest::addColumn<Shown>("shown");
        const QString contact = QStringLiteral("Контакт");
        const QString stop = QStringLiteral("Стоп");

        QTest::newRow("opened, no exchange yet")
            << linkAt(LinkPhase::NoContact) << Shown{true, true, true, contact, true};
        LinkState off = linkAt(LinkPhase::NoContact);
        off.lineUp = false;
        QTest::newRow("port open, instrument off")
            << off << Shown{true, false, false, contact, false};
        LinkState probing = linkAt(LinkPhase::ProbeDue);
        probing.searchAskedFor = true;
        QTest::newRow("search asked for, probing")
            << probing << Shown{false, false, true, stop, true};
        QTest::newRow("speed box's search, awaiting the answer")
            << linkAt(LinkPhase::AwaitingAnswer) << Shown{false, false, true, contact, true};
        LinkState halted = linkAt(LinkPhase::SearchHalted);
        halted.searchAskedFor = true;
        halted.lineUp = false;
        QTest::newRow("search halted by a line drop")
            << halted << Shown{false, false, false, stop, false};
        halted.lineUp = true;
        QTest::newRow("line back, search still halted")
            << halted << Shown{false, true, true, stop, true};
        QTest::newRow("in contact")
            << linkAt(LinkPhase::InContact) << Shown{true, true, true, contact, true};
        QTest::newRow("speed change, restart due")
            << linkAt(LinkPhase::ChangingSpeed) << Shown{true, true, true, contact, true};
        LinkState writing = linkAt(LinkPhase::InContact);
        writing.lineWritten = true;
        QTest::newRow("a write holds the line: Контакт is the way out")
            << writing << Shown{false, false, true, contact, true};
        writing.lineUp = false;
        QTest::newRow("a write, line down")
            << writing << Shown{false, false, false, contact, false};
        LinkState closed = linkAt(LinkPhase::NoContact);
        closed.portOpen = false;
        closed.lineUp = false;
        QTest::newRow("port closed itself: Контакт opens it again")
            << closed << Shown{true, false, true, contact, false};
        closed.ports.clear();
        QTest::newRow("no port at all") << closed << Shown{true, false, false, contact, false};
    }

    void everyControlFollowsTheLinksState()
    {
        QFETCH(LinkState, state);
        QFETCH(Shown, shown);
        const PortPanelView v = PortPanelPresenter::derive(state);
        QCOMPARE(v.portEnabled, shown.port);
        QCOMPARE(v.checkEnabled, shown.checkAndSpeed);
        QCOMPARE(v.speedEnabled, shown.checkAndSpeed);
        QCOMPARE(v.contactEnabled, shown.contact);
        QCOMPARE(v.contactCaption, shown.caption);
        QCOMPARE(v.lampOn, shown.lamp);
        QCOMPARE(v.ports, state.ports);
        QCOMPARE(v.portText, state.portName);
        QCOMPARE(v.portOpenChecked, state.portOpen);
        QCOMPARE(v.portOpenCaption, state.portOpen ? QString("вкл.") : QString("выкл."));
    }

    void theTextsShowTheSpeedsAsTheLinkHasThem_data()
    {
        QTest::addColumn<int>("agreed");
        QTest::addColumn<int>("reported");
        QTest::addColumn<QString>("speedText");
        QTest::addColumn<QString>("parameters");
        QTest::newRow("before any port") << 9600 << 0 << "9600"
                                         << "";
        QTest::newRow("opened at 115200") << 115200 << 115200 << "115200"
                                          << "Параметры: 115200,n,8,1";
        QTest::newRow("probing 4800, last heard at 57600") << 57600 << 4800 << "57600"
                                                           << "Параметры: 4800,n,8,1";
    }

    void theTextsShowTheSpeedsAsTheLinkHasThem()
    {
        QFETCH(int, agreed);
        QFETCH(int, reported);
        QFETCH(QString, speedText);
        QFETCH(QString, parameters);
        LinkState s = linkAt(LinkPhase::AwaitingAnswer);
        s.agreedBaud = agreed;
        s.reportedBaud = reported;
        const PortPanelView v = PortPanelPresenter::derive(s);
        QCOMPARE(v.speedText, speedText);
        QCOMPARE(v.parametersText, parameters);
    }

    void onlyTheSixSpeedsAreTakenFromTheSpeedBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baud");
        QTest::newRow("slowest") << "4800" << 4800;
        QTest::newRow("fastest, with spaces") << " 115200 " << 115200;
        QTest::newRow("not one of the six") << "12345" << 0;
        QTest::newRow("above the fastest") << "230400" << 0;
        QTest::newRow("not a number") << "быстро" << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void onlyTheSixSpeedsAreTakenFromTheSpeedBox()
    {
        QFETCH(QString, text);
        QFETCH(int, baud);
        QCOMPARE(PortPanelPresenter::speedFromText(text), baud);
        QCOMPARE(PortPanelPresenter::speedItems(),
                 (QStringList{"4800", "9600", "19200", "38400", "57600", "115200"}));
    }

    void thePanelShowsWhatItsPresenterDerives()
    {
        SimRig rig;
        PortPanel panel(rig.link());
        rig.instrument->setSilent(true);
        rig.startUp();
        auto *open = panel.findChild<QCheckBox *>(objectNames::portPanel::PortOpen);
        auto *speed = panel.findChild<QComboBox *>(objectNames::portPanel::Speed);
        auto *port = panel.findChild<QComboBox *>(objectNames::portPanel::PortName);
        auto *button = panel.findChild<QPushButton *>(objectNames::portPanel::Contact);
        QVERIFY(open && speed && port && button);
        // The on/off box only mirrors the port: a click puts it back.
        open->click();
        QVERIFY(open->isChecked());
        QVERIFY(rig.port.isOpen());

        button->click();
        QCOMPARE(button->text(), QString("Стоп"));
        QVERIFY(!port->isEnabled());
        QVERIFY(!speed->isEnabled());
        rig.clock.advance(700);
        button->click();
        QCOMPARE(button->text(), QString("Контакт"));
        QVERIFY(port->isEnabled());
        QCOMPARE(speed->currentText(), QString("115200"));
        QCOMPARE(rig.session.pane().text(), QString("Поиск прибора остановлен."));

        // A write greys the port box as it greys "?" and the speed box.
        QVERIFY(rig.session.line().begin(LineJob::DatabaseWrite));
        QVERIFY(!port->isEnabled());
        QVERIFY(!speed->isEnabled());
        QVERIFY(button->isEnabled());
        rig.session.line().end(LineJob::DatabaseWrite, JobOutcome::Done);
        QVERIFY(port->isEnabled());
    }
};

QTEST_MAIN(tst_PortPanel)
#include "tst_PortPanel.moc"
