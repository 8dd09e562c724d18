#include "FileFaults.h"
#include "TestSupport.h"

#include "DemoDatabase.h"
#include "common/SystemErrorText.h"
#include "database/DatabasePage.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

QByteArray oldContents(const char *what)
{
    return QByteArray(what).repeated(300);
}

} // namespace

// The database page's files against real faults: the .bdt file and the two list
// text files survive a write that fails part-way, a list text file that cannot
// be written does not stop the read, and an input larger than any database is
// refused unread.
class tst_DatabaseFileSafety : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void databaseFileSurvivesAWriteThatFailsPartWay()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.takeInstrumentImage(DemoDatabase::demo()));
        const QString target = rig.dataDir.filePath(QStringLiteral("base.bdt"));
        QVERIFY(writeFile(target, oldContents("old base ")));
        QSignalSpy errors(&page, &DatabasePage::errorRaised);
        rig.session.pane().setText(QStringLiteral("before"));
        {
            const FileSizeLimit fault(500);
            page.saveInstrumentListTo(target);
        }
        QCOMPARE(errors.count(), 1);
        const QString error = errors.at(0).at(0).toString();
        QVERIFY2(error.contains(QStringLiteral("base.bdt")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("файл слишком велик")), qPrintable(error));
        QCOMPARE(readFile(target), oldContents("old base "));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("before"));
    }

    void listTextFileThatFailsIsAWarningAndTheListStillComes()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QString virList = rig.dataDir.filePath(QStringLiteral("SpisokTSinVir.txt"));
        const QString fileList = rig.dataDir.filePath(QStringLiteral("SpisokTSinFile.txt"));
        QVERIFY(writeFile(virList, oldContents("old instrument list ")));
        QVERIFY(writeFile(fileList, oldContents("old file list ")));
        const QString source = rig.dataDir.filePath(QStringLiteral("demo.bdt"));
        QVERIFY(writeFile(source, DemoDatabase::demo()));
        QSignalSpy errors(&page, &DatabasePage::errorRaised);
        QSignalSpy warnings(&page, &DatabasePage::warningRaised);

        {
            const FileSizeLimit fault(100);
            page.readInstrumentList();
            QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }, 120000));
            page.discardFileList();
            QVERIFY(page.openFileList(source));
        }
        QCOMPARE(errors.count(), 0);
        QCOMPARE(warnings.count(), 2);
        QVERIFY(warnings.at(0).at(0).toString().contains(QStringLiteral("SpisokTSinVir.txt")));
        QVERIFY(warnings.at(1).at(0).toString().contains(QStringLiteral("SpisokTSinFile.txt")));
        QCOMPARE(readFile(virList), oldContents("old instrument list "));
        QCOMPARE(readFile(fileList), oldContents("old file list "));
        QVERIFY(page.state().instrumentTreeShown);
        QVERIFY(page.state().fileTreeShown);
        QVERIFY(page.instrumentTree().nodesInOrder().size() > 0);
        QVERIFY(page.fileTree().nodesInOrder().size() > 0);
    }

    void inputLargerThanAnyDatabaseIsRefusedUnread()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        const QString huge = rig.dataDir.filePath(QStringLiteral("huge.bdt"));
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(DemoDatabase::demo()) > 0);
            QVERIFY(f.resize(qint64(1536) * 1024 * 1024));
        }
        QSignalSpy errors(&page, &DatabasePage::errorRaised);
        const qint64 peakBefore = peakResidentKiB();
        page.discardFileList();
        QVERIFY(!page.openFileList(huge));
        QCOMPARE(errors.count(), 1);
        // Header and 999 pages of 528 bytes are the most a database holds.
        QVERIFY2(errors.at(0).at(0).toString().contains(SystemErrorText::tooLarge(10 + 999 * 528)),
                 qPrintable(errors.at(0).at(0).toString()));
        QVERIFY(!page.state().fromFile);
        QVERIFY(page.fileTree().nodesInOrder().empty());
        const qint64 grownKiB = peakResidentKiB() - peakBefore;
        QVERIFY2(grownKiB < 16 * 1024, qPrintable(QString::number(grownKiB)));
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseFileSafety)
#include "tst_DatabaseFileSafety.moc"
