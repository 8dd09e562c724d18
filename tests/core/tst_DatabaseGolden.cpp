#include "TestSupport.h"

#include "database/DatabasePage.h"
#include "database/TestSystemDatabase.h"

#include <QFile>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

QByteArray golden(const QString &name)
{
    QFile f(testDataPath(QStringLiteral("database/") + name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing golden file %s", qPrintable(f.fileName()));
    return f.readAll();
}

} // namespace

// Images made by tests/data/database/make_golden.py, with what parse + rebuild
// must turn them into, byte for byte.
class tst_DatabaseGolden : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseThenRebuildGivesTheGoldenBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("testSystems");
        QTest::newRow("mixed") << QStringLiteral("mixed") << 5;
        QTest::newRow("closing-only") << QStringLiteral("closing-only") << 0;
        QTest::newRow("punctuation") << QStringLiteral("punctuation") << 3;
    }

    void parseThenRebuildGivesTheGoldenBytes()
    {
        QFETCH(QString, name);
        QFETCH(int, testSystems);
        const QByteArray input = golden(name + QStringLiteral(".bdt"));
        const QByteArray expected = golden(name + QStringLiteral(".rebuilt.bdt"));
        TestSystemDatabase db;
        QCOMPARE(db.take(TestSystemDatabase::Which::File, input).passedOver, 0);
        QCOMPARE(db.file().image(), expected);
        QCOMPARE(db.file().tsCount(), testSystems);
        // A rebuilt image is its own fixed point.
        db.take(TestSystemDatabase::Which::File, expected);
        QCOMPARE(db.file().image(), expected);
    }

    void readingAGoldenFileHoldsTheRebuiltBytes()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.openFileList(testDataPath(QStringLiteral("database/mixed.bdt"))));
        QCOMPARE(page.database().file().image(), golden(QStringLiteral("mixed.rebuilt.bdt")));
        QCOMPARE(page.state().fileTs, 5);
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseGolden)
#include "tst_DatabaseGolden.moc"
