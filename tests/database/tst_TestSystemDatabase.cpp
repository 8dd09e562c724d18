#include "ImageBuilder.h"

#include "common/Cp1251.h"
#include "database/NameCollation.h"
#include "database/TestSystemDatabase.h"

#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

void load(DatabaseList &list, const QByteArray &image)
{
    list.setImage(image);
    list.pageCount = static_cast<qint32>((image.size() - 10) / 528);
    list.locators.assign(static_cast<size_t>(list.pageCount), TSLocator{});
}

QByteArray z(const char *name)
{
    return QByteArray(name) + '\0';
}

QStringList shownNames(const TSTree &tree)
{
    QStringList out;
    for (const TSNode *n : tree.nodesInOrder())
        out << QString(n->level(), QLatin1Char('>')) + n->text();
    return out;
}

} // namespace

class TestSystemDatabaseTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void closingPageOnlyParsesEmptyAndRebuildsToOnePageHeader()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::closing('Q')}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 0);
        QCOMPARE(list.pageCount, 1);
        QVERIFY(list.tree.isEmpty());
        db.RebuildDatabase(list);
        QCOMPARE(list.image.left(10), QByteArray("VirBDTS  1"));
        QCOMPARE(list.image, QByteArray("VirBDTS  1") + img::closing('Q'));
        QCOMPARE(list.pageCount, 1);
    }

    void repeatedRecordIsNotListedAndLeavesTheRebuiltImage()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        const QByteArray first = img::head(2, "G", "S", "T", 'a');
        const QByteArray repeat = img::head(2, "G", "S", "T", 'b');
        const QByteArray next = img::head(1, "G", "S", "U", 'd');
        load(list, img::image({first, img::continuation('1'), repeat, img::continuation('2'), next,
                               img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 2);
        QCOMPARE(list.pageCount, 6);
        db.RebuildDatabase(list);
        QCOMPARE(list.pageCount, 4);
        QCOMPARE(list.tsCount, 2);
        QCOMPARE(list.image,
                 QByteArray("VirBDTS  4") + first + img::continuation('1') + next + img::closing());
    }

    void continuationPagesArePassedOverAndTheNextRecordListed()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::head(3, "A", "S", "T"), img::continuation(),
                               img::continuation(), img::head(1, "B", "S", "T"), img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 2);
        const TSNode *b = list.tree.findPath({"B", "S", "T"});
        QVERIFY(b);
        QCOMPARE(list.locators[static_cast<size_t>(b->locator)].Position, 10 + 3 * 528);
        QCOMPARE(list.locators[static_cast<size_t>(b->locator)].Pages, 1);
        const TSNode *a = list.tree.findPath({"A", "S", "T"});
        QCOMPARE(list.locators[static_cast<size_t>(a->locator)].Position, 10);
        QCOMPARE(list.locators[static_cast<size_t>(a->locator)].Pages, 3);
    }

    void pageOfAnotherKindIsPassedOverAndGoneAfterTheRebuild()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        const QByteArray a = img::head(1, "A", "S", "T", 'a');
        const QByteArray b = img::head(1, "B", "S", "T", 'b');
        load(list, img::image({a, img::other(), b, img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 2);
        db.RebuildDatabase(list);
        QCOMPARE(list.image, QByteArray("VirBDTS  3") + a + b + img::closing());
    }

    void rebuildPutsRecordsInTheOrderOfTheSortedTree()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        const QByteArray cyr = Cp1251::encode(QStringLiteral("Б"));
        const QList<QByteArray> names = {cyr, "B", "b", "a-c", "ab"};
        QList<QByteArray> pages;
        for (const QByteArray &n : names)
            pages << img::head(1, n, "S", "T", n.at(0));
        load(list, img::image(pages + QList<QByteArray>{img::closing()}));
        db.ParseDatabase(list);
        db.RebuildDatabase(list);
        // Lower case before upper, Latin before Cyrillic, the hyphen nearly ignored.
        const QList<QByteArray> expected = {"ab", "a-c", "b", "B", cyr};
        QByteArray want("VirBDTS  6");
        for (const QByteArray &n : expected)
            want += img::head(1, n, "S", "T", n.at(0));
        want += img::closing();
        QCOMPARE(list.image, want);
        QCOMPARE(shownNames(list.tree).first(), QStringLiteral("ab"));
    }

    void collationBreaksTiesOnTheWholeName()
    {
        NameCollation c;
        QVERIFY(c.compare(z("ab"), z("a-b")) != 0);
        QVERIFY(c.compare(z("a-b"), z("ac")) < 0);
        QVERIFY(c.compare(z("a'c"), z("ab")) > 0);
        QVERIFY(c.compare(z("x"), z("X")) < 0);
        QVERIFY(c.compare(z("z"), Cp1251::encode(QStringLiteral("а")) + '\0') < 0);
        QCOMPARE(c.compare(z("same"), z("same")), 0);
    }

    void nameFieldOfTwentyOneNonZeroBytesIsEmpty()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::head(1, QByteArray(21, 'Q'), "S", "T"), img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 1);
        QCOMPARE(list.tree.topLevel().size(), size_t(1));
        QCOMPARE(list.tree.topLevel().front()->name, QByteArray());
        QCOMPARE(list.tree.topLevel().front()->children.front()->name, z("S"));
    }

    void headPageCountOfZeroOrBelowCountsAsOnePage()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        const QByteArray a = img::head(0, "A", "S", "T", 'a');
        const QByteArray b = img::head(-7, "B", "S", "T", 'b');
        load(list, img::image({a, b, img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(list.tsCount, 2);
        db.RebuildDatabase(list);
        QCOMPARE(list.tsCount, 2);
        QCOMPARE(list.image, QByteArray("VirBDTS  3") + a + b + img::closing());
    }

    void recordRunningPastTheImageIsDroppedByTheRebuild()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::head(1, "A", "S", "T", 'a'), img::head(9, "B", "S", "T"),
                               img::closing()}));
        db.ParseDatabase(list);
        db.RebuildDatabase(list);
        QCOMPARE(list.tsCount, 1);
        QCOMPARE(list.image,
                 QByteArray("VirBDTS  2") + img::head(1, "A", "S", "T", 'a') + img::closing());
    }

    void parseStopsWhereTheBytesEnd()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::head(1, "A", "S", "T"), img::closing()}));
        list.pageCount = 500;
        db.ParseDatabase(list);
        QCOMPARE(list.pageCount, 2);
        QCOMPARE(list.tsCount, 1);
    }

    void sameTestSystemUnderAnotherGroupGoesToTheAdditionalList()
    {
        TestSystemDatabase db;
        load(db.instrument(), img::image({img::head(1, "G1", "S", "T"), img::closing('I')}));
        db.ParseDatabase(db.instrument());
        db.RebuildDatabase(db.instrument());
        const QByteArray g2 = img::head(2, "G2", "S", "T", 'f');
        load(db.file(), img::image({img::head(1, "G1", "S", "T"), g2, img::continuation('k'),
                                    img::closing('F')}));
        db.ParseDatabase(db.file());
        db.RebuildDatabase(db.file());
        QCOMPARE(db.FormAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        const DatabaseList &add = db.additional();
        QCOMPARE(add.tsCount, 1);
        QCOMPARE(add.pageCount, 3);
        QVERIFY(add.tree.findPath({"G2", "S", "T"}));
        // The closing page is the one captured last: the file's rebuild.
        QCOMPARE(add.image, g2 + img::continuation('k') + img::closing('F'));
    }

    void withNothingMissingTheAdditionalListHoldsOnlyTheClosingPage()
    {
        TestSystemDatabase db;
        const QByteArray both = img::image({img::head(1, "G", "S", "T"), img::closing('C')});
        load(db.instrument(), both);
        db.ParseDatabase(db.instrument());
        load(db.file(), both);
        db.ParseDatabase(db.file());
        QCOMPARE(db.FormAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        QCOMPARE(db.additional().pageCount, 1);
        QCOMPARE(db.additional().tsCount, 0);
        QCOMPARE(db.additional().image, img::closing('C'));
    }

    void additionalListNeedsBothListsBytes()
    {
        TestSystemDatabase db;
        load(db.instrument(), img::image({img::closing()}));
        QCOMPARE(db.FormAdditionalList(), TestSystemDatabase::AdditionalResult::NotFormed);
        QVERIFY(!db.additional().hasImage);
    }

    void listTextHasOneLinePerNodeWithTabsZeroBytesAndCrLf()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.file();
        const QByteArray g = Cp1251::encode(QStringLiteral("Гепатиты"));
        load(list, img::image({img::head(1, g, "HBV", "HBsAg"), img::closing()}));
        db.ParseDatabase(list);
        QCOMPARE(TestSystemDatabase::listText(list.tree),
                 g + QByteArray("\0\r\n\tHBV\0\r\n\t\tHBsAg\0\r\n", 20));
    }

    void removingASelectedGroupRemovesEveryTestSystemBelowIt()
    {
        TestSystemDatabase db;
        DatabaseList &list = db.instrument();
        load(list, img::image({img::head(1, "A", "S1", "T1"), img::head(1, "A", "S2", "T2"),
                               img::head(1, "B", "S", "T3"), img::closing()}));
        db.ParseDatabase(list);
        list.tree.findPath({"A"})->selected = true;
        list.tree.findPath({"A", "S1"})->selected = true; // inside the group: no double delete
        TestSystemDatabase::RemoveSelectedNodes(list.tree);
        db.RebuildDatabase(list);
        QCOMPARE(list.tsCount, 1);
        QCOMPARE(list.image,
                 QByteArray("VirBDTS  2") + img::head(1, "B", "S", "T3") + img::closing());
    }
};

QTEST_GUILESS_MAIN(TestSystemDatabaseTest)
#include "tst_TestSystemDatabase.moc"
