#include "ImageBuilder.h"

#include "common/Cp1251.h"
#include "database/NameCollation.h"
#include "database/TestSystemDatabase.h"

#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

using Which = TestSystemDatabase::Which;

QByteArray z(const char *name)
{
    return QByteArray(name) + '\0';
}

NodePath path(std::initializer_list<const char *> names)
{
    NodePath out;
    for (const char *n : names)
        out << z(n);
    return out;
}

QStringList shownNames(const TSTree &tree)
{
    QStringList out;
    for (const TSNode *n : tree.nodesInOrder())
        out << QString(n->level(), QLatin1Char('>')) + n->text();
    return out;
}

int pagesOf(const QByteArray &image)
{
    return static_cast<int>((image.size() - 10) / 528);
}

} // namespace

class tst_TestSystemDatabase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void closingPageOnlyParsesEmptyAndRebuildsToOnePageHeader()
    {
        TestSystemDatabase db;
        QCOMPARE(db.take(Which::Instrument, img::image({img::closing('Q')})).fault,
                 DatabaseImage::Fault::None);
        const DatabaseList &list = db.instrument();
        QCOMPARE(list.tsCount(), 0);
        QCOMPARE(list.pageCount(), 1);
        QVERIFY(list.tree().isEmpty());
        QCOMPARE(list.image(), QByteArray("VirBDTS  1") + img::closing('Q'));
    }

    void repeatedRecordIsNotListedAndLeavesTheRebuiltImage()
    {
        TestSystemDatabase db;
        const QByteArray first = img::head(2, "G", "S", "T", 'a');
        const QByteArray repeat = img::head(2, "G", "S", "T", 'b');
        const QByteArray next = img::head(1, "G", "S", "U", 'd');
        const QByteArray image = img::image(
            {first, img::continuation('1'), repeat, img::continuation('2'), next, img::closing()});
        const auto parsed = db.ParseDatabase(image, 6);
        QCOMPARE(parsed.tree.testSystems().size(), size_t(2));
        QCOMPARE(parsed.pagesWalked, 6);
        db.take(Which::Instrument, image);
        QCOMPARE(db.instrument().pageCount(), 4);
        QCOMPARE(db.instrument().tsCount(), 2);
        QCOMPARE(db.instrument().image(),
                 QByteArray("VirBDTS  4") + first + img::continuation('1') + next + img::closing());
    }

    void continuationPagesArePassedOverAndTheNextRecordListed()
    {
        TestSystemDatabase db;
        const auto parsed = db.ParseDatabase(
            img::image({img::head(3, "A", "S", "T"), img::continuation(), img::continuation(),
                        img::head(1, "B", "S", "T"), img::closing()}),
            5);
        QCOMPARE(parsed.tree.testSystems().size(), size_t(2));
        const TSNode *b = parsed.tree.findPath({"B", "S", "T"});
        QVERIFY(b);
        QCOMPARE(b->locator.Position, 10 + 3 * 528);
        QCOMPARE(b->locator.Pages, 1);
        const TSNode *a = parsed.tree.findPath({"A", "S", "T"});
        QCOMPARE(a->locator.Position, 10);
        QCOMPARE(a->locator.Pages, 3);
        QVERIFY(a->locator.whole && b->locator.whole);
    }

    void recordInterruptedByAPageOfAnotherKindLetsTheNextRecordPageStartAHead()
    {
        TestSystemDatabase db;
        const QByteArray a = img::head(3, "A", "S", "T", 'a');
        const QByteArray b = img::head(1, "B", "S", "T", 'b');
        // A claims three pages: its continuation, then a stray page; B follows.
        const QByteArray image =
            img::image({a, img::continuation('1'), img::other('o'), b, img::closing()});
        const auto parsed = db.ParseDatabase(image, 5);
        QVERIFY(parsed.tree.findPath({"B", "S", "T"}));
        QCOMPARE(parsed.tree.findPath({"B", "S", "T"})->locator.Position, 10 + 3 * 528);
        // A's span holds only its own pages and the stray one: it is carried whole.
        db.take(Which::Instrument, image);
        QCOMPARE(db.instrument().image(), QByteArray("VirBDTS  5") + a + img::continuation('1') +
                                              img::other('o') + b + img::closing());

        // Cut short by the stray page, A's span would reach B: A is passed over.
        const QByteArray longA = img::head(4, "A", "S", "T", 'a');
        const auto taken = db.take(
            Which::Instrument,
            img::image({longA, img::continuation('1'), img::other('o'), b, img::closing()}));
        QCOMPARE(taken.passedOver, 1);
        QCOMPARE(db.instrument().image(), QByteArray("VirBDTS  2") + b + img::closing());
    }

    void pageOfAnotherKindIsPassedOverAndGoneAfterTheRebuild()
    {
        TestSystemDatabase db;
        const QByteArray a = img::head(1, "A", "S", "T", 'a');
        const QByteArray b = img::head(1, "B", "S", "T", 'b');
        db.take(Which::Instrument, img::image({a, img::other(), b, img::closing()}));
        QCOMPARE(db.instrument().tsCount(), 2);
        QCOMPARE(db.instrument().image(), QByteArray("VirBDTS  3") + a + b + img::closing());
    }

    void rebuildPutsRecordsInTheOrderOfTheSortedTree()
    {
        TestSystemDatabase db;
        const QByteArray cyr = Cp1251::encode(QStringLiteral("Б"));
        const QList<QByteArray> names = {cyr, "B", "b", "a-c", "ab"};
        QList<QByteArray> pages;
        for (const QByteArray &n : names)
            pages << img::head(1, n, "S", "T", n.at(0));
        db.take(Which::Instrument, img::image(pages + QList<QByteArray>{img::closing()}));
        // Lower case before upper, Latin before Cyrillic, the hyphen nearly ignored.
        const QList<QByteArray> expected = {"ab", "a-c", "b", "B", cyr};
        QByteArray want("VirBDTS  6");
        for (const QByteArray &n : expected)
            want += img::head(1, n, "S", "T", n.at(0));
        want += img::closing();
        QCOMPARE(db.instrument().image(), want);
        QCOMPARE(shownNames(db.instrument().tree()).first(), QStringLiteral("ab"));
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
        db.take(Which::Instrument,
                img::image({img::head(1, QByteArray(21, 'Q'), "S", "T"), img::closing()}));
        const TSTree &tree = db.instrument().tree();
        QCOMPARE(db.instrument().tsCount(), 1);
        QCOMPARE(tree.topLevel().size(), size_t(1));
        QCOMPARE(tree.topLevel().front()->name, QByteArray());
        QCOMPARE(tree.topLevel().front()->children.front()->name, z("S"));
    }

    void headPageCountOfZeroOrBelowCountsAsOnePage()
    {
        TestSystemDatabase db;
        const QByteArray a = img::head(0, "A", "S", "T", 'a');
        const QByteArray b = img::head(-7, "B", "S", "T", 'b');
        db.take(Which::Instrument, img::image({a, b, img::closing()}));
        QCOMPARE(db.instrument().tsCount(), 2);
        QCOMPARE(db.instrument().image(), QByteArray("VirBDTS  3") + a + b + img::closing());
    }

    void recordRunningIntoTheClosingPageIsDroppedByTheRebuild()
    {
        TestSystemDatabase db;
        // Nine pages would run past the end; two would take the closing page as its own.
        for (qint32 pages : {9, 2}) {
            const auto taken = db.take(
                Which::Instrument, img::image({img::head(1, "A", "S", "T", 'a'),
                                               img::head(pages, "B", "S", "T"), img::closing()}));
            QCOMPARE(taken.passedOver, 1);
            QCOMPARE(db.instrument().tsCount(), 1);
            QCOMPARE(db.instrument().image(),
                     QByteArray("VirBDTS  2") + img::head(1, "A", "S", "T", 'a') + img::closing());
        }
    }

    void overlappingRecordSpansNeverMultiplyTheImage()
    {
        // Every head counts far past the next record, records parted by stray pages.
        QList<QByteArray> pages;
        for (int i = 0; i < 20; ++i)
            pages << img::head(30, "G", "S", "T" + QByteArray::number(i)) << img::other();
        pages << img::head(1, "G", "S", "Fine") << img::closing();
        TestSystemDatabase db;
        const QByteArray source = img::image(pages);
        const auto taken = db.take(Which::File, source);
        QCOMPARE(taken.passedOver, 20);
        QCOMPARE(db.file().image(),
                 QByteArray("VirBDTS  2") + img::head(1, "G", "S", "Fine") + img::closing());
        QVERIFY(db.file().image().size() <= source.size());
    }

    void parseStopsWhereTheBytesEnd()
    {
        TestSystemDatabase db;
        const auto parsed =
            db.ParseDatabase(img::image({img::head(1, "A", "S", "T"), img::closing()}), 500);
        QCOMPARE(parsed.pagesWalked, 2);
        QCOMPARE(parsed.tree.testSystems().size(), size_t(1));
    }

    void imagesThatFailTheChecksNeverBecomeAList()
    {
        TestSystemDatabase db;
        const QByteArray good = img::image({img::head(1, "A", "S", "T"), img::closing()});
        db.take(Which::File, good);
        const struct
        {
            QByteArray bytes;
            DatabaseImage::Fault fault;
        } bad[] = {
            {"NotBDTS  2" + good.mid(10), DatabaseImage::Fault::NoSignature},
            {"VirBDTSab2" + good.mid(10), DatabaseImage::Fault::CountNotNumber},
            {"VirBDTS  1" + good.mid(10), DatabaseImage::Fault::NotClosed},
            {"VirBDTS  3" + good.mid(10), DatabaseImage::Fault::NotClosed},
            {"VirBDTS  0" + good.mid(10), DatabaseImage::Fault::NotClosed},
            {"VirBDTS -2" + good.mid(10), DatabaseImage::Fault::NotClosed},
            {good.left(good.size() - 1), DatabaseImage::Fault::NotClosed},
        };
        for (const auto &b : bad) {
            QCOMPARE(db.take(Which::File, b.bytes).fault, b.fault);
            QCOMPARE(db.file().image(), good);
        }
        // Bytes behind the counted pages are not part of the database.
        QCOMPARE(db.take(Which::File, good + "trailing").fault, DatabaseImage::Fault::None);
        QCOMPARE(db.file().image(), good);
    }

    void sameTestSystemUnderAnotherGroupGoesToTheAdditionalList()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument, img::image({img::head(1, "G1", "S", "T"), img::closing('I')}));
        const QByteArray g2 = img::head(2, "G2", "S", "T", 'f');
        db.take(Which::File, img::image({img::head(1, "G1", "S", "T"), g2, img::continuation('k'),
                                         img::closing('F')}));
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        const DatabaseList &add = db.additional();
        QCOMPARE(add.tsCount(), 1);
        QCOMPARE(add.pageCount(), 3);
        QVERIFY(add.tree().findPath({"G2", "S", "T"}));
        // The closing page is the one captured last: the file's rebuild.
        QCOMPARE(add.image(), g2 + img::continuation('k') + img::closing('F'));
    }

    void testSystemMissingOnlyByNameGoesToTheAdditionalList()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument, img::image({img::head(1, "G", "S", "T1"), img::closing('I')}));
        const QByteArray t2 = img::head(1, "G", "S", "T2", 'f');
        db.take(Which::File, img::image({img::head(1, "G", "S", "T1"), t2, img::closing('F')}));
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        QCOMPARE(db.additional().tsCount(), 1);
        QVERIFY(db.additional().tree().findPath({"G", "S", "T2"}));
        QCOMPARE(db.additional().image(), t2 + img::closing('F'));
    }

    void fileWhoseLastRecordEndsAtItsLastByteIsRefused()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument, img::image({img::closing('I')}));
        const QByteArray unclosed = img::image(
            {img::head(1, "A", "S", "T"), img::head(2, "B", "S", "T"), img::continuation()});
        QCOMPARE(db.take(Which::File, unclosed).fault, DatabaseImage::Fault::NotClosed);
        QVERIFY(!db.file().exists());
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::NotFormed);
        QVERIFY(!db.additional().exists());
    }

    void withNothingMissingTheAdditionalListHoldsOnlyTheClosingPage()
    {
        TestSystemDatabase db;
        const QByteArray both = img::image({img::head(1, "G", "S", "T"), img::closing('C')});
        db.take(Which::Instrument, both);
        db.take(Which::File, both);
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        QCOMPARE(db.additional().pageCount(), 1);
        QCOMPARE(db.additional().tsCount(), 0);
        QCOMPARE(db.additional().image(), img::closing('C'));
        QCOMPARE(db.addAdditional(), TestSystemDatabase::AddResult::NothingToAdd);
    }

    void additionalListOutlivesTheFilesBytesButNeverOffersATestSystemTwice()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument, img::image({img::closing()}));
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::NotFormed);
        QVERIFY(!db.additional().exists());
        const QByteArray t = img::head(1, "A", "S", "T", 't');
        const QByteArray u = img::head(2, "A", "S", "U", 'u');
        db.take(Which::File, img::image({t, u, img::continuation('k'), img::closing('F')}));
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        // The additional list holds copies of the records: the file's bytes may go.
        db.discardFile();
        QVERIFY(!db.file().exists());
        QVERIFY(db.additional().exists());
        QCOMPARE(db.additional().tsCount(), 2);
        QCOMPARE(db.additional().image(), t + u + img::continuation('k') + img::closing('F'));
        // Deleting from the instrument list keeps it as it is.
        QCOMPARE(db.removeNodes({}), 0);
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        QCOMPARE(db.additional().tsCount(), 2);
        QCOMPARE(db.addAdditional(), TestSystemDatabase::AddResult::Added);
        QCOMPARE(db.instrument().tsCount(), 2);
        // The closing page is the one captured last, by the delete's rebuild.
        QCOMPARE(db.instrument().image(),
                 img::image({t, u, img::continuation('k'), img::closing('Z')}));
        // What was added is no longer missing: a second addition has nothing.
        QCOMPARE(db.additional().tsCount(), 0);
        QCOMPARE(db.additional().image(), img::closing('Z'));
        QCOMPARE(db.addAdditional(), TestSystemDatabase::AddResult::NothingToAdd);
        QCOMPARE(db.instrument().tsCount(), 2);
    }

    void additionalListWithoutItsFileDropsWhatANewReadHolds()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument, img::image({img::closing('I')}));
        const QByteArray t = img::head(1, "A", "S", "T", 't');
        const QByteArray u = img::head(1, "A", "S", "U", 'u');
        db.take(Which::File, img::image({t, u, img::closing('F')}));
        db.buildAdditionalList();
        db.discardFile();
        db.take(Which::Instrument, img::image({img::head(1, "A", "S", "T"), img::closing('J')}));
        QCOMPARE(db.buildAdditionalList(), TestSystemDatabase::AdditionalResult::Formed);
        QCOMPARE(db.additional().tsCount(), 1);
        QVERIFY(db.additional().tree().findPath({"A", "S", "U"}));
        QCOMPARE(db.additional().image(), u + img::closing('J'));
    }

    void addingReachesNineHundredNinetyNinePagesButNotAThousand()
    {
        for (const int extra : {99, 100}) { // 900 pages of its own, closing included
            TestSystemDatabase db;
            QList<QByteArray> own;
            for (int i = 0; i < 899; ++i)
                own << img::head(1, "Own", "S", "T" + QByteArray::number(i));
            own << img::closing('I');
            db.take(Which::Instrument, img::image(own));
            QList<QByteArray> more;
            for (int i = 0; i < extra; ++i)
                more << img::head(1, "Extra", "S", "T" + QByteArray::number(i));
            more << img::closing('F');
            db.take(Which::File, img::image(more));
            db.buildAdditionalList();
            const QByteArray before = db.instrument().image();
            int pages = 0;
            const auto result = db.addAdditional(&pages);
            QCOMPARE(pages, 900 + extra);
            if (extra == 99) {
                QCOMPARE(result, TestSystemDatabase::AddResult::Added);
                QCOMPARE(db.instrument().image().left(10), QByteArray("VirBDTS999"));
                QCOMPARE(db.instrument().pageCount(), 999);
                QCOMPARE(db.instrument().tsCount(), 998);
                QCOMPARE(db.instrument().image().right(528), img::closing('F'));
                QCOMPARE(db.additional().tsCount(), 0);
            } else {
                QCOMPARE(result, TestSystemDatabase::AddResult::TooManyPages);
                QCOMPARE(db.instrument().image(), before);
            }
        }
    }

    void listTextHasOneLinePerNodeWithTabsZeroBytesAndCrLf()
    {
        TestSystemDatabase db;
        const QByteArray g = Cp1251::encode(QStringLiteral("Гепатиты"));
        db.take(Which::File, img::image({img::head(1, g, "HBV", "HBsAg"), img::closing()}));
        QCOMPARE(TestSystemDatabase::listText(db.file().tree()),
                 g + QByteArray("\0\r\n\tHBV\0\r\n\t\tHBsAg\0\r\n", 20));
    }

    void removingASelectedGroupRemovesEveryTestSystemBelowIt()
    {
        TestSystemDatabase db;
        db.take(Which::Instrument,
                img::image({img::head(1, "A", "S1", "T1"), img::head(1, "A", "S2", "T2"),
                            img::head(1, "B", "S", "T3"), img::closing()}));
        // The subgroup lies inside the selected group: removed once, counted once.
        QCOMPARE(db.removeNodes({path({"A"}), path({"A", "S1"})}), 2);
        QCOMPARE(db.instrument().tsCount(), 1);
        QCOMPARE(db.instrument().image(),
                 QByteArray("VirBDTS  2") + img::head(1, "B", "S", "T3") + img::closing());
    }

    void subgroupSelectedWithATestSystemInsideItIsRemovedOnce()
    {
        TestSystemDatabase db;
        const QByteArray keep = img::head(1, "A", "S2", "K");
        db.take(Which::Instrument,
                img::image({img::head(2, "A", "S1", "T1"), img::continuation(),
                            img::head(1, "A", "S1", "T2"), keep, img::closing()}));
        QCOMPARE(db.removeNodes({path({"A", "S1"}), path({"A", "S1", "T2"}), path({"Nowhere"})}),
                 2);
        QCOMPARE(db.instrument().image(), QByteArray("VirBDTS  2") + keep + img::closing());
        QCOMPARE(pagesOf(db.instrument().image()), db.instrument().pageCount());
        QVERIFY(!db.instrument().tree().findPath({"A", "S1"}));
    }
};

QTEST_GUILESS_MAIN(tst_TestSystemDatabase)
#include "tst_TestSystemDatabase.moc"
