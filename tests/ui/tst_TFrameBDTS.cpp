#include "TestSupport.h"

#include "DemoDatabase.h"
#include "TFrameBDTS.h"
#include "database/DatabasePage.h"

#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

template <typename T> T *child(QWidget &frame, const char *name)
{
    T *w = frame.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

// Answers the next file dialog: chooses path, or cancels when it is empty.
void answerNextDialog(const QString &path, QString *folderSeen)
{
    QTimer::singleShot(0, [path, folderSeen] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            *folderSeen = dialog->directory().absolutePath();
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
            }
            return;
        }
    });
}

void click(QTreeWidget *tree, QTreeWidgetItem *item, Qt::KeyboardModifiers modifiers = {},
           Qt::MouseButton button = Qt::LeftButton)
{
    const QRect r = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), button, modifiers, r.center());
}

} // namespace

class tst_TFrameBDTS : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlsStartWithTheirCaptionsHintsAndStates()
    {
        SimRig rig;
        TFrameBDTS frame(rig.session);
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
            QVERIFY(child<QTreeWidget>(frame, tree)->isVisible());
        QVERIFY(rig.session.databasePage().frameExists());
    }

    void readingFromTheInstrumentFillsTheTreeAndSelectionFollowsTheClicks()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        TFrameBDTS frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        child<QPushButton>(frame, "btnReadBDTSFromVir")->click();
        QVERIFY(!child<QTreeWidget>(frame, "TreeViewVir")->isVisible());
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));
        auto *tree = child<QTreeWidget>(frame, "TreeViewVir");
        QVERIFY(tree->isVisible());
        QCOMPARE(tree->topLevelItemCount(), 4);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("TORCH-инфекции"));
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox1")->title(),
                 QStringLiteral("Список ТС в приборе (12):"));
        QVERIFY(child<QPushButton>(frame, "btnSaveBDTSinFile")->isEnabled());

        click(tree, tree->topLevelItem(0));
        click(tree, tree->topLevelItem(2), Qt::ShiftModifier);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:3."));
        QCOMPARE(tree->selectedItems().size(), 3);
        QVERIFY(child<QPushButton>(frame, "btnDeleteTS")->isEnabled());
        click(tree, tree->topLevelItem(1), Qt::ControlModifier);
        QCOMPARE(tree->selectedItems().size(), 2);
        QVERIFY(!tree->topLevelItem(1)->isSelected());

        // A node of another level starts over; a right click selects too.
        tree->topLevelItem(3)->setExpanded(true);
        click(tree, tree->topLevelItem(3)->child(0), Qt::ControlModifier);
        QCOMPARE(tree->selectedItems().size(), 1);
        click(tree, tree->topLevelItem(0), {}, Qt::RightButton);
        QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{tree->topLevelItem(0)});
        // The selection stays visible when the tree loses focus.
        QCOMPARE(tree->palette().color(QPalette::Inactive, QPalette::Highlight),
                 tree->palette().color(QPalette::Active, QPalette::Highlight));

        // Collapsing a group hides its selected child: it leaves the selection.
        tree->topLevelItem(3)->setExpanded(true);
        click(tree, tree->topLevelItem(3)->child(0));
        QVERIFY(tree->topLevelItem(3)->child(0)->isSelected());
        tree->collapseItem(tree->topLevelItem(3));
        QVERIFY(!tree->topLevelItem(3)->child(0)->isSelected());
        QVERIFY(!child<QPushButton>(frame, "btnDeleteTS")->isEnabled());

        click(tree, tree->topLevelItem(0), {}, Qt::RightButton);
        child<QPushButton>(frame, "btnDeleteTS")->click();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Из списка прибора удалено 3 ТС"));
        QCOMPARE(tree->topLevelItemCount(), 3);
        QVERIFY(child<QPushButton>(frame, "btnSaveAddTs")->isEnabled());
    }

    void cancelledOpenDialogDiscardsTheFileAndOpensInFilesInVirant()
    {
        SimRig rig;
        TFrameBDTS frame(rig.session);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        const QString path = rig.dataDir.filePath(QStringLiteral("demo.bdt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DemoDatabase::demo());
        f.close();

        QString folder;
        answerNextDialog(path, &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        QCOMPARE(folder, QDir(rig.dataDir.path()).filePath(QStringLiteral("FilesInVirant")));
        QCOMPARE(child<QTreeWidget>(frame, "TreeViewFile")->topLevelItemCount(), 4);
        QCOMPARE(child<QGroupBox>(frame, "RzGroupBox2")->title(),
                 QStringLiteral("Список ТС в файле (12):"));
        QVERIFY(child<QPushButton>(frame, "btnWriteBDTSInVir")->isEnabled());

        answerNextDialog(QString(), &folder);
        child<QPushButton>(frame, "btnReadBDTSFromFile")->click();
        QVERIFY(!page.database().file().exists());
        QCOMPARE(child<QTreeWidget>(frame, "TreeViewFile")->topLevelItemCount(), 4);
        child<QPushButton>(frame, "btnWriteBDTSInVir")->click();
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Список не считан из файла."));
    }

    void rowsFitTheirBoxesAtThePagesSizeInTheWindow()
    {
        SimRig rig;
        TFrameBDTS frame(rig.session);
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

    void saveDialogOpensInFilesInVirantAndReplacesAFileWithoutAsking()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        TFrameBDTS frame(rig.session);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        child<QPushButton>(frame, "btnReadBDTSFromVir")->click();
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));
        const QString folder = QDir(rig.dataDir.path()).filePath(QStringLiteral("FilesInVirant"));
        const QString path = QDir(folder).filePath(QStringLiteral("old.bdt"));
        QVERIFY(QDir().mkpath(folder));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
        old.close();

        QString seen;
        QStringList filters;
        QString suffix;
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QFileDialog *>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                seen = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                suffix = dialog->defaultSuffix();
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
                return;
            }
        });
        child<QPushButton>(frame, "btnSaveBDTSinFile")->click();
        QCOMPARE(seen, folder);
        QCOMPARE(filters, QStringList{QStringLiteral("Файлы данных (*.bdt)")});
        QCOMPARE(suffix, QStringLiteral("bdt"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), page.database().instrument().image());
        QCOMPARE(rig.session.pane().text(), QStringLiteral("БД ТС записана в файл: old.bdt"));
    }

    void instrumentTreeWorksFromTheKeyboard()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        TFrameBDTS frame(rig.session);
        frame.resize(700, 500);
        frame.show();
        DatabasePage &page = rig.session.databasePage();
        child<QPushButton>(frame, "btnReadBDTSFromVir")->click();
        // During the read the list's own buttons wait for it.
        QVERIFY(!child<QPushButton>(frame, "btnSaveBDTSinFile")->isEnabled());
        QVERIFY(rig.runUntil([&] { return page.readsCompleted() == 1; }));
        auto *tree = child<QTreeWidget>(frame, "TreeViewVir");
        tree->setFocus();
        tree->setCurrentItem(tree->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{tree->topLevelItem(0)});
        QTest::keyClick(tree, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(rig.session.pane().text(), QStringLiteral("Выбрано  позиций:2."));
        QTest::keyClick(tree, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(tree->selectedItems().size(), 3);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{tree->topLevelItem(3)});
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(tree->topLevelItemCount(), 3);
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
        TFrameBDTS frame(rig.session);
        rig.instrument->setPowered(false);
        rig.link().checkLink();
        QVERIFY(!child<QPushButton>(frame, "btnReadBDTSFromVir")->isEnabled());
        rig.instrument->setPowered(true);
        rig.link().checkLink();
        QVERIFY(child<QPushButton>(frame, "btnReadBDTSFromVir")->isEnabled());
    }
};

QTEST_MAIN(tst_TFrameBDTS)
#include "tst_TFrameBDTS.moc"
