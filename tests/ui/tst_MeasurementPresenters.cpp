#include "ControlStates.h"
#include "ObjectNames.h"
#include "ReaderPage.h"
#include "ReaderPresenter.h"
#include "RecordingOpener.h"
#include "ResultsPage.h"
#include "ResultsPresenter.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

// What the reader and results pages show, derived from their services' states
// as tables without widgets, then applied to the pages by objectName.
class tst_MeasurementPresenters : public QObject
{
    Q_OBJECT

private:
    // "enabled" or "enabled, ticked" / "greyed, unticked": one word per fact.
    static QString shown(const ControlStates &states, const char *name)
    {
        const ControlState *state = ControlBinding::find(states, QString::fromLatin1(name));
        if (!state)
            return QStringLiteral("missing");
        QString out = state->enabled ? QStringLiteral("enabled") : QStringLiteral("greyed");
        if (state->checked)
            out += *state->checked ? QStringLiteral(", ticked") : QStringLiteral(", unticked");
        return out;
    }

    // Every control the presenter decides shows what it says on the page.
    static void verifyApplied(QWidget &page, const ControlStates &states)
    {
        for (const ControlState &state : states) {
            auto *widget = page.findChild<QAbstractButton *>(state.objectName);
            QVERIFY2(widget, qPrintable(state.objectName));
            QVERIFY2(widget->isEnabled() == state.enabled, qPrintable(state.objectName));
            if (state.checked)
                QVERIFY2(widget->isChecked() == *state.checked, qPrintable(state.objectName));
        }
    }

private Q_SLOTS:
    void readerPageFollowsTheReadersState_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("tableReceived");
        QTest::addColumn<bool>("autoRead");
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<bool>("writing");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("save");
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<QString>("autoReadBox");
        QTest::addColumn<QString>("autoSaveBox");
        const QString on = QStringLiteral("enabled");
        const QString off = QStringLiteral("greyed");
        const QString ticked = QStringLiteral("enabled, ticked");
        const QString unticked = QStringLiteral("enabled, unticked");
        QTest::newRow("start") << true << false << false << false << false << on << off << off
                               << unticked << unticked;
        QTest::newRow("instrument gone") << false << false << false << false << false << off << off
                                         << off << unticked << unticked;
        QTest::newRow("a table received")
            << true << true << false << false << false << on << on << on << unticked << unticked;
        QTest::newRow("a write holds the line")
            << true << true << false << false << true << off << on << on << unticked << unticked;
        QTest::newRow("gone after a table, both automatic")
            << false << true << true << true << false << off << on << on << ticked << ticked;
        QTest::newRow("automatic reading only")
            << true << false << true << false << false << on << off << off << ticked << unticked;
        QTest::newRow("automatic saving only")
            << true << false << false << true << false << on << off << off << unticked << ticked;
    }
    void readerPageFollowsTheReadersState()
    {
        QFETCH(bool, present);
        QFETCH(bool, tableReceived);
        QFETCH(bool, autoRead);
        QFETCH(bool, autoSave);
        QFETCH(bool, writing);
        QFETCH(QString, read);
        QFETCH(QString, save);
        QFETCH(QString, workbook);
        QFETCH(QString, autoReadBox);
        QFETCH(QString, autoSaveBox);
        OpticalDensityReader::State state;
        state.instrumentPresent = present;
        state.tableEverReceived = tableReceived;
        state.autoRead = autoRead;
        state.autoSave = autoSave;
        const ControlStates states = ReaderPresenter::derive(state, writing);
        QCOMPARE(shown(states, "btnReadOP"), read);
        QCOMPARE(shown(states, "btnSaveOP"), save);
        QCOMPARE(shown(states, "btnCreateExcel"), workbook);
        QCOMPARE(shown(states, "btnFileToExcel"), QStringLiteral("enabled"));
        QCOMPARE(shown(states, "chckAutoReadOP"), autoReadBox);
        QCOMPARE(shown(states, "chckAutoSaveOP"), autoSaveBox);
        QCOMPARE(states.size(), 6);
    }

    void resultsPageFollowsTheProtocolsState_data()
    {
        QTest::addColumn<bool>("received");
        QTest::addColumn<bool>("autoRead");
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<bool>("writing");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("save");
        QTest::addColumn<QString>("autoReadBox");
        QTest::addColumn<QString>("autoSaveBox");
        const QString on = QStringLiteral("enabled");
        const QString off = QStringLiteral("greyed");
        const QString ticked = QStringLiteral("enabled, ticked");
        const QString unticked = QStringLiteral("enabled, unticked");
        QTest::newRow("start") << false << false << false << false << on << off << unticked
                               << unticked;
        QTest::newRow("a protocol received")
            << true << false << false << false << on << on << unticked << unticked;
        QTest::newRow("a write holds the line")
            << true << false << false << true << off << on << unticked << unticked;
        QTest::newRow("both automatic")
            << false << true << true << false << on << off << ticked << ticked;
        QTest::newRow("automatic saving only")
            << false << false << true << false << on << off << unticked << ticked;
    }
    void resultsPageFollowsTheProtocolsState()
    {
        QFETCH(bool, received);
        QFETCH(bool, autoRead);
        QFETCH(bool, autoSave);
        QFETCH(bool, writing);
        QFETCH(QString, read);
        QFETCH(QString, save);
        QFETCH(QString, autoReadBox);
        QFETCH(QString, autoSaveBox);
        ResultsProtocol::State state;
        state.protocolEverReceived = received;
        state.autoRead = autoRead;
        state.autoSave = autoSave;
        const ControlStates states = ResultsPresenter::derive(state, writing);
        QCOMPARE(shown(states, "btnReadProtokol"), read);
        QCOMPARE(shown(states, "btnSaveProtokol"), save);
        QCOMPARE(shown(states, "btnClrMemo1"), QStringLiteral("enabled"));
        QCOMPARE(shown(states, "chckAutoReadRes"), autoReadBox);
        QCOMPARE(shown(states, "chckAutoSaveRes"), autoSaveBox);
        QCOMPARE(states.size(), 5);
    }

    void pagesShowWhatTheirPresentersDeriveWithoutEchoingIt()
    {
        SimRig rig;
        RecordingOpener opener;
        ReaderPage reader(rig.session, opener);
        ResultsPage results(rig.session);
        verifyApplied(reader, ReaderPresenter::derive(rig.session.reader().state(), false));
        verifyApplied(results, ResultsPresenter::derive(rig.session.results().state(), false));

        // A change of the service's own reaches the box, and the box does not
        // say it back as the operator's click.
        auto *autoSave = reader.findChild<QCheckBox *>(objectNames::reader::AutoSave);
        QVERIFY(autoSave);
        QSignalSpy toggled(autoSave, &QCheckBox::toggled);
        rig.session.reader().setAutoSave(true);
        QVERIFY(autoSave->isChecked());
        QCOMPARE(toggled.count(), 0);
        rig.session.results().setAutoRead(true);
        verifyApplied(results, ResultsPresenter::derive(rig.session.results().state(), false));
        QVERIFY(rig.session.results().state().autoRead);

        // The operator's click reaches the service.
        auto *autoRead = results.findChild<QCheckBox *>(objectNames::results::AutoRead);
        autoRead->click();
        QVERIFY(!rig.session.results().state().autoRead);
    }
};

QTEST_MAIN(tst_MeasurementPresenters)
#include "tst_MeasurementPresenters.moc"
