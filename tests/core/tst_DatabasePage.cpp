#include "ImageBuilder.h"
#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "common/Cp1251.h"
#include "database/DatabasePage.h"

#include <QFile>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

QString writeFile(SimRig &rig, const QString &name, const QByteArray &bytes)
{
    const QString path = rig.dataDir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

DatabaseCommands &instrumentDb(SimRig &rig)
{
    return *rig.instrument->feature<DatabaseCommands>();
}

std::vector<NodePath> visible(const TSTree &tree)
{
    std::vector<NodePath> out;
    for (const TSNode *n : tree.nodesInOrder())
        out.push_back(n->path());
    return out;
}

NodePath pathOf(const TSTree &tree, const QList<QByteArray> &shown)
{
    const TSNode *node = tree.findPath(shown);
    return node ? node->path() : NodePath();
}

QByteArray sixtyPages()
{
    return DemoDatabase::withPages(60);
}

} // namespace

class tst_DatabasePage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readOfTwentyFivePagesShowsProgressAndReceivedCounts()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        QList<QByteArray> pages;
        for (int i = 0; i < 23; ++i)
            pages << img::head(1, "G", "S", "T" + QByteArray::number(i));
        pages << img::head(1, "G", "S", "T5"); // a repeat: the rebuilt list is one page shorter
        pages << img::closing();
        instrumentDb(rig).setImage(img::image(pages));
        DatabasePage &page = rig.session.databasePage();
        QList<int> progress;
        QObject::connect(&rig.session.pane(), &MessagePane::progressChanged,
                         [&](int p) { progress << p; });
        rig.statusLog.clear();
        page.readInstrumentList();
        QVERIFY(!page.state().instrumentTreeShown);
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));

        QCOMPARE(rig.statusLog.first(), QStringLiteral("Чтение БД ТС из прибора."));
        QCOMPARE(rig.statusLog.count(QStringLiteral("Принято из прибора страниц: 23")), 1);
        // The pages received, as a failure counts them, not the rebuilt list's 24.
        QCOMPARE(rig.statusLog.last(), QStringLiteral("Принято из прибора страниц: 25"));
        QCOMPARE(page.database().instrument().pageCount(), 24);
        QList<int> expected;
        for (int k = 1; k < 25; ++k)
            expected << (k + 1) * 100 / 25;
        expected << 0;
        QCOMPARE(progress, expected);
        QCOMPARE(progress.at(22), 96);
        QCOMPARE(progress.at(23), 100); // after the 24th page
        QVERIFY(page.state().instrumentTreeShown);
        QVERIFY(page.state().instrumentListExists);
        QCOMPARE(page.state().instrumentTs, 23);
        QCOMPARE(page.database().instrument().image().left(10), QByteArray("VirBDTS 24"));
        QVERIFY(QFile::exists(rig.dataDir.filePath(QStringLiteral("SpisokTSinVir.txt"))));
    }

    void readAnnouncingNoPagesRequestsNothingAndKeepsTheSoundList()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        const QString file =
            writeFile(rig, "f.bdt", img::image({img::head(1, "New", "S", "T"), img::closing()}));
        QVERIFY(page.openFileList(file));
        QVERIFY(page.state().additionalTs.value_or(0) > 0);
        const QByteArray before = page.database().instrument().image();

        instrumentDb(rig).setImage("VirBDTS  0");
        rig.port.clearWritten();
        page.readInstrumentList();
        rig.settle(200);
        QCOMPARE(rig.port.written(), QByteArray("R"));
        QVERIFY(!page.state().instrumentTreeShown);
        QCOMPARE(page.readsFailed(), 1);
        QCOMPARE(page.database().instrument().image(), before);

        // The list kept is whole, so adding to it and writing it stay sound.
        QVERIFY(page.addToInstrumentList());
        QCOMPARE(page.database().instrument().pageCount(), 19);
        QCOMPARE(page.database().instrument().image().left(10), QByteArray("VirBDTS 19"));
    }

    void shortNonNumericAndUnaskedRepliesAreHandledSoundly()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        rig.instrument->setSilent(true);
        page.readInstrumentList();
        rig.settle();

        // A count of fewer than three characters is taken once nothing more comes;
        // the page says the read goes on as soon as the count starts to come.
        rig.session.pane().setText(QString());
        rig.port.clearWritten();
        rig.instrument->sendRaw("R 5");
        rig.settle(60);
        QVERIFY(rig.port.written().isEmpty());
        QCOMPARE(rig.session.dispatcher().collecting()->have, 3); // keeps collecting
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Чтение БД ТС из прибора."));
        rig.settle(100);
        QCOMPARE(rig.port.written(), QByteArray("r"));
        QVERIFY(!rig.session.dispatcher().collecting());
        QVERIFY(page.readInProgress());

        page.readInstrumentList();
        rig.settle();
        rig.instrument->sendRaw("R x7 ");
        rig.settle();
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("Прибор ответил на запрос числа страниц БД ТС не числом."));
        QVERIFY(!page.readInProgress());

        // No read is under way after the failed count: a page is dropped, and a
        // page request sends nothing.
        rig.port.clearWritten();
        const int received = page.readsCompleted();
        page.service().transfer().handlePageReply(message('r' + img::closing()));
        page.service().transfer().handlePageWantedReply(message("m"));
        rig.settle();
        QCOMPARE(rig.port.written(), QByteArray());
        QCOMPARE(page.readsCompleted(), received);
    }

    void writeOfThreeHundredPagesSendsEveryPageAndReadsBack()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray image = DemoDatabase::withPages(300);
        QVERIFY(page.openFileList(writeFile(rig, "big.bdt", image)));
        QCOMPARE(page.database().file().pageCount(), 300);
        const QByteArray sent = page.database().file().image();
        // The instrument's database read first: the write saves it as its backup.
        QVERIFY(rig.readInstrumentList());
        rig.port.clearWritten();
        rig.statusLog.clear();
        page.writeFileList();
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 2; }, 200000));

        const QByteArray written = rig.port.written();
        QCOMPARE(written.left(3), QByteArray::fromHex("4D012C"));
        QCOMPARE(written, img::writeCommands(sent) + "R" + QByteArray(300, 'r'));
        QCOMPARE(instrumentDb(rig).image(), sent);
        QCOMPARE(page.database().instrument().image(), sent);
        QVERIFY(rig.statusLog.contains(QStringLiteral("Отправлено в прибор страниц: 300")));
        QCOMPARE(rig.statusLog.first(), QStringLiteral("Запись БД ТС в прибор."));
        QCOMPARE(page.writesCompleted(), 1);
    }

    void cancelledOpenDialogDiscardsTheFileBytes()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.openFileList(
            writeFile(rig, "a.bdt", img::image({img::head(1, "A", "S", "T"), img::closing()}))));
        page.discardFileList();
        page.writeFileList();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Список не считан из файла."));
        QVERIFY(page.fileTree().findPath({"A", "S", "T"})); // the tree stays
        const std::optional<int> countBefore = page.state().additionalTs;
        QVERIFY(rig.readInstrumentList());
        QCOMPARE(page.state().additionalTs, countBefore);
    }

    void rejectedFilesShowTheirMessageAndLeaveNothingToWrite()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray good = img::image({img::head(1, "A", "S", "T"), img::closing()});
        QVERIFY(page.openFileList(writeFile(rig, "good.bdt", good)));

        QVERIFY(!page.openFileList(writeFile(rig, "bad.bdt", "NotBDTS  1" + good.mid(10))));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Файл bad.bdt не содержит БД ТС."));
        QVERIFY(page.state().fileTreeShown);
        page.writeFileList();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Список не считан из файла."));

        QVERIFY(page.openFileList(writeFile(rig, "good.bdt", good)));
        QVERIFY(!page.openFileList(writeFile(rig, "count.bdt", "VirBDTSab1" + good.mid(10))));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Неверный формат файла."));

        QVERIFY(page.openFileList(writeFile(rig, "good.bdt", good)));
        const QByteArray noClosing =
            img::image({img::head(1, "A", "S", "T"), img::head(1, "B", "S", "T")});
        QVERIFY(!page.openFileList(writeFile(rig, "open.bdt", noClosing)));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Неверный формат файла."));
        QVERIFY(!page.state().fileTreeShown);
        QVERIFY(!page.state().additionalTreeShown);
        QVERIFY(!page.database().file().exists());
        page.writeFileList();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Список не считан из файла."));
    }

    void acceptedFileShowsItsCountAndWritesItsListText()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        const QString path = writeFile(rig, "demo.bdt", DemoDatabase::demo());
        QVERIFY(page.openFileList(path));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Считано из файла demo.bdt 12 ТС"));
        QCOMPARE(page.state().fileTs, 12);
        QVERIFY(page.state().fromFile);
        QCOMPARE(readFile(rig.dataDir.filePath(QStringLiteral("SpisokTSinFile.txt"))),
                 TestSystemDatabase::listText(page.fileTree()));
        QVERIFY(readFile(rig.dataDir.filePath(QStringLiteral("SpisokTSinFile.txt")))
                    .startsWith(QByteArray("TORCH-") + Cp1251::encode(QStringLiteral("инфекции")) +
                                QByteArray("\0\r\n\t", 4)));
        QCOMPARE(rig.session.lastFile().name(), QStringLiteral("demo.bdt"));
    }

    void savingWritesTheInstrumentListIntoTheChosenFile()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        QVERIFY(page.dialogFolder().endsWith(QStringLiteral("FilesInVirant")));
        QVERIFY(QFileInfo(page.dialogFolder()).isDir());
        const QString path = page.dialogFolder() + QStringLiteral("/out.bdt");
        page.saveInstrumentListTo(path);
        QCOMPARE(readFile(path), page.database().instrument().image());
        QCOMPARE(rig.session.pane().text(), QStringLiteral("БД ТС записана в файл: out.bdt"));
    }

    void deletingAGroupCountsItsTestSystems()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        const NodePath hepatitis =
            pathOf(page.instrumentTree(), {Cp1251::encode(QStringLiteral("Гепатиты"))});
        QVERIFY(!hepatitis.isEmpty());
        page.clickInstrumentNode(hepatitis, TreeSelection::Click::Plain,
                                 visible(page.instrumentTree()));
        QVERIFY(page.state().selected > 0);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:1."));
        page.deleteSelected();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 4 ТС"));
        QCOMPARE(page.state().instrumentTs, 8);
        QVERIFY(page.state().instrumentEdited);
        QCOMPARE(page.database().instrument().image().left(10),
                 QByteArray("VirBDTS 11")); // 18 pages less 7

        const QByteArray after = page.database().instrument().image();
        page.deleteSelected();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 0 ТС"));
        QCOMPARE(page.database().instrument().image(), after);
    }

    void addThenWriteSendsOldRecordsThenAddedThenTheFilesClosingPage()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QByteArray a = img::head(1, "A", "S", "T", 'a');
        instrumentDb(rig).setImage(img::image({a, img::closing('I')}));
        QVERIFY(rig.readInstrumentList());
        const QByteArray b = img::head(2, "B", "S", "T", 'b');
        QVERIFY(page.openFileList(writeFile(
            rig, "f.bdt", img::image({a, b, img::continuation('k'), img::closing('F')}))));
        QVERIFY(page.state().additionalTs.value_or(0) > 0);
        QCOMPARE(page.state().additionalTs, 1);
        QVERIFY(page.addToInstrumentList());
        QCOMPARE(rig.session.pane().text(), QStringLiteral("В список прибора добавлено 1 ТС"));
        QCOMPARE(page.state().additionalTs.value_or(0), 0);
        QCOMPARE(page.state().additionalTs, 0);
        QCOMPARE(page.state().instrumentTs, 2);
        const QByteArray expected =
            QByteArray("VirBDTS  4") + a + b + img::continuation('k') + img::closing('F');
        QCOMPARE(page.database().instrument().image(), expected);

        rig.port.clearWritten();
        page.writeInstrumentList();
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 2; }, 60000));
        QCOMPARE(rig.port.written().left(3 + 4 * 529), img::writeCommands(expected));
        QCOMPARE(instrumentDb(rig).image(), expected);
    }

    void addingPastNineHundredNinetyNinePagesIsRefused()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.takeInstrumentImage(DemoDatabase::withPages(900)));
        QList<QByteArray> pages;
        for (int i = 0; i < 100; ++i)
            pages << img::head(1, "Extra", "S", "T" + QByteArray::number(i));
        pages << img::closing();
        QVERIFY(page.openFileList(writeFile(rig, "extra.bdt", img::image(pages))));
        QVERIFY(page.state().additionalTs.value_or(0) > 0);
        const QByteArray before = page.database().instrument().image();
        QVERIFY(!page.addToInstrumentList());
        QCOMPARE(page.database().instrument().image(), before);
        QCOMPARE(page.database().instrument().pageCount(), 900);
        QVERIFY(rig.session.pane().text().contains(QStringLiteral("999")));
    }

    void selectionTakesOnlyVisibleSiblings()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(page.takeInstrumentImage(img::image(
            {img::head(1, "A", "S", "T"), img::head(1, "B", "S", "T"), img::head(1, "C", "S", "T"),
             img::head(1, "D", "S", "T"), img::closing()})));
        const TSTree &tree = page.instrumentTree();
        const TreeSelection &selection = page.selection();
        const auto at = [&](const QList<QByteArray> &names) {
            return pathOf(tree, names);
        };
        // Only the groups are visible (nothing expanded).
        std::vector<NodePath> shown = {at({"A"}), at({"B"}), at({"C"}), at({"D"})};
        page.clickInstrumentNode(at({"A"}), TreeSelection::Click::Plain, shown);
        page.clickInstrumentNode(at({"B"}), TreeSelection::Click::Ctrl, shown);
        page.clickInstrumentNode(at({"D"}), TreeSelection::Click::Ctrl, shown);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:3."));
        page.clickInstrumentNode(at({"B"}), TreeSelection::Click::Ctrl, shown);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:2."));

        // Expanded A: a Shift run from A to C skips A's subgroup.
        shown = {at({"A"}), at({"A", "S"}), at({"B"}), at({"C"}), at({"D"})};
        page.clickInstrumentNode(at({"A"}), TreeSelection::Click::Plain, shown);
        page.clickInstrumentNode(at({"C"}), TreeSelection::Click::Shift, shown);
        QCOMPARE(selection.count(), 3);
        QVERIFY(!selection.contains(at({"A", "S"})));
        // A Ctrl click on another level starts over.
        page.clickInstrumentNode(at({"A", "S"}), TreeSelection::Click::Ctrl, shown);
        QCOMPARE(selection.count(), 1);
        page.clickInstrumentNode(at({"A", "S"}), TreeSelection::Click::Ctrl, shown);
        QCOMPARE(selection.count(), 0);
        QCOMPARE(page.state().selected, 0);
        // A node the tree does not show cannot be clicked.
        page.clickInstrumentNode(at({"B", "S", "T"}), TreeSelection::Click::Plain, shown);
        QCOMPARE(selection.count(), 0);

        // Collapsing A hides its selected subgroup: it leaves the selection, and
        // the status says so instead of naming what is gone.
        page.clickInstrumentNode(at({"A", "S"}), TreeSelection::Click::Plain, shown);
        QVERIFY(page.state().selected > 0);
        page.instrumentNodeCollapsed({at({"A"}), at({"B"}), at({"C"}), at({"D"})});
        QCOMPARE(selection.count(), 0);
        QCOMPARE(page.state().selected, 0);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:0."));
        // A collapse that hides nothing selected changes nothing.
        page.clickInstrumentNode(at({"B"}), TreeSelection::Click::Plain, shown);
        page.instrumentNodeCollapsed({at({"A"}), at({"B"}), at({"C"}), at({"D"})});
        QVERIFY(selection.contains(at({"B"})));
        QVERIFY(page.state().selected > 0);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:1."));
    }

    void pageCutShortDoesNotStopTheNextReadOrWrite()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        // The first page comes only in part: the read waits for the rest.
        page.readInstrumentList();
        rig.settle(5);
        rig.instrument->cutNextReplyAfter(300);
        rig.settle(2000);
        QCOMPARE(rig.session.dispatcher().collecting()->have, 300);
        QCOMPARE(page.readsCompleted(), 0);
        // One exchange at a time: the stalled read holds the line until its
        // silence gives it up.
        rig.settle(DatabaseTransfer::ReadSilenceMs);
        QVERIFY(!rig.session.line().busy());

        // Asking again starts afresh instead of appending to the dead page.
        QVERIFY(rig.readInstrumentList());
        QCOMPARE(page.database().instrument().pageCount(), 18);
        QCOMPARE(page.database().instrument().tsCount(), 12);

        page.readInstrumentList();
        rig.settle(5);
        rig.instrument->cutNextReplyAfter(100);
        rig.settle(2000 + DatabaseTransfer::ReadSilenceMs);
        QVERIFY(page.openFileList(
            writeFile(rig, "w.bdt", img::image({img::head(1, "A", "S", "T"), img::closing()}))));
        const int reads = page.readsCompleted();
        page.writeFileList();
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() > reads; }, 60000));
        QCOMPARE(instrumentDb(rig).image(), page.database().file().image());
        QVERIFY(rig.statusLog.contains(QStringLiteral("Принято из прибора страниц: 2")));
    }

    void pageCountSplitInTwoPiecesIsTakenWhole()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        instrumentDb(rig).setImage(DemoDatabase::withPages(11));
        // "R " then " 11"; "R  1" then "1": the count is the whole of it.
        for (const int firstPiece : {2, 4}) {
            instrumentDb(rig).splitCountReply(firstPiece, 50);
            const int reads = page.readsCompleted();
            page.readInstrumentList();
            QVERIFY(rig.runUntil([&] { return page.readsCompleted() > reads; }, 20000));
            QCOMPARE(page.database().instrument().pageCount(), 11);
            QCOMPARE(page.database().instrument().tsCount(), 10);
        }
        QCOMPARE(page.readsFailed(), 0);
    }

    void readEndingOnARecordPageIsRefusedAndTheListStays()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        const QByteArray before = page.database().instrument().image();
        const QString saved = rig.dataDir.filePath(QStringLiteral("saved.bdt"));
        page.saveInstrumentListTo(saved);

        // A count of fewer pages than the instrument holds ends on a record page.
        instrumentDb(rig).setImage(sixtyPages());
        instrumentDb(rig).announcePages(31);
        page.readInstrumentList();
        QVERIFY(rig.runUntil([&] { return page.readsFailed() == 1; }, 60000));
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("БД ТС из прибора не считана: последняя страница не завершающая."));
        QCOMPARE(page.readsCompleted(), 1);
        QCOMPARE(page.database().instrument().image(), before);
        QVERIFY(page.state().instrumentTreeShown);
        QVERIFY(page.state().instrumentListExists);
        QCOMPARE(page.state().instrumentTs, 12);
        QCOMPARE(readFile(saved), before);

        // A count of more pages than it holds: the instrument falls silent after 60.
        instrumentDb(rig).announcePages(75);
        page.readInstrumentList();
        QVERIFY(rig.runUntil([&] { return page.readsFailed() == 2; }, 60000));
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("БД ТС из прибора не считана: принято страниц 60 из 75."));
        QCOMPARE(page.database().instrument().image(), before);
        QCOMPARE(rig.session.pane().progress(), 0);
    }

    void interruptedReadNeitherDeletesFromNorWritesAPartialList()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        instrumentDb(rig).setImage(sixtyPages());
        QVERIFY(rig.readInstrumentList());
        const QByteArray whole = page.database().instrument().image();
        page.clickInstrumentNode(page.instrumentTree().topLevel().front()->path(),
                                 TreeSelection::Click::Plain, visible(page.instrumentTree()));
        QVERIFY(page.state().selected > 0);

        // A new read clears the selection; "удалить", "в файл..." and adding wait for it.
        instrumentDb(rig).stopAfterPages(30);
        page.readInstrumentList();
        QCOMPARE(page.selection().count(), 0);
        QCOMPARE(page.state().selected, 0);
        QCOMPARE(page.state().job, DatabaseService::Phase::Reading);
        QVERIFY(rig.runUntil([&] { return page.service().transfer().pageNo() == 31; }, 30000));
        page.deleteSelected();
        QCOMPARE(page.database().instrument().image(), whole);

        QVERIFY(rig.runUntil([&] { return page.readsFailed() == 1; }, 10000));
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("БД ТС из прибора не считана: принято страниц 30 из 60."));
        QCOMPARE(page.database().instrument().image(), whole);
        QCOMPARE(page.state().job, DatabaseService::Phase::Idle);
        QVERIFY(page.state().instrumentListExists);
        QCOMPARE(page.state().selected, 0);

        // Deleting and writing work on the complete list only.
        page.clickInstrumentNode(page.instrumentTree().topLevel().front()->path(),
                                 TreeSelection::Click::Plain, visible(page.instrumentTree()));
        page.deleteSelected();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 7 ТС"));
        const QByteArray cut = page.database().instrument().image();
        QCOMPARE(cut.left(10), QByteArray("VirBDTS 53"));
        QCOMPARE(cut.size(), 10 + 53 * 528);
        instrumentDb(rig).stopAfterPages(-1);
        rig.port.clearWritten();
        page.writeInstrumentList();
        QCOMPARE(rig.port.written().left(3), QByteArray::fromHex("4D0035"));
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 2; }, 60000));
        QCOMPARE(instrumentDb(rig).image(), cut);
    }

    void addButtonFollowsTheFileThatIsReallyLoaded()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        const QString extra = writeFile(
            rig, "extra.bdt", img::image({img::head(1, "New", "S", "T"), img::closing()}));
        const QString broken =
            writeFile(rig, "broken.bdt", "VirBDTS  1" + img::head(1, "X", "S", "T"));

        // Cancelled: the file's bytes are gone, but the additional list shown
        // holds its own copies and can still be added, once.
        QVERIFY(page.openFileList(extra));
        QVERIFY(page.state().additionalTs.value_or(0) > 0);
        page.discardFileList();
        QVERIFY(!page.database().file().exists());
        QVERIFY(page.state().additionalTs.value_or(0) > 0);
        QVERIFY(page.addToInstrumentList());
        QCOMPARE(page.database().instrument().tsCount(), 13);
        QCOMPARE(page.state().additionalTs.value_or(0), 0);
        const QByteArray added = page.database().instrument().image();
        QVERIFY(!page.addToInstrumentList());
        QCOMPARE(page.database().instrument().image(), added);

        // The same file again has nothing missing; a rejected next file adds
        // nothing a second time.
        QVERIFY(page.openFileList(extra));
        QCOMPARE(page.state().additionalTs.value_or(0), 0);
        QVERIFY(!page.openFileList(broken));
        QCOMPARE(page.state().additionalTs.value_or(0), 0);
        QVERIFY(!page.addToInstrumentList());
        QCOMPARE(page.database().instrument().image(), added);
    }

    void readWithThePortClosedSaysSo()
    {
        SimRig rig;
        DatabasePage &page = rig.session.databasePage();
        page.readInstrumentList();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Порт отключен."));
        QVERIFY(page.state().instrumentTreeShown);
    }
};

QTEST_GUILESS_MAIN(tst_DatabasePage)
#include "tst_DatabasePage.moc"
