#include "TestSupport.h"

#include "DemoDatabase.h"
#include "database/DatabasePage.h"
#include "database/DatabaseTreeModel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace kalent;
using namespace kalent::test;

namespace {

// Every row of the model, depth first, as the node identity it carries.
QList<NodePath> rowsOf(const QAbstractItemModel &model, const QModelIndex &parent = {})
{
    QList<NodePath> out;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        out.append(index.data(DatabaseTreeModel::PathRole).value<QByteArrayList>());
        out.append(rowsOf(model, index));
    }
    return out;
}

// The same walk, as the names the rows show.
QStringList shownOf(const QAbstractItemModel &model, const QModelIndex &parent = {})
{
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        out.append(index.data().toString());
        out.append(shownOf(model, index));
    }
    return out;
}

QList<NodePath> nodesOf(const TSTree &tree)
{
    QList<NodePath> out;
    for (const TSNode *n : tree.nodesInOrder())
        out.append(n->path());
    return out;
}

QStringList namesOf(const TSTree &tree)
{
    QStringList out;
    for (const TSNode *n : tree.nodesInOrder())
        out.append(n->text());
    return out;
}

// A file with some of the instrument's demo records and three it lacks.
QByteArray fileImage()
{
    DemoDatabase db;
    db.addRecord(
        {QStringLiteral("ВИЧ"), QStringLiteral("Антитела"), QStringLiteral("ДС-ИФА-ВИЧ-АГАТ"), 1});
    db.addRecord(
        {QStringLiteral("Гепатиты"), QStringLiteral("Гепатит A"), QStringLiteral("ВГА-IgM"), 1});
    db.addRecord({QStringLiteral("Новые"), QStringLiteral("Первая"), QStringLiteral("N1"), 2});
    db.addRecord({QStringLiteral("Новые"), QStringLiteral("Первая"), QStringLiteral("N2"), 1});
    db.addRecord({QStringLiteral("ВИЧ"), QStringLiteral("Антитела"), QStringLiteral("N3"), 1});
    return db.image();
}

struct PageUnderTest
{
    SimRig rig;
    DatabasePage &page = rig.session.databasePage();
    QString filePath;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;

    PageUnderTest()
    {
        filePath = rig.dataDir.filePath(QStringLiteral("file.bdt"));
        QFile f(filePath);
        if (!f.open(QIODevice::WriteOnly) || f.write(fileImage()) < 0)
            qFatal("cannot write the file list");
        // Qt's own checks of every signal and answer the models give.
        for (QAbstractItemModel *m : {static_cast<QAbstractItemModel *>(&page.instrumentModel()),
                                      static_cast<QAbstractItemModel *>(&page.fileModel()),
                                      static_cast<QAbstractItemModel *>(&page.additionalModel())})
            testers.push_back(std::make_unique<QAbstractItemModelTester>(
                m, QAbstractItemModelTester::FailureReportingMode::QtTest));
    }

    bool read() { return rig.readInstrumentList(); }

    // The node in the middle of the instrument tree, selected and deleted.
    void deleteOne()
    {
        const auto nodes = page.instrumentTree().nodesInOrder();
        if (!nodes.empty())
            page.selectInstrumentNodes({nodes[nodes.size() / 2]->path()});
        page.deleteSelected();
    }

    bool step(const QString &op)
    {
        if (op == QLatin1String("read"))
            return read();
        if (op == QLatin1String("file")) {
            page.discardFileList();
            return page.openFileList(filePath);
        }
        if (op == QLatin1String("cancel")) {
            page.discardFileList();
        } else if (op == QLatin1String("delete")) {
            deleteOne();
        } else if (op == QLatin1String("add")) {
            page.addToInstrumentList();
        } else {
            qFatal("unknown step %s", qPrintable(op));
        }
        return true;
    }
};

} // namespace

class tst_DatabaseTreeModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowsAreTheListsNodesAfterAnySequence_data()
    {
        QTest::addColumn<QStringList>("steps");
        const auto row = [](const char *name, const char *steps) {
            QTest::newRow(name) << QString::fromLatin1(steps).split(QLatin1Char(' '));
        };
        row("reads and deletes", "read delete delete read delete");
        row("add, then delete what was added", "read file add delete delete add");
        row("file first", "file read add delete");
        row("cancelled file, then add and delete", "read file cancel add delete add file add");
        row("cancelled file, then a new read", "read file cancel read add delete read");
        row("cancelled file before any read", "cancel read file cancel delete");
    }

    void rowsAreTheListsNodesAfterAnySequence()
    {
        QFETCH(QStringList, steps);
        PageUnderTest t;
        QVERIFY(t.rig.connectFast());
        const auto nodeObjects = [&t] {
            QList<std::vector<TSNode *>> out;
            for (const DatabaseList *list :
                 {&t.page.database().instrument(), &t.page.database().file(),
                  &t.page.database().additional()})
                out.append(list->tree().nodesInOrder());
            return out;
        };
        for (const QString &op : steps) {
            const QList<std::vector<TSNode *>> before = nodeObjects();
            QList<std::shared_ptr<QSignalSpy>> resets;
            for (QAbstractItemModel *m :
                 {static_cast<QAbstractItemModel *>(&t.page.instrumentModel()),
                  static_cast<QAbstractItemModel *>(&t.page.fileModel()),
                  static_cast<QAbstractItemModel *>(&t.page.additionalModel())})
                resets.append(std::make_shared<QSignalSpy>(m, &QAbstractItemModel::modelReset));
            QVERIFY2(t.step(op), qPrintable(op));
            // Nodes made anew (the old ones gone) are told as a reset, so no view
            // keeps a row of a node that is no more.
            const QList<std::vector<TSNode *>> after = nodeObjects();
            for (int i = 0; i < 3; ++i)
                if (before.at(i) != after.at(i))
                    QVERIFY2(resets.at(i)->size() > 0, qPrintable(op + QString::number(i)));
            const struct
            {
                const char *name;
                DatabaseTreeModel &model;
                const DatabaseList &list;
            } trees[] = {{"instrument", t.page.instrumentModel(), t.page.database().instrument()},
                         {"file", t.page.fileModel(), t.page.database().file()},
                         {"additional", t.page.additionalModel(), t.page.database().additional()}};
            for (const auto &tree : trees) {
                const QByteArray where = op.toLatin1() + " / " + tree.name;
                QVERIFY2(rowsOf(tree.model) == nodesOf(tree.list.tree()), where);
                QVERIFY2(shownOf(tree.model) == namesOf(tree.list.tree()), where);
            }
            const DatabaseList &vir = t.page.database().instrument();
            const DatabaseList &add = t.page.database().additional();
            // The additional list never offers what the instrument list holds,
            // and its button is there exactly when it has something to add.
            for (const TSNode *ts : add.tree().testSystems())
                QVERIFY2(!vir.tree().find(ts->path()), qPrintable(op));
            // The counts the captions show are what the trees hold.
            if (vir.exists())
                QCOMPARE(t.page.state().instrumentTs, vir.tsCount());
            if (add.exists())
                QCOMPARE(t.page.state().additionalTs, add.tsCount());
        }
    }

    void nineHundredNinetyNinePageListIsSavedAndOpenedAgain()
    {
        PageUnderTest t;
        const QByteArray image = DemoDatabase::withPages(999);
        QCOMPARE(image.mid(7, 3), QByteArray("999"));
        QCOMPARE(image.size(), 10 + 528 * 999);
        QVERIFY(t.page.takeInstrumentImage(image));
        QCOMPARE(t.page.database().instrument().pageCount(), 999);
        const QString path = t.page.dialogFolder() + QStringLiteral("/full.bdt");
        t.page.saveInstrumentListTo(path);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        QCOMPARE(bytes.size(), 10 + 528 * 999);
        QCOMPARE(bytes.left(10), QByteArray("VirBDTS999"));

        // Through the file check: a header of exactly 999 is a database.
        t.page.discardFileList();
        QVERIFY(t.page.openFileList(path));
        QCOMPARE(t.page.database().file().pageCount(), 999);
        QCOMPARE(t.page.database().file().image(), bytes);
        QCOMPARE(t.page.database().file().tsCount(), 998);
        QCOMPARE(t.page.fileModel().rowCount(),
                 static_cast<int>(t.page.database().file().tree().topLevel().size()));
        QCOMPARE(t.rig.session.pane().text(), QStringLiteral("Считано из файла full.bdt 998 ТС"));
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseTreeModel)
#include "tst_DatabaseTreeModel.moc"
