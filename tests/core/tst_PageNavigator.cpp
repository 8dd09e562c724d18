#include "PageChangeHooks.h"
#include "TestSupport.h"
#include "navigation/PageNavigator.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

// Records each hook with the link speed the port had at that moment.
class RecordingHooks : public PageChangeHooks
{
public:
    explicit RecordingHooks(Connection &link) : m_link(link) {}
    void stopFirmwareWizard() override { record(QStringLiteral("stop")); }
    void resetFirmwareWizard() override { record(QStringLiteral("reset")); }
    void updateFirmwareWizard() override { record(QStringLiteral("update")); }
    // The wizard's own entry: "reset" and "update" as it runs them.
    void enterFirmwarePage() override
    {
        m_link.ensurePortOpen();
        record(QStringLiteral("reset"));
        m_link.setFastestSpeedDirectly();
        record(QStringLiteral("update"));
    }
    void labelReaderGrid() override { record(QStringLiteral("label")); }

    QStringList calls;
    QList<int> baudAtCall;

private:
    void record(const QString &name)
    {
        calls.append(name);
        baudAtCall.append(m_link.state().lineBaud);
    }
    Connection &m_link;
};

} // namespace

class tst_PageNavigator : public QObject
{
    Q_OBJECT

private:
    struct Fixture
    {
        SimRig rig;
        RecordingHooks hooks{rig.link()};
        PageNavigator &nav = rig.session.navigator();
        Fixture() { nav.setHooks(&hooks); }
    };

private Q_SLOTS:
    void startsOnAboutWithTheOtherFourTabsHidden()
    {
        Fixture f;
        QCOMPARE(f.nav.activePage(), Page::About);
        QVERIFY(f.nav.tabVisible(Page::About));
        for (Page p : {Page::Firmware, Page::Database, Page::Reader, Page::Results})
            QVERIFY2(!f.nav.tabVisible(p), qPrintable(QString::number(pageIndex(p))));
        QVERIFY(!f.nav.firmwarePageActive());
    }

    void firmwareActionCreatesTheFrameOnceAndSetsTheSpeedWithoutAnExchange()
    {
        Fixture f;
        // The instrument sits at 9600 and the link has found it there.
        f.rig.instrument->setBaud(9600);
        f.rig.startUp();
        f.rig.link().contactOrStop();
        QVERIFY(f.rig.runUntil([&] { return f.rig.link().contact(); }));
        QCOMPARE(f.rig.link().state().lineBaud, 9600);
        f.rig.settle();
        f.rig.port.close(); // the page switch opens it again
        f.rig.port.clearWritten();

        QSignalSpy pages(&f.nav, &PageNavigator::pagesChanged);
        QStringList order;
        connect(&f.nav, &PageNavigator::pagesChanged, &f.nav,
                [&] { order.append(QStringLiteral("pages")); });
        connect(&f.nav, &PageNavigator::actionExecuted, &f.nav,
                [&](Page p) { order.append(QStringLiteral("done%1").arg(pageIndex(p))); });

        f.nav.openPage(Page::Firmware);
        QCOMPARE(order, (QStringList{"pages", "done1"}));
        QCOMPARE(f.nav.activePage(), Page::Firmware);
        QVERIFY(f.nav.tabVisible(Page::Firmware));
        QVERIFY(f.nav.firmwarePageActive());
        QCOMPARE(f.hooks.calls, (QStringList{"stop", "reset", "update"}));
        // Reset runs before the speed is set, the update after it.
        QCOMPARE(f.hooks.baudAtCall, (QList<int>{9600, 9600, 115200}));
        QVERIFY(f.rig.port.isOpen());
        QCOMPARE(f.rig.port.settings(), QStringLiteral("115200,n,8,1"));
        QCOMPARE(f.rig.link().state().agreedBaud, 115200);
        QCOMPARE(f.rig.link().state().reportedBaud, 115200);
        QVERIFY(f.rig.link().state().portOpen);
        QVERIFY(!f.rig.link().searching());
        f.rig.settle(500);
        QCOMPARE(f.rig.port.written(), QByteArray());
        QCOMPARE(f.rig.instrument->baud(), 9600);

        // Again on the shown page: no page change, no rule.
        f.hooks.calls.clear();
        f.nav.openPage(Page::Firmware);
        QCOMPARE(pages.count(), 1);
        QVERIFY(f.hooks.calls.isEmpty());
    }

    void databaseActionSearchesAndEndsWithTheInstrumentAt115200()
    {
        Fixture f;
        f.rig.instrument->setBaud(19200);
        f.rig.startUp();

        QSignalSpy contact(&f.rig.link(), &Connection::fastContactEnded);
        f.nav.openPage(Page::Database);
        QCOMPARE(f.nav.activePage(), Page::Database);
        QVERIFY(f.nav.tabVisible(Page::Database));
        QCOMPARE(f.hooks.calls, QStringList{"stop"});
        QVERIFY(f.rig.link().searching());
        QCOMPARE(f.rig.link().state().lineBaud, 4800);
        QVERIFY(f.rig.link().state().speedChangeRequested);
        QCOMPARE(f.rig.link().state().requestedBaud, 115200);
        QVERIFY(f.rig.link().state().searchAskedFor);

        QVERIFY(f.rig.runUntil([&] { return f.rig.link().atFastestSpeed(); }));
        QCOMPARE(f.rig.instrument->baud(), 115200);
        QCOMPARE(f.rig.session.pane().text(), QStringLiteral("Есть контакт с прибором"));
        QVERIFY(!f.rig.link().state().searchAskedFor);
        QVERIFY(contact.size() == 1 && contact.first().first().toBool());

        f.nav.openPage(Page::Database);
        QVERIFY(!f.rig.link().searching());
    }

    void firstReaderActionLabelsTheGridTwiceAndLaterRunsOnlyTheLabelling()
    {
        Fixture f;
        f.rig.startUp();

        f.nav.openPage(Page::Reader);
        QCOMPARE(f.hooks.calls, (QStringList{"stop", "label", "label"}));
        QCOMPARE(f.nav.activePage(), Page::Reader);
        QVERIFY(f.nav.tabVisible(Page::Reader));
        QVERIFY(f.rig.link().searching());
        QVERIFY(f.rig.link().state().searchAskedFor);
        QVERIFY(f.rig.runUntil([&] { return f.rig.link().atFastestSpeed(); }));

        f.hooks.calls.clear();
        f.rig.settle();
        f.rig.port.clearWritten();
        f.nav.openPage(Page::Reader);
        QCOMPARE(f.hooks.calls, QStringList{"label"});
        QVERIFY(!f.rig.link().searching());
        f.rig.settle(500);
        QCOMPARE(f.rig.port.written(), QByteArray());
    }

    void resultsActionSearchesWithoutAFrameAndRerunDoesNothing()
    {
        Fixture f;
        f.rig.startUp();
        QSignalSpy done(&f.nav, &PageNavigator::actionExecuted);

        f.nav.openPage(Page::Results);
        QCOMPARE(f.hooks.calls, QStringList{"stop"});
        QCOMPARE(f.nav.activePage(), Page::Results);
        QVERIFY(f.nav.tabVisible(Page::Results));
        QVERIFY(f.rig.link().searching());
        QVERIFY(f.rig.runUntil([&] { return f.rig.link().atFastestSpeed(); }));

        f.hooks.calls.clear();
        f.nav.openPage(Page::Results);
        QVERIFY(f.hooks.calls.isEmpty());
        QVERIFY(!f.rig.link().searching());
        QCOMPARE(done.count(), 2);
    }

    void tabClicksRunTheRulesOfTheNewPageAndTabsStayVisible()
    {
        Fixture f;
        f.rig.instrument->setBaud(9600);
        f.rig.startUp();
        f.nav.openPage(Page::Results);
        QVERIFY(f.rig.runUntil([&] { return f.rig.link().atFastestSpeed(); }));
        f.nav.openPage(Page::Firmware);
        f.nav.openPage(Page::Database);
        f.nav.openPage(Page::Reader);
        QVERIFY(f.rig.runUntil([&] { return f.rig.link().atFastestSpeed(); }));
        f.rig.settle();

        // About: only the wizard stop; the link is left as it is.
        f.hooks.calls.clear();
        f.rig.port.clearWritten();
        f.nav.selectPage(Page::About);
        QCOMPARE(f.nav.activePage(), Page::About);
        QCOMPARE(f.hooks.calls, QStringList{"stop"});
        QVERIFY(!f.rig.link().searching());
        QCOMPARE(f.rig.link().state().lineBaud, 115200);
        f.rig.settle(500);
        QCOMPARE(f.rig.port.written(), QByteArray());

        // Clicking the active tab again runs nothing.
        f.hooks.calls.clear();
        f.nav.selectPage(Page::About);
        QVERIFY(f.hooks.calls.isEmpty());

        f.nav.selectPage(Page::Firmware);
        QCOMPARE(f.hooks.calls, (QStringList{"stop", "reset", "update"}));
        f.hooks.calls.clear();
        f.nav.selectPage(Page::Reader);
        QCOMPARE(f.hooks.calls, (QStringList{"stop", "label"}));
        QVERIFY(f.rig.link().searching());
        f.hooks.calls.clear();
        f.nav.selectPage(Page::Results);
        QCOMPARE(f.hooks.calls, QStringList{"stop"});

        for (Page p : AllPages)
            QVERIFY2(f.nav.tabVisible(p), qPrintable(QString::number(pageIndex(p))));
    }

    void aHiddenTabCannotBeSelected()
    {
        Fixture f;
        f.rig.startUp();
        QSignalSpy pages(&f.nav, &PageNavigator::pagesChanged);
        f.nav.selectPage(Page::Database);
        f.nav.tabClicked(7);
        f.nav.tabClicked(-1);
        QCOMPARE(f.nav.activePage(), Page::About);
        QCOMPARE(pages.count(), 0);
        QVERIFY(f.hooks.calls.isEmpty());
        QVERIFY(!f.rig.link().searching());
    }

    void actionsThatNeedTheInstrumentFollowTheLinkIndicator()
    {
        Fixture f;
        f.rig.startUp();
        QSignalSpy changed(&f.nav, &PageNavigator::actionsEnabledChanged);
        f.rig.instrument->setPowered(false);
        f.rig.settle(100);
        f.rig.link().checkLink();
        for (Page p : {Page::Firmware, Page::Database, Page::Reader})
            QVERIFY2(!f.nav.actionEnabled(p), qPrintable(QString::number(pageIndex(p))));
        QVERIFY(f.nav.actionEnabled(Page::Results));
        QCOMPARE(changed.count(), 1);

        f.rig.instrument->setPowered(true);
        f.rig.link().checkLink();
        for (Page p : AllPages)
            QVERIFY2(f.nav.actionEnabled(p), qPrintable(QString::number(pageIndex(p))));
        QCOMPARE(changed.count(), 2);
    }

    void withoutHooksTheLinkRulesStillRun()
    {
        SimRig rig;
        PageNavigator &nav = rig.session.navigator();
        rig.startUp();
        nav.openPage(Page::Firmware);
        QCOMPARE(rig.link().state().lineBaud, 115200);
        nav.openPage(Page::Reader);
        QVERIFY(rig.link().searching());
        QVERIFY(rig.runUntil([&] { return rig.link().atFastestSpeed(); }));
        nav.selectPage(Page::About);
        QCOMPARE(nav.activePage(), Page::About);
    }
};

QTEST_GUILESS_MAIN(tst_PageNavigator)
#include "tst_PageNavigator.moc"
