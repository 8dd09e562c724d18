#include "ImageBuilder.h"
#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "database/DatabaseImage.h"
#include "database/DatabasePage.h"

#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// The largest database the header can count: 998 one-page records and the
// closing page.
QByteArray largestImage()
{
    QList<QByteArray> pages;
    for (int i = 0; i < DatabaseImage::MaxPages - 1; ++i)
        pages.append(
            img::head(1, "G" + QByteArray::number(i / 100), "S", "T" + QByteArray::number(i)));
    pages.append(img::closing());
    return img::image(pages);
}

} // namespace

// A database of 999 pages, the most its three-digit header holds, is an
// ordinary database: checked, read from the instrument and kept whole.
class tst_LargestDatabase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theLargestHeaderIsTakenAndOneMoreIsNot()
    {
        const QByteArray image = largestImage();
        QCOMPARE(image.size(), DatabaseImage::pageStart(DatabaseImage::MaxPages));
        int pages = 0;
        QVERIFY(DatabaseImage::check(image, &pages) == DatabaseImage::Fault::None);
        QCOMPARE(pages, 999);
        // One page more does not fit the header's three digits.
        QByteArray over = image;
        over.replace(0, 10, img::headerFor(1000));
        over.append(img::closing());
        QVERIFY(DatabaseImage::check(over, &pages) != DatabaseImage::Fault::None);
    }

    void theInstrumentsLargestDatabaseIsReadWhole()
    {
        SimRig rig;
        const QByteArray image = largestImage();
        rig.instrument->feature<DatabaseCommands>()->setImage(image);
        QVERIFY(rig.connectFast());
        QVERIFY(rig.readInstrumentList());
        const DatabasePage &page = rig.session.databasePage();
        QCOMPARE(page.readsFailed(), 0);
        QVERIFY2(rig.statusLog.contains(QStringLiteral("Принято из прибора страниц: 999")),
                 qPrintable(rig.statusLog.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(tst_LargestDatabase)
#include "tst_LargestDatabase.moc"
