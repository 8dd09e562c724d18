#include "DatabasePagePresenter.h"

#include <QtTest>

using namespace kalent;

Q_DECLARE_METATYPE(kalent::DatabasePageState)

namespace {

using Phase = DatabaseService::Phase;

// The lists as after a read from the instrument and a file that adds to it.
DatabasePageState listsMade()
{
    DatabasePageState s;
    s.instrumentTs = 12;
    s.fileTs = 3;
    s.additionalTs = 2;
    s.instrumentListExists = true;
    s.fromDevice = true;
    s.fromFile = true;
    s.instrumentEdited = true;
    s.selected = 1;
    return s;
}

// The seven buttons in the page's order, as one string: "1" enabled, "0" not.
QString buttons(const DatabasePageLook &l)
{
    QString out;
    for (bool on :
         {l.readFromVirEnabled, l.saveToFileEnabled, l.deleteEnabled, l.writeInstrumentListEnabled,
          l.readFromFileEnabled, l.writeFileListEnabled, l.addEnabled})
        out += on ? QLatin1Char('1') : QLatin1Char('0');
    return out;
}

} // namespace

// The database page's look as a function of its state: one row per situation.
class tst_DatabasePagePresenter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buttonsFollowTheListsTheJobAndTheLine_data()
    {
        QTest::addColumn<DatabasePageState>("state");
        QTest::addColumn<bool>("lineFree");
        QTest::addColumn<bool>("controlsUp");
        // из прибора, в файл..., удалить, в прибор, из файла..., в прибор, <<< Добавить
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing made yet") << DatabasePageState() << true << true << "1000100";
        QTest::newRow("the link's controls down")
            << DatabasePageState() << true << false << "0000100";
        QTest::newRow("lists made, line free") << listsMade() << true << true << "1111111";
        DatabasePageState reading = listsMade();
        reading.job = Phase::Reading;
        QTest::newRow("a read replaces the list") << reading << false << true << "0000100";
        DatabasePageState waiting = listsMade();
        waiting.job = Phase::WaitingForBackup;
        QTest::newRow("a write waits for its backup") << waiting << false << true << "0000000";
        DatabasePageState writing = listsMade();
        writing.job = Phase::Writing;
        QTest::newRow("a write runs") << writing << false << true << "0100000";
        QTest::newRow("another job holds the line") << listsMade() << false << true << "0110101";
        DatabasePageState nothingToAdd = listsMade();
        nothingToAdd.additionalTs = 0;
        nothingToAdd.selected = 0;
        nothingToAdd.instrumentEdited = false;
        QTest::newRow("nothing to add, nothing selected, no edit")
            << nothingToAdd << true << true << "1100110";
        DatabasePageState fileOnly;
        fileOnly.fromFile = true;
        fileOnly.fileTs = 3;
        fileOnly.additionalTs = 3;
        QTest::newRow("a file without a read") << fileOnly << true << true << "1000110";
    }

    void buttonsFollowTheListsTheJobAndTheLine()
    {
        QFETCH(DatabasePageState, state);
        QFETCH(bool, lineFree);
        QFETCH(bool, controlsUp);
        QFETCH(QString, expected);
        QCOMPARE(buttons(presentDatabasePage(state, lineFree, controlsUp)), expected);
    }

    void captionsCountTheListsOnceMade()
    {
        DatabasePageLook none = presentDatabasePage(DatabasePageState(), true, true);
        QCOMPARE(none.title, QStringLiteral("Перепрограммирование базы данных тест-систем."));
        QCOMPARE(none.instrumentCaption, QStringLiteral("Список ТС в приборе:"));
        QCOMPARE(none.fileCaption, QStringLiteral("Список ТС в файле:"));
        QCOMPARE(none.additionalCaption, QStringLiteral("Дополнительный список ТС:"));
        DatabasePageState s = listsMade();
        s.additionalTs = 0;
        const DatabasePageLook made = presentDatabasePage(s, true, true);
        QCOMPARE(made.instrumentCaption, QStringLiteral("Список ТС в приборе (12):"));
        QCOMPARE(made.fileCaption, QStringLiteral("Список ТС в файле (3):"));
        QCOMPARE(made.additionalCaption, QStringLiteral("Дополнительный список ТС (0):"));
        QCOMPARE(made.instrumentColour, 0xFFFBF0u);
        QCOMPARE(made.fileColour, 0xA6CAF0u);
        QCOMPARE(made.additionalColour, 0xC0DCC0u);
    }

    void treesShowWhatTheStateShows()
    {
        for (int mask = 0; mask < 8; ++mask) {
            DatabasePageState s;
            s.instrumentTreeShown = mask & 1;
            s.fileTreeShown = mask & 2;
            s.additionalTreeShown = mask & 4;
            const DatabasePageLook l = presentDatabasePage(s, true, true);
            QCOMPARE(l.virTreeVisible, bool(mask & 1));
            QCOMPARE(l.fileTreeVisible, bool(mask & 2));
            QCOMPARE(l.addTreeVisible, bool(mask & 4));
        }
    }
};

QTEST_GUILESS_MAIN(tst_DatabasePagePresenter)
#include "tst_DatabasePagePresenter.moc"
