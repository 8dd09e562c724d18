#include "DatabasePageRead.h"
#include "DialogAnswers.h"
#include "FileContents.h"
#include "TestSupport.h"
#include "WidgetFinder.h"

#include "DatabaseCommands.h"
#include "DatabasePageView.h"
#include "DemoDatabase.h"
#include "common/Cp1251.h"
#include "database/DatabasePage.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// The row of a top-level node (row) or of its child (row, childRow).
QModelIndex row(QTreeView *tree, int top, int childRow = -1)
{
    const QModelIndex index = tree->model()->index(top, 0);
    return childRow < 0 ? index : tree->model()->index(childRow, 0, index);
}

int topLevelCount(QTreeView *tree)
{
    return tree->model()->rowCount();
}

QString text(const QModelIndex &index)
{
    return index.data().toString();
}

bool isSelected(QTreeView *tree, const QModelIndex &index)
{
    return tree->selectionModel()->isSelected(index);
}

QModelIndexList selected(QTreeView *tree)
{
    return tree->selectionModel()->selectedIndexes();
}

void click(QTreeView *tree, const QModelIndex &index, Qt::KeyboardModifiers modifiers = {},
           Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(tree->viewport(), button, modifiers, tree->visualRect(index).center());
}

// The shown names from the top down to the row, as the operator reads them.
QStringList shownPath(const QModelIndex &index)
{
    QStringList names;
    for (QModelIndex i = index; i.isValid(); i = i.parent())
        names.prepend(text(i));
    return names;
}

// A node's identity as the names it shows (without the zero bytes).
QStringList shownPath(const NodePath &node)
{
    QStringList names;
    for (const QByteArray &name : node)
        names.append(Cp1251::decode(name.left(name.indexOf('\0'))));
    return names;
}

// The rows the view shows, top to bottom.
QModelIndexList visibleRows(QTreeView *tree)
{
    QModelIndexList rows;
    for (QModelIndex i = tree->model()->index(0, 0); i.isValid(); i = tree->indexBelow(i))
        rows.append(i);
    return rows;
}

// Every node of the list in tree order, as shown names.
QList<QStringList> listNodes(const TSTree &tree)
{
    QList<QStringList> nodes;
    for (const TSNode *n : tree.nodesInOrder())
        nodes.append(shownPath(n->path()));
    return nodes;
}

} // namespace

class tst_DatabasePageView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlsStartWithTheirCaptionsHintsAndStates()
    {
        SimRig rig;
        DatabasePageView frame(rig.session);
        frame.show();
        QCOMPARE(child<QLabel>(frame, "RzLabel1")->text(),
                 QStringLiteral("Перепрограммирование базы данных тест-систем."));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->title(),
                 QStringLiteral("Список ТС в приборе:"));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox2")->title(),
                 QStringLiteral("Список ТС в файле:"));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox3")->title(),
                 QStringLiteral("Дополнительный список ТС:"));
        const struct
        {
            const char *name;
            QString caption;
            QString hint;
            bool enabled;
        } buttons[] = {
            {"btnReadBDTSFromVir", " из прибора", "Чтение БД ТС из прибора.", true},
            {"btnSaveBDTSinFile", "в файл...", "Запись БД ТС в файл.", false},
            {"btnDeleteTS", "удалить",
             "Выбор для удаления:\nShift + левый клик - непрерывно,\nCtrl + левый клик - "
             "выборочно.",
             false},
            {"btnSaveAddTs", "в прибор", "Запись БД ТС в прибор.", false},
            {"btnReadBDTSFromFile", "из файла...", "Чтение БД ТС из файла.", true},
            {"btnWriteBDTSInVir", "в прибор", "Запись БД ТС из файла в прибор.", false},
            {"btnAddTSInVir", "<<< Добавить в список прибора",
             "Дополнение списка ТС прибора\nнедостающими из файла.", false},
        };
        for (const auto &b : buttons) {
            auto *w = child<QPushButton>(frame, b.name);
            QCOMPARE(w->text(), b.caption);
            QCOMPARE(w->toolTip(), b.hint);
            QCOMPARE(w->isEnabled(), b.enabled);
        }
        QCOMPARE(child<QPushButton>(frame, "btnReadBDTSFromVir")->width(), 73);
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox2")->height(), 143);
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->palette().color(QPalette::Window),
                 QColor(0xFF, 0xFB, 0xF0));
        for (const char *tree : {"TreeViewVir", "TreeViewFile", "TreeViewAdd"})
            QVERIFY(child<QTreeView>(frame, tree)->isVisible());
    }

    // TreeViewVir's selection model follows the page's selection: the view
    // draws it, the page alone changes it.
    void selectionModelFollowsTheSelectedNodes()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(rig.readInstrumentList());
        auto *tree = child<QTreeView>(frame, "TreeViewVir");
        DatabaseTreeModel &model = page.instrumentModel();
        QItemSelectionModel &selection = *tree->selectionModel();
        QCOMPARE(selection.model(), &model);
        const auto &groups = page.instrumentTree().topLevel();
        const NodePath first = groups.at(0)->path();
        const NodePath third = groups.at(2)->path();
        page.selectInstrumentNodes({first, third});
        QModelIndexList rows = selection.selectedIndexes();
        std::sort(rows.begin(), rows.end());
        QCOMPARE(rows, (QModelIndexList{model.index(0, 0), model.index(2, 0)}));
        QCOMPARE(model.pathOf(rows.at(1)), third);

        // A row held from before the delete is gone with its node; nothing
        // stays selected, and the row now at its place is another node.
        const QPersistentModelIndex held(model.index(0, 0));
        page.deleteSelected();
        QVERIFY(!held.isValid());
        QVERIFY(selection.selectedIndexes().isEmpty());
        QCOMPARE(model.indexOf(first), QModelIndex());
        QVERIFY(model.pathOf(model.index(0, 0)) != first);

        // A new read clears the selection before the rows go.
        page.selectInstrumentNodes({page.instrumentTree().topLevel().at(0)->path()});
        QCOMPARE(selection.selectedIndexes().size(), 1);
        page.readInstrumentList();
        QVERIFY(selection.selectedIndexes().isEmpty());
    }

    // "из прибора" follows the link's instrument controls from the moment the
    // page is made; before that the link's changes leave it as it was drawn.
    void readButtonFollowsTheLinkOnlyOnceTheFrameExists()
    {
        SimRig rig;
        rig.startUp();
        rig.instrument->setPowered(false);
        rig.settle();
        rig.link().checkLink();
        DatabasePageView frame(rig.session);
        auto *read = child<QPushButton>(frame, "btnReadBDTSFromVir");
        QVERIFY(read->isEnabled());
        rig.instrument->setPowered(true);
        rig.link().checkLink();
        rig.instrument->setPowered(false);
        rig.link().checkLink();
        QVERIFY(!read->isEnabled());
        rig.instrument->setPowered(true);
        rig.link().checkLink();
        QVERIFY(read->isEnabled());
    }

    void readingFromTheInstrumentFillsTheTreeAndSelectionFollowsTheClicks()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        child<QPushButton>(frame, "btnReadBDTSFromVir")->click();
        QVERIFY(!child<QTreeView>(frame, "TreeViewVir")->isVisible());
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));
        auto *tree = child<QTreeView>(frame, "TreeViewVir");
        QVERIFY(tree->isVisible());
        QCOMPARE(topLevelCount(tree), 4);
        QCOMPARE(text(row(tree, 0)), QStringLiteral("TORCH-инфекции"));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->title(),
                 QStringLiteral("Список ТС в приборе (12):"));
        QVERIFY(child<QPushButton>(frame, "btnSaveBDTSinFile")->isEnabled());

        click(tree, row(tree, 0));
        click(tree, row(tree, 2), Qt::ShiftModifier);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:3."));
        QCOMPARE(selected(tree).size(), 3);
        QVERIFY(child<QPushButton>(frame, "btnDeleteTS")->isEnabled());
        click(tree, row(tree, 1), Qt::ControlModifier);
        QCOMPARE(selected(tree).size(), 2);
        QVERIFY(!isSelected(tree, row(tree, 1)));

        // A node of another level starts over; a right click selects too.
        tree->expand(row(tree, 3));
        click(tree, row(tree, 3, 0), Qt::ControlModifier);
        QCOMPARE(selected(tree).size(), 1);
        click(tree, row(tree, 0), {}, Qt::RightButton);
        QCOMPARE(selected(tree), QModelIndexList{row(tree, 0)});
        // The selection stays visible when the tree loses focus.
        QCOMPARE(tree->palette().color(QPalette::Inactive, QPalette::Highlight),
                 tree->palette().color(QPalette::Active, QPalette::Highlight));

        // Collapsing a group hides its selected child: it leaves the selection.
        tree->expand(row(tree, 3));
        click(tree, row(tree, 3, 0));
        QVERIFY(isSelected(tree, row(tree, 3, 0)));
        tree->collapse(row(tree, 3));
        QVERIFY(!isSelected(tree, row(tree, 3, 0)));
        QVERIFY(!child<QPushButton>(frame, "btnDeleteTS")->isEnabled());

        click(tree, row(tree, 0), {}, Qt::RightButton);
        child<QPushButton>(frame, "btnDeleteTS")->click();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 3 ТС"));
        QCOMPARE(topLevelCount(tree), 3);
        QVERIFY(child<QPushButton>(frame, "btnSaveAddTs")->isEnabled());
    }

    void cancelledOpenDialogDiscardsTheFileAndOpensInFilesInVirant()
    {
        SimRig rig;
        DatabasePageView frame(rig.session);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        const QString path = rig.dataDir.filePath(QStringLiteral("demo.bdt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DemoDatabase::demo());
        f.close();

        QString folder;
        answerNextFileDialog(path, &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        QCOMPARE(folder, QDir(rig.dataDir.path()).filePath(QStringLiteral("FilesInVirant")));
        QCOMPARE(topLevelCount(child<QTreeView>(frame, "TreeViewFile")), 4);
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox2")->title(),
                 QStringLiteral("Список ТС в файле (12):"));
        QVERIFY(child<QPushButton>(frame, "btnWriteBDTSInVir")->isEnabled());

        answerNextFileDialog(QString(), &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        QVERIFY(!page.database().file().exists());
        QCOMPARE(topLevelCount(child<QTreeView>(frame, "TreeViewFile")), 4);
        child<QPushButton>(frame, "btnWriteBDTSInVir")->click();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Список не считан из файла."));
    }

    // The restore is an act of the instrument tree's own menu (Ctrl+Shift+R):
    // its dialog opens in backups/, and the chosen file goes back page for page.
    void aBackupIsRestoredFromTheInstrumentTreesMenu()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        const QString path = rig.dataDir.filePath(QStringLiteral("old.bdt"));
        QVERIFY(writeFile(path, DemoDatabase::withPages(60)));
        QAction *restore = nullptr;
        for (QAction *action : child<QTreeView>(frame, "TreeViewVir")->actions())
            restore = action->objectName() == "actionRestoreBackup" ? action : restore;
        QVERIFY(restore && restore->shortcut() == QKeySequence(QStringLiteral("Ctrl+Shift+R")));
        QString folder;
        answerNextFileDialog(path, &folder);
        restore->trigger();
        QCOMPARE(folder, rig.session.databasePage().backupFolder());
        QVERIFY(rig.runUntil([&] { return rig.session.databasePage().writesCompleted() == 1; },
                             120000));
        QCOMPARE(rig.instrument->feature<DatabaseCommands>()->image(), DemoDatabase::withPages(60));
    }

    void fileDialogSaysTypesInRussianAndShowsItsColumnsWhole()
    {
        SimRig rig;
        DatabasePageView frame(rig.session);
        frame.show();
        const QString folder = rig.session.databasePage().dialogFolder();
        QVERIFY(QDir(folder).mkpath(QStringLiteral("Архив")));
        QFile f(QDir(folder).filePath(QStringLiteral("demo.bdt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DemoDatabase::demo());
        f.close();

        // As the program runs: with Qt's Russian catalogue, whose words are longer.
        QTranslator russian;
        QVERIFY(russian.load(QStringLiteral("qtbase_ru"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QCoreApplication::installTranslator(&russian);
        const auto removeRussian =
            qScopeGuard([&russian] { QCoreApplication::removeTranslator(&russian); });
        QStringList types;
        QList<int> cut; // columns narrower than their texts
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QFileDialog *>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                auto *model = dialog->findChild<QFileSystemModel *>();
                auto *view = dialog->findChild<QTreeView *>(objectNames::qtDialogs::FileList);
                const QModelIndex sub =
                    model->index(QDir(folder).filePath(QStringLiteral("Архив")), 2);
                const QModelIndex file =
                    model->index(QDir(folder).filePath(QStringLiteral("demo.bdt")), 2);
                const bool typed = QTest::qWaitFor(
                    [&] {
                        return sub.data().toString() == QStringLiteral("Папка") &&
                               !file.data().toString().isEmpty();
                    },
                    5000);
                if (!typed)
                    qWarning("the types never came");
                types << sub.data().toString() << file.data().toString();
                QTest::qWait(50); // the header takes its sizes when laid out
                for (int column = 1; column <= 3; ++column)
                    if (view->header()->sectionSize(column) <
                        static_cast<QAbstractItemView *>(view)->sizeHintForColumn(column))
                        cut << column;
                dialog->reject();
                return;
            }
        });
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        QCOMPARE(types, (QStringList{QStringLiteral("Папка"), QStringLiteral("Файл BDT")}));
        QCOMPARE(cut, QList<int>());
    }

    void rowsFitTheirBoxesAtThePagesSizeInTheWindow()
    {
        SimRig rig;
        DatabasePageView frame(rig.session);
        // What the fixed window leaves for the page.
        frame.resize(485, 312);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const auto rect = [&](const char *name) {
            QWidget *w = child<QWidget>(frame, name);
            return QRect(w->mapTo(&frame, QPoint(0, 0)), w->size());
        };
        QCOMPARE(rect("RzGroupBox2").width(), 232);
        QCOMPARE(rect("RzGroupBox2").height(), 143);
        QCOMPARE(rect("RzGroupBox1").right() + 1, rect("RzGroupBox2").left());
        QCOMPARE(rect("RzGroupBox3").top(), rect("RzGroupBox2").bottom() + 1);
        QCOMPARE(rect("RzGroupBox3").bottom(), 311);
        const QList<QList<const char *>> rows = {
            {"btnReadBDTSFromVir", "btnSaveBDTSinFile", "btnDeleteTS", "btnSaveAddTs"},
            {"btnReadBDTSFromFile", "btnWriteBDTSInVir"},
            {"btnAddTSInVir"}};
        const QList<const char *> boxes = {"RzGroupBox1", "RzGroupBox2", "RzGroupBox3"};
        const QList<const char *> trees = {"TreeViewVir", "TreeViewFile", "TreeViewAdd"};
        for (int i = 0; i < rows.size(); ++i) {
            const QRect box = rect(boxes.at(i));
            QVERIFY2(rect(trees.at(i)).height() > 40, trees.at(i));
            for (int k = 0; k < rows.at(i).size(); ++k) {
                const QRect b = rect(rows.at(i).at(k));
                QVERIFY2(box.contains(b), rows.at(i).at(k));
                QVERIFY2(b.width() >= 40, rows.at(i).at(k));
                QVERIFY2(b.top() > rect(trees.at(i)).bottom(), rows.at(i).at(k));
                if (k > 0)
                    QCOMPARE(b.left(), rect(rows.at(i).at(k - 1)).right() + 1);
            }
        }
        QCOMPARE(rect("btnSaveBDTSinFile").width(), 56);
        QCOMPARE(rect("btnSaveAddTs").width(), 62);
        QCOMPARE(rect("btnReadBDTSFromFile").width(), 113);
        QCOMPARE(rect("btnAddTSInVir").width(), rect("TreeViewAdd").width());
    }

    void saveDialogOpensInFilesInVirantAndAsksBeforeReplacingAFile()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(readThroughThePage(rig, frame));
        const QString folder = QDir(rig.dataDir.path()).filePath(QStringLiteral("FilesInVirant"));
        const QString path = QDir(folder).filePath(QStringLiteral("old.bdt"));
        QVERIFY(QDir().mkpath(folder));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
        old.close();

        // The dialog chooses the existing file twice: the first question is
        // answered No (the dialog stays, the file too), the second Yes.
        QString seen;
        QStringList filters;
        QString suffix;
        QStringList questions;
        QByteArray afterNo;
        int accepts = 0;
        // An accept that the dialog has not acted on yet (a busy machine) is
        // waited for; one that came to nothing after two seconds is repeated.
        int ticksSinceAccept = 0;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (!box || !box->isVisible())
                    continue;
                questions.append(box->text());
                const bool first = questions.size() == 1;
                box->button(first ? QMessageBox::No : QMessageBox::Yes)->click();
                if (first) {
                    QFile f(path);
                    if (f.open(QIODevice::ReadOnly))
                        afterNo = f.readAll();
                }
                return;
            }
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QFileDialog *>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                if (accepts > questions.size() && ++ticksSinceAccept < 200)
                    return;
                ticksSinceAccept = 0;
                seen = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                suffix = dialog->defaultSuffix();
                // Typed into the name box: selectFile() is undone when the folder's
                // listing arrives later from the dialog's own file-system thread.
                auto *name = dialog->findChild<QLineEdit *>(objectNames::qtDialogs::FileName);
                if (name)
                    name->setText(QFileInfo(path).fileName());
                else
                    dialog->selectFile(path);
                ++accepts;
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                return;
            }
        });
        poll.start();
        child<QPushButton>(frame, "btnSaveBDTSinFile")->click();
        poll.stop();
        QCOMPARE(seen, folder);
        QCOMPARE(filters, QStringList{QStringLiteral("Файлы данных (*.bdt)")});
        QCOMPARE(suffix, QStringLiteral("bdt"));
        QCOMPARE(questions.size(), 2);
        QVERIFY(questions.first().contains(QStringLiteral("old.bdt")));
        QCOMPARE(afterNo, QByteArray("old contents"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), page.database().instrument().image());
        QCOMPARE(rig.session.pane().text(), QStringLiteral("БД ТС записана в файл: old.bdt"));
    }

    void everyRowAfterADeleteSelectsItsOwnNode()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.resize(700, 900);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        QVERIFY(readThroughThePage(rig, frame));
        auto *tree = child<QTreeView>(frame, "TreeViewVir");
        tree->expandAll();
        // One test system of an expanded tree, then a whole group.
        const QList<QStringList> victims = {
            {QStringLiteral("Гепатиты"), QStringLiteral("Гепатит B"), QStringLiteral("анти-HBc")},
            {QStringLiteral("Гепатиты")},
            {QStringLiteral("ВИЧ"), QStringLiteral("Антиген")}};
        for (const QStringList &victim : victims) {
            QModelIndex target;
            for (const QModelIndex &r : visibleRows(tree))
                if (shownPath(r) == victim)
                    target = r;
            QVERIFY2(target.isValid(), qPrintable(victim.join('/')));
            click(tree, target);
            child<QPushButton>(frame, "btnDeleteTS")->click();
            // Still expanded where it was: every node of the list is a row, and
            // no row is anything else.
            QList<QStringList> shown;
            for (const QModelIndex &r : visibleRows(tree))
                shown.append(shownPath(r));
            QCOMPARE(shown, listNodes(page.instrumentTree()));
            for (const QModelIndex &r : visibleRows(tree)) {
                click(tree, r);
                QCOMPARE(page.selection().count(), 1);
                QCOMPARE(shownPath(page.selection().nodes().front()), shownPath(r));
                QCOMPARE(selected(tree), QModelIndexList{r});
            }
        }
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->title(),
                 QStringLiteral("Список ТС в приборе (%1):")
                     .arg(page.database().instrument().tsCount()));
    }

    void ctrlClickMovesTheShiftAnchor()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        QVERIFY(readThroughThePage(rig, frame));
        auto *tree = child<QTreeView>(frame, "TreeViewVir");
        click(tree, row(tree, 0));
        click(tree, row(tree, 2), Qt::ControlModifier);
        QCOMPARE(selected(tree).size(), 2);
        // The run starts at the node Ctrl last clicked, not at the plain click.
        click(tree, row(tree, 3), Qt::ShiftModifier);
        QModelIndexList now = selected(tree);
        std::sort(now.begin(), now.end());
        QCOMPARE(now, (QModelIndexList{row(tree, 2), row(tree, 3)}));
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:2."));
        // Ctrl taking a node out moves the anchor too.
        click(tree, row(tree, 1), Qt::ControlModifier);
        click(tree, row(tree, 1), Qt::ControlModifier);
        click(tree, row(tree, 0), Qt::ShiftModifier);
        now = selected(tree);
        std::sort(now.begin(), now.end());
        QCOMPARE(now, (QModelIndexList{row(tree, 0), row(tree, 1)}));
    }

    void cancelledSecondFileKeepsTheAdditionalListAndItsButton()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        QVERIFY(readThroughThePage(rig, frame));
        DemoDatabase extra;
        for (const char *name : {"T1", "T2", "T3"})
            extra.addRecord(
                {QStringLiteral("Новые"), QStringLiteral("S"), QString::fromLatin1(name)});
        const QString path = rig.dataDir.filePath(QStringLiteral("extra.bdt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(extra.image());
        f.close();
        QString folder;
        answerNextFileDialog(path, &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        auto *add = child<QPushButton>(frame, "btnAddTSInVir");
        auto *addTree = child<QTreeView>(frame, "TreeViewAdd");
        QVERIFY(add->isEnabled());

        answerNextFileDialog(QString(), &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        // What is shown can still be added.
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox3")->title(),
                 QStringLiteral("Дополнительный список ТС (3):"));
        QCOMPARE(addTree->model()->rowCount(row(addTree, 0)), 1);
        QVERIFY(add->isEnabled());
        add->click();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("В список прибора добавлено 3 ТС"));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->title(),
                 QStringLiteral("Список ТС в приборе (15):"));
        // Added once: nothing is left to add again.
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox3")->title(),
                 QStringLiteral("Дополнительный список ТС (0):"));
        QCOMPARE(topLevelCount(addTree), 0);
        QVERIFY(!add->isEnabled());
    }

    void instrumentTreeWorksFromTheKeyboard()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePageView frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        child<QPushButton>(frame, "btnReadBDTSFromVir")->click();
        // During the read the list's own buttons wait for it.
        QVERIFY(!child<QPushButton>(frame, "btnSaveBDTSinFile")->isEnabled());
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));
        auto *tree = child<QTreeView>(frame, "TreeViewVir");
        tree->setFocus();
        tree->selectionModel()->setCurrentIndex(row(tree, 0), QItemSelectionModel::NoUpdate);
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(selected(tree), QModelIndexList{row(tree, 0)});
        QTest::keyClick(tree, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:2."));
        QTest::keyClick(tree, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(selected(tree).size(), 3);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(selected(tree), QModelIndexList{row(tree, 3)});
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(topLevelCount(tree), 3);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 3 ТС"));
        // Nothing selected now: Delete does nothing.
        QVERIFY(!child<QPushButton>(frame, "btnDeleteTS")->isEnabled());
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 3 ТС"));
    }

    void readButtonFollowsTheLinkOnceTheFrameExists()
    {
        SimRig rig;
        rig.startUp();
        DatabasePageView frame(rig.session);
        rig.instrument->setPowered(false);
        rig.link().checkLink();
        QVERIFY(!child<QPushButton>(frame, "btnReadBDTSFromVir")->isEnabled());
        rig.instrument->setPowered(true);
        rig.link().checkLink();
        QVERIFY(child<QPushButton>(frame, "btnReadBDTSFromVir")->isEnabled());
    }
};

QTEST_MAIN(tst_DatabasePageView)
#include "tst_DatabasePageView.moc"
