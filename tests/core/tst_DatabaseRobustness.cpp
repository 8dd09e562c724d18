#include "ImageBuilder.h"
#include "TestSupport.h"

#include "database/DatabasePage.h"
#include "database/TestSystemDatabase.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

QByteArray randomName(QRandomGenerator &rng)
{
    QByteArray name;
    const int length = rng.bounded(0, 40);
    for (int i = 0; i < length; ++i)
        name.append(static_cast<char>(rng.bounded(1, 256)));
    return name;
}

// Pages of every kind with heads that claim anything, under any header count,
// cut anywhere.
QByteArray randomImage(QRandomGenerator &rng)
{
    static const qint32 counts[] = {1, 2, 3, 0, -1, -2147483647 - 1, 2147483647, 999, 65536};
    QByteArray out;
    const int pages = rng.bounded(0, 30);
    const int headerCount = rng.bounded(0, 4) == 0 ? rng.bounded(-99, 1000) : pages;
    out = img::headerFor(headerCount);
    if (rng.bounded(0, 10) == 0)
        out.replace(7, 3, "x1 ");
    for (int k = 0; k < pages; ++k) {
        switch (rng.bounded(0, 5)) {
        case 0:
        case 1:
            out += img::head(counts[rng.bounded(0, 9)], randomName(rng), randomName(rng),
                             randomName(rng).left(31), static_cast<char>(rng.bounded(0, 256)));
            break;
        case 2:
            out += img::continuation();
            break;
        case 3:
            out += img::closing(static_cast<char>(k));
            break;
        default:
            out += img::other();
        }
    }
    if (rng.bounded(0, 3) == 0)
        out.truncate(rng.bounded(0, static_cast<int>(out.size()) + 1));
    return out;
}

} // namespace

class tst_DatabaseRobustness : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void randomImagesBecomeSoundListsOrNone()
    {
        QRandomGenerator rng(20080606);
        for (int round = 0; round < 1500; ++round) {
            TestSystemDatabase db;
            const QByteArray image = randomImage(rng);
            const auto which =
                round % 2 ? TestSystemDatabase::Which::File : TestSystemDatabase::Which::Instrument;
            const auto taken = db.take(which, image);
            const DatabaseList &list = round % 2 ? db.file() : db.instrument();
            if (taken.fault != DatabaseImage::Fault::None) {
                QVERIFY(!list.exists());
                continue;
            }
            const QByteArray &rebuilt = list.image();
            QVERIFY(rebuilt.size() <= image.size());
            QCOMPARE(DatabaseImage::headerCount(rebuilt), list.pageCount());
            QCOMPARE(rebuilt.size(), 10 + qint64(list.pageCount()) * 528);
            QVERIFY(list.tsCount() <= list.pageCount() - 1);
            // Taking the rebuilt image again changes nothing.
            TestSystemDatabase again;
            again.take(which, rebuilt);
            QCOMPARE((round % 2 ? again.file() : again.instrument()).image(), rebuilt);
            const auto other =
                round % 2 ? TestSystemDatabase::Which::Instrument : TestSystemDatabase::Which::File;
            db.take(other, randomImage(rng));
            if (db.buildAdditionalList() == TestSystemDatabase::AdditionalResult::Formed)
                QCOMPARE(db.additional().image().size(), qint64(db.additional().pageCount()) * 528);
        }
    }

    void randomFilesNeverCrashTheFlows()
    {
        QRandomGenerator rng(4242);
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        const QString path = rig.dataDir.filePath(QStringLiteral("random.bdt"));
        for (int round = 0; round < 300; ++round) {
            const QByteArray bytes = randomImage(rng);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            if (round % 3 == 0)
                page.takeInstrumentImage(randomImage(rng));
            if (page.openFileList(path)) {
                const DatabaseList &file = page.database().file();
                QCOMPARE(file.image().size(), 10 + qint64(file.pageCount()) * 528);
            }
            if (page.state().additionalTs.value_or(0) > 0)
                page.addToInstrumentList();
            const auto nodes = page.instrumentTree().nodesInOrder();
            if (!nodes.empty())
                page.selectInstrumentNodes(
                    {nodes[static_cast<size_t>(rng.bounded(0, static_cast<int>(nodes.size())))]
                         ->path()});
            page.deleteSelected();
            const DatabaseList &vir = page.database().instrument();
            if (vir.exists())
                QCOMPARE(DatabaseImage::headerCount(vir.image()), vir.pageCount());
        }
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseRobustness)
#include "tst_DatabaseRobustness.moc"
