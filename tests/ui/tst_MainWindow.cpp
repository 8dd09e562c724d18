#include "ClockStatus.h"
#include "ElidingLabel.h"
#include "LinkLabel.h"
#include "MainWindow.h"
#include "PageChangeHooks.h"
#include "SimulatorPanel.h"
#include "TestSupport.h"
#include "WidgetFinder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

class RecordingHooks : public PageChangeHooks
{
public:
    void stopFirmwareWizard() override { calls.append(QStringLiteral("stop")); }
    void resetFirmwareWizard() override { calls.append(QStringLiteral("reset")); }
    void updateFirmwareWizard() override { calls.append(QStringLiteral("update")); }
    void enterFirmwarePage() override
    {
        resetFirmwareWizard();
        updateFirmwareWizard();
    }
    void labelReaderGrid() override { calls.append(QStringLiteral("label")); }
    QStringList calls;
};

// The window on the built-in instrument and a manual clock, built before the
// start-up as the program builds it.
struct WindowRig
{
    SimRig rig;
    RecordingHooks hooks;
    MainWindow window{rig.session, rig.instrument.get()};

    WindowRig()
    {
        rig.session.navigator().setHooks(&hooks);
        rig.startUp();
    }
    template <typename T> T *find(const QString &name) const
    {
        return kalent::test::child<T>(window, name);
    }
    QAction *action(const QString &name) const { return find<QAction>(name); }
    QTabWidget *pages() const { return find<QTabWidget>(QStringLiteral("RzPageControl1")); }
    QString status() const { return find<QLabel>(QStringLiteral("RzStatusPane1"))->text(); }
    void click(QWidget *widget) const
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }
};

// The speed change is over: the link has found the instrument at baud.
bool settledAt(SimRig &rig, int baud)
{
    return rig.instrument->baud() == baud && rig.link().contact() && !rig.link().searching() &&
           rig.link().phase() != LinkPhase::ChangingSpeed;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowHasItsCaptionFixedSizeAndRegions()
    {
        WindowRig w;
        QCOMPARE(w.window.windowTitle(), QStringLiteral("КАЛЕНТ-сервис"));
        QCOMPARE(MainWindow::ApplicationTitle, QStringLiteral("КАЛЕНТ-сервис 2008_06_06"));
        QCOMPARE(w.window.minimumSize(), QSize(634, 421));
        QCOMPARE(w.window.maximumSize(), QSize(634, 421));

        auto *bar = w.find<QMenuBar>(QStringLiteral("ActionMainMenuBar1"));
        QVERIFY(bar);
        QCOMPARE(bar->height(), 24);
        QStringList menus;
        for (QAction *menu : bar->actions())
            menus.append(menu->text());
        QCOMPARE(menus, (QStringList{"Пользователю", "Программирование", "Ридер"}));
        const QList<QAction *> user = bar->actions().at(0)->menu()->actions();
        QCOMPARE(user.size(), 3);
        QCOMPARE(user.at(0)->objectName(), QStringLiteral("Action1"));
        QVERIFY(user.at(1)->isSeparator());
        QCOMPARE(user.at(2)->objectName(), QStringLiteral("ActionExit"));
        QCOMPARE(bar->actions().at(1)->menu()->actions(),
                 (QList<QAction *>{w.action("ActionSoftVirant"), w.action("ActionBDTS")}));
        QCOMPARE(bar->actions().at(2)->menu()->actions(),
                 (QList<QAction *>{w.action("ActionVir2006"), w.action("ActionFile")}));
        const QStringList captions = {
            "О программе",          "Выход",     "Вирант", "БД тест-систем",
            "Оптические плотности", "Результаты"};
        const QStringList names = {"Action1",    "ActionExit",    "ActionSoftVirant",
                                   "ActionBDTS", "ActionVir2006", "ActionFile"};
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(w.action(names.at(i))->text(), captions.at(i));
            // The navigation bar lists the same action under a hand cursor.
            auto *item = w.find<QPushButton>(names.at(i) + QStringLiteral("Item"));
            QVERIFY(item);
            QCOMPARE(item->text(), captions.at(i));
            QCOMPARE(item->cursor().shape(), Qt::PointingHandCursor);
        }

        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QCOMPARE(w.find<QWidget>(objectNames::mainWindow::NavigationBar)->width(), 137);
        QVERIFY(w.find<QSplitter>(QStringLiteral("SCSplitter1"))->isCollapsible(0));
        QVERIFY(w.find<QWidget>(QStringLiteral("RzPanel1")));
        auto *portBox = w.find<QGroupBox>(objectNames::portPanel::Panel);
        QCOMPARE(portBox->title(), QStringLiteral("Порт связи:"));
        QCOMPARE(portBox->height(), 39);
        QCOMPARE(w.find<QWidget>(QStringLiteral("RzStatusBar1"))->height(), 19);
        QCOMPARE(w.find<QProgressBar>(QStringLiteral("RzProgressBar1"))->width(), 164);
        QVERIFY(w.find<QLabel>(QStringLiteral("RzClockStatus1"))->width() >= 164);
        // The page control sits above the port panel, tabs at the bottom.
        QCOMPARE(w.pages()->tabPosition(), QTabWidget::South);
    }

    void navigationGroupsOpenAndCloseByTheirCaption()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *entry = w.find<QPushButton>(QStringLiteral("ActionVir2006Item"));
        QVERIFY(entry->isVisible());
        QPushButton *caption = nullptr;
        for (auto *button :
             w.find<QWidget>(objectNames::mainWindow::NavigationBar)->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("Ридер"))
                caption = button;
        QVERIFY(caption);
        w.click(caption);
        QVERIFY(!entry->isVisible());
        w.click(caption);
        QVERIFY(entry->isVisible());

        // An entry runs its action.
        w.click(entry);
        QCOMPARE(w.pages()->currentIndex(), 3);
    }

    void pagesStartOnAboutWithTheOtherTabsHidden()
    {
        WindowRig w;
        QTabWidget *pages = w.pages();
        QCOMPARE(pages->count(), 5);
        const QStringList names = {"TabSheet1", "TabShSoftVir", "TabShBDTS", "TabShReader",
                                   "TabShResult"};
        const QStringList captions = {"О программе", "ПО прибора", "БД ТС", "Ридер ОП",
                                      "Результаты"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), names.at(i));
            QCOMPARE(pages->tabText(i), captions.at(i));
            QCOMPARE(pages->isTabVisible(i), i == 0);
        }
        QCOMPARE(pages->currentIndex(), 0);
    }

    void aboutPageShowsItsTextsExactly()
    {
        WindowRig w;
        const auto text = [&w](const char *name) {
            return w.find<QLabel>(QString::fromLatin1(name))->text();
        };
        QCOMPARE(text("RzLabel1"), QStringLiteral("   КАЛЕНТ - сервис"));
        QCOMPARE(text("RzLabel2"), QStringLiteral("ВИРАНТ   "));
        QCOMPARE(text("RzLabel3"), QStringLiteral("\u00A9"));
        QCOMPARE(text("RzLabel10"), QStringLiteral("\u00AE"));
        QCOMPARE(text("RzLabel6"), QStringLiteral("(версия:04_11_2011.rx)"));
        QCOMPARE(text("RzLabel8"),
                 QStringLiteral("(Только для приборов типа:\n ВИРАНТ     V.<дата>.rx    )"));
        QCOMPARE(text("RzPanel3"),
                 QStringLiteral("Программа предназначена для\nсовместной  работы "
                                "анализатора\nиммуно-ферментных реакций  \n(ОРМИС - 01)\n"
                                "(версий ВИРАНТ-2006 и выше)\nс персональным компьютером."));
        QCOMPARE(text("RzPanel5"),
                 QStringLiteral("Технические требования:\nIBM совместимый\nперсональный "
                                "компьютер.\nWindows 98,2000,NT,XP.\n(Рекомендуемая скорость "
                                "обмена\nпорта связи - 115200бод)"));
        QCOMPARE(text("RzLabel5"), QStringLiteral("С помощью этй программы\nВы можете:"));
        QCOMPARE(text("lbLoadPOInVir"), QStringLiteral(" - Перепрограммировать прибор новой\n"
                                                       "      программой управления."));
        QCOMPARE(text("lbLoadBDTS"),
                 QStringLiteral(" - Записать в прибор новую базу данных\n      тест-систем."));
        QCOMPARE(text("lbReader"), QStringLiteral(" - Считать с прибора таблицу измеренных\n"
                                                  "      оптических плотностей."));
        QCOMPARE(text("lbProtokol"), QStringLiteral(" - Считать с прибора протокол результатов\n"
                                                    "      измерений."));

        const QStringList panels = {"RzPanel3", "RzPanel4", "RzPanel5"};
        const QList<QRect> bounds = {{8, 48, 225, 89}, {248, 48, 225, 185}, {8, 144, 225, 89}};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.find<QWidget>(panels.at(i))->geometry(), bounds.at(i));
        QCOMPARE(w.find<QWidget>(QStringLiteral("RzLabel10"))->pos(), QPoint(456, 264));
        QCOMPARE(w.find<QWidget>(QStringLiteral("RzLabel6"))->pos(), QPoint(304, 16));
        QCOMPARE(w.find<QWidget>(QStringLiteral("RzLabel8"))->pos(), QPoint(24, 280));
    }

    void aboutPagePaintsShadowsBelowAndRightOfThePanels()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *panel2 = w.find<QWidget>(QStringLiteral("RzPanel2"));
        const QImage image = panel2->grab().toImage();
        const QColor background = image.pixelColor(2, 100);
        for (const char *name : {"RzPanel3", "RzPanel4", "RzPanel5"}) {
            const QRect r = w.find<QWidget>(QString::fromLatin1(name))->geometry();
            // Just below and right of the panel: darker than the page.
            const QColor below = image.pixelColor(r.center().x(), r.bottom() + 2);
            const QColor right = image.pixelColor(r.right() + 2, r.center().y());
            QVERIFY2(below.lightness() < background.lightness() - 20, name);
            QVERIFY2(right.lightness() < background.lightness() - 20, name);
            // Seven pixels away the page is untouched.
            QCOMPARE(image.pixelColor(r.right() + 8, r.center().y()), background);
        }
    }

    void linkLabelsLightUpUnderTheMouse()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *link = w.find<LinkLabel>(QStringLiteral("lbReader"));
        const QColor light = link->palette().color(QPalette::Light);
        QCOMPARE(link->palette().color(QPalette::WindowText), light);
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(link, &move);
        QCOMPARE(link->palette().color(QPalette::WindowText),
                 link->palette().color(QPalette::ToolTipBase));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(link->palette().color(QPalette::WindowText), light);
    }

    void actionsAndLinksShowTheirPagesOnceAndRunTheRules()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QTabWidget *pages = w.pages();

        w.click(w.find<QWidget>(QStringLiteral("lbReader")));
        QCOMPARE(pages->currentIndex(), 3);
        QVERIFY(pages->isTabVisible(3));
        QCOMPARE(w.hooks.calls, (QStringList{"stop", "label", "label"}));
        QVERIFY(w.rig.link().searching());
        QCOMPARE(w.find<QPushButton>(QStringLiteral("btnConnect"))->text(), QStringLiteral("Стоп"));
        QVERIFY(w.rig.runUntil([&] { return w.rig.link().atFastestSpeed(); }));
        QCOMPARE(w.status(), QStringLiteral("Есть контакт с прибором"));

        // The reader page again: only the grid is labelled.
        w.hooks.calls.clear();
        w.action(QStringLiteral("ActionVir2006"))->trigger();
        QCOMPARE(w.hooks.calls, QStringList{"label"});
        QVERIFY(!w.rig.link().searching());

        w.hooks.calls.clear();
        w.action(QStringLiteral("ActionSoftVirant"))->trigger();
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(w.hooks.calls, (QStringList{"stop", "reset", "update"}));

        // A click on a visible tab runs the rules of its page; About only stops
        // the wizard.
        w.hooks.calls.clear();
        QTabBar *tabs = pages->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(w.rig.session.navigator().activePage(), Page::About);
        QCOMPARE(w.hooks.calls, QStringList{"stop"});
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
        QCOMPARE(w.rig.session.navigator().activePage(), Page::Reader);
        QCOMPARE(w.hooks.calls, (QStringList{"stop", "stop", "label"}));

        // Tabs once shown stay visible; the others stay hidden.
        QVERIFY(pages->isTabVisible(1));
        QVERIFY(!pages->isTabVisible(2));
        QVERIFY(pages->isTabVisible(3));
        QVERIFY(!pages->isTabVisible(4));
    }

    void instrumentControlsFollowTheLinkIndicator()
    {
        WindowRig w;
        const QStringList followers = {"ActionSoftVirant", "ActionBDTS", "ActionVir2006"};
        const QStringList links = {"lbReader", "lbLoadBDTS", "lbLoadPOInVir"};
        QVERIFY(!w.action(QStringLiteral("Action1"))->isEnabled());
        QVERIFY(!w.find<QPushButton>(QStringLiteral("Action1Item"))->isEnabled());

        w.rig.instrument->setPowered(false);
        w.rig.settle(100);
        QCOMPARE(w.status(), QStringLiteral("Нет связи с прибором"));
        for (const QString &name : followers) {
            QVERIFY2(!w.action(name)->isEnabled(), qPrintable(name));
            QVERIFY2(!w.find<QPushButton>(name + QStringLiteral("Item"))->isEnabled(),
                     qPrintable(name));
        }
        for (const QString &name : links)
            QVERIFY2(!w.find<QWidget>(name)->isEnabled(), qPrintable(name));
        QVERIFY(!w.find<QToolButton>(QStringLiteral("sbtnCommON"))->isEnabled());
        QVERIFY(w.action(QStringLiteral("ActionFile"))->isEnabled());
        QVERIFY(w.action(QStringLiteral("ActionExit"))->isEnabled());
        QVERIFY(w.find<QWidget>(QStringLiteral("lbProtokol"))->isEnabled());
        QVERIFY(!w.action(QStringLiteral("Action1"))->isEnabled());

        w.rig.instrument->setPowered(true);
        w.rig.settle(100);
        QCOMPARE(w.status(), QStringLiteral("Связь с прибором есть"));
        for (const QString &name : followers)
            QVERIFY2(w.action(name)->isEnabled(), qPrintable(name));
        for (const QString &name : links)
            QVERIFY2(w.find<QWidget>(name)->isEnabled(), qPrintable(name));
        QVERIFY(w.find<QToolButton>(QStringLiteral("sbtnCommON"))->isEnabled());
        QVERIFY(!w.action(QStringLiteral("Action1"))->isEnabled());
    }

    void resultsWorkWithTheLinkDown()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.rig.instrument->setPowered(false);
        w.rig.settle(100);

        w.click(w.find<QWidget>(QStringLiteral("lbProtokol")));
        QCOMPARE(w.pages()->currentIndex(), 4);
        QVERIFY(w.pages()->isTabVisible(4));
        QCOMPARE(w.hooks.calls, QStringList{"stop"});
        // The search asks for the line, finds it down and waits.
        QVERIFY(!w.rig.link().state().probing());
        QCOMPARE(w.status(), QStringLiteral("Нет связи с прибором"));

        // A disabled link does nothing when clicked.
        w.hooks.calls.clear();
        w.click(w.find<QWidget>(QStringLiteral("lbReader")));
        QCOMPARE(w.pages()->currentIndex(), 4);
        QVERIFY(w.hooks.calls.isEmpty());

        w.action(QStringLiteral("ActionFile"))->trigger();
        QVERIFY(w.hooks.calls.isEmpty());
    }

    void statusBarMirrorsTheMessagePane()
    {
        WindowRig w;
        auto *bar = w.find<QProgressBar>(QStringLiteral("RzProgressBar1"));
        w.rig.session.pane().setText(QStringLiteral("Порт отключен."));
        QCOMPARE(w.status(), QStringLiteral("Порт отключен."));
        w.rig.session.pane().setProgress(42);
        QCOMPARE(bar->value(), 42);
        QCOMPARE(bar->text(), QStringLiteral("42%"));
        w.rig.session.pane().setText(QString());
        QCOMPARE(w.status(), QString());
        w.rig.session.pane().setProgress(0);
        QCOMPARE(bar->value(), 0);

        // A name from the instrument or a file is shown as it is, never as markup.
        auto *pane = w.find<QLabel>(QStringLiteral("RzStatusPane1"));
        const QString markup = QStringLiteral("<i></i><b>2</b>");
        w.rig.session.pane().setText(markup);
        QVERIFY(pane->sizeHint().width() >= pane->fontMetrics().horizontalAdvance(markup));
    }

    void longMessageIsReadableWholeInTheTooltip()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *pane = w.find<ElidingLabel>(QStringLiteral("RzStatusPane1"));
        QVERIFY(pane);
        const QString longText =
            QStringLiteral("Добавление отменено: в списке прибора было бы 1006 страниц, а "
                           "помещается не больше 999.");
        w.rig.session.pane().setText(longText);
        QCOMPARE(pane->text(), longText);
        QVERIFY(pane->isElided());
        QVERIFY(pane->shownLines().constFirst().endsWith(QChar(0x2026)));
        QCOMPARE(pane->toolTip(), longText);
        // The fixed window keeps its size.
        QCOMPARE(w.window.width(), MainWindow::ClientWidth);

        w.rig.session.pane().setText(QStringLiteral("Порт отключен."));
        QVERIFY(!pane->isElided());
        QCOMPARE(pane->toolTip(), QString());
    }

    void portOnOffBoxLooksAsInertAsItIs()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *open = w.find<QCheckBox>(QStringLiteral("cbPortOpen"));
        QVERIFY(open->isChecked());
        QCOMPARE(open->focusPolicy(), Qt::NoFocus);
        const QImage still = open->grab().toImage();
        // Not drawn like an input box: the same box as a plain check box differs.
        QCheckBox plain(open->text());
        plain.setLayoutDirection(open->layoutDirection());
        plain.setChecked(true);
        plain.resize(open->size());
        QVERIFY(plain.grab().toImage() != still);
        // Pressing shows nothing and changes nothing; nor do the keys.
        QTest::mousePress(open, Qt::LeftButton, {}, open->rect().center());
        QVERIFY(!open->isDown());
        QCOMPARE(open->grab().toImage(), still);
        QTest::mouseRelease(open, Qt::LeftButton, {}, open->rect().center());
        QTest::keyClick(open, Qt::Key_Space);
        QVERIFY(open->isChecked());
        QCOMPARE(open->text(), QStringLiteral("вкл."));
        QCOMPARE(open->toolTip(), QStringLiteral("Включение/выключение порта."));
    }

    void portPanelShowsTheLinkStateWithItsHints()
    {
        WindowRig w;
        auto *port = w.find<QComboBox>(QStringLiteral("cbxNumPort"));
        auto *open = w.find<QCheckBox>(QStringLiteral("cbPortOpen"));
        auto *baud = w.find<QComboBox>(QStringLiteral("cbBaudRate"));
        auto *params = w.find<QLabel>(QStringLiteral("lbCommParam"));
        QCOMPARE(port->currentText(), QStringLiteral("sim"));
        QCOMPARE(port->count(), 1);
        QVERIFY(port->isEditable());
        QVERIFY(open->isChecked());
        QCOMPARE(open->text(), QStringLiteral("вкл."));
        QVERIFY(w.find<QToolButton>(QStringLiteral("sbtnCommON"))->isEnabled());
        QCOMPARE(params->text(), QStringLiteral("Параметры: 115200,n,8,1"));
        QCOMPARE(baud->currentText(), QStringLiteral("115200"));
        QCOMPARE(baud->count(), 6);
        QCOMPARE(w.find<QPushButton>(QStringLiteral("btnConnect"))->text(),
                 QStringLiteral("Контакт"));
        QCOMPARE(w.find<QPushButton>(QStringLiteral("btnVerifyConnect"))->text(),
                 QStringLiteral("?"));

        const QList<QPair<QString, QString>> hints = {
            {"cbxNumPort", "Выбор Com-порта."},
            {"cbPortOpen", "Включение/выключение порта."},
            {"sbtnCommON", "Индикатор связи."},
            {"lbCommParam", "Параметры порта: скорость,биты,паритет,стоп-бит"},
            {"cbBaudRate", "Установка новой скорости обмена."},
            {"btnVerifyConnect", "Проверка контакта с прибором."},
            {"btnConnect", "Установление контакта с прибором."}};
        for (const auto &hint : hints)
            QCOMPARE(w.find<QWidget>(hint.first)->toolTip(), hint.second);

        const QList<QPair<QString, QRect>> places = {{"cbPortOpen", {64, 16, 49, 17}},
                                                     {"sbtnCommON", {120, 14, 23, 22}},
                                                     {"lbCommParam", {152, 19, 129, 17}},
                                                     {"cbBaudRate", {288, 16, 65, 21}}};
        for (const auto &place : places)
            QCOMPARE(w.find<QWidget>(place.first)->geometry(), place.second);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *box = w.find<QWidget>(objectNames::portPanel::Panel);
        auto *connectButton = w.find<QWidget>(QStringLiteral("btnConnect"));
        auto *verify = w.find<QWidget>(QStringLiteral("btnVerifyConnect"));
        QCOMPARE(connectButton->size(), QSize(72, 23));
        QCOMPARE(verify->size(), QSize(24, 23));
        QVERIFY(connectButton->geometry().right() >= box->width() - 2);
        QCOMPARE(verify->geometry().right() + 1, connectButton->x());
    }

    void programUpdatesOfTheBoxesRunNoHandler()
    {
        WindowRig w;
        // A whole search: the program sets the speed box again and again.
        w.rig.instrument->setBaud(9600);
        w.window.findChild<QAction *>(objectNames::mainWindow::ActionResults)->trigger();
        QVERIFY(w.rig.runUntil([&] { return w.rig.link().atFastestSpeed(); }));
        QCOMPARE(w.find<QComboBox>(QStringLiteral("cbBaudRate"))->currentText(),
                 QStringLiteral("115200"));
        QVERIFY(!w.rig.statusLog.contains(QStringLiteral("Установление контакта с прибором.")));
        QVERIFY(!w.rig.link().state().portChanged);
        QCOMPARE(w.rig.link().state().requestedBaud, 115200);
    }

    void userChoiceOfSpeedRunsTheHandler()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *baud = w.find<QComboBox>(QStringLiteral("cbBaudRate"));
        baud->setFocus();
        QTest::keyClick(baud, Qt::Key_Up); // from 115200 to the item above
        QCOMPARE(w.rig.link().state().requestedBaud, 57600);
        QCOMPARE(w.status(), QStringLiteral("Установление контакта с прибором."));
        QVERIFY(w.rig.link().searching());
        QVERIFY(w.rig.runUntil([&] { return settledAt(w.rig, 57600); }));
        QCOMPARE(w.rig.instrument->baud(), 57600);
        QCOMPARE(baud->currentText(), QStringLiteral("57600"));

        // Typed text: a known speed runs the change; anything else is put back.
        baud->lineEdit()->selectAll();
        QTest::keyClicks(baud->lineEdit(), QStringLiteral("9600"));
        QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
        QCOMPARE(w.rig.link().state().requestedBaud, 9600);
        QVERIFY(w.rig.link().searching());
        QVERIFY(w.rig.runUntil([&] { return settledAt(w.rig, 9600); }));
        baud->lineEdit()->selectAll();
        QTest::keyClicks(baud->lineEdit(), QStringLiteral("12345"));
        QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
        QCOMPARE(baud->currentText(), QStringLiteral("9600"));
        QCOMPARE(w.rig.link().state().requestedBaud, 9600);
    }

    void typedPortPathRunsThePortChangeOnEnter()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *port = w.find<QComboBox>(QStringLiteral("cbxNumPort"));
        port->lineEdit()->selectAll();
        QTest::keyClicks(port->lineEdit(), QStringLiteral("/dev/pts/3"));
        // Nothing runs before Enter.
        QCOMPARE(w.rig.link().state().portName, QStringLiteral("sim"));
        QTest::keyClick(port->lineEdit(), Qt::Key_Return);
        QCOMPARE(w.rig.link().state().portName, QStringLiteral("/dev/pts/3"));
        QVERIFY(w.rig.link().state().portChanged);
        QCOMPARE(port->currentText(), QStringLiteral("/dev/pts/3"));
    }

    void portCannotBeChangedInContact()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.rig.link().contactOrStop();
        QVERIFY(w.rig.runUntil([&] { return w.rig.link().contact(); }));
        auto *port = w.find<QComboBox>(QStringLiteral("cbxNumPort"));
        port->lineEdit()->selectAll();
        QTest::keyClicks(port->lineEdit(), QStringLiteral("/dev/ttyS9"));
        QTest::keyClick(port->lineEdit(), Qt::Key_Return);
        QCOMPARE(port->currentText(), QStringLiteral("sim"));
        QVERIFY(!w.rig.link().state().portChanged);
    }

    void framesAreMadeOnceBeforeTheirPageShowsAndContentFillsItsPage()
    {
        WindowRig w;
        int made = 0;
        bool tabWasHidden = false;
        w.window.setFrameFactory(Page::Database, [&](QWidget *parent) {
            ++made;
            tabWasHidden = !w.pages()->isTabVisible(2);
            return new QLabel(QStringLiteral("frame"), parent);
        });
        auto *reader = new QLabel(QStringLiteral("reader"));
        w.window.setPageContent(Page::Reader, reader);
        QCOMPARE(reader->parentWidget(), w.window.page(Page::Reader));
        QCOMPARE(w.window.page(Page::Reader)->objectName(), QStringLiteral("TabShReader"));

        QCOMPARE(w.window.pageContent(Page::Database), nullptr);
        w.action(QStringLiteral("ActionBDTS"))->trigger();
        w.action(QStringLiteral("ActionFile"))->trigger();
        w.action(QStringLiteral("ActionBDTS"))->trigger();
        QCOMPARE(made, 1);
        QVERIFY(tabWasHidden);
        QWidget *frame = w.window.pageContent(Page::Database);
        QVERIFY(frame);
        QCOMPARE(frame->parentWidget(), w.window.page(Page::Database));
        QCOMPARE(w.pages()->currentWidget(), w.window.page(Page::Database));
    }

    void closingSendsAndWritesNothing()
    {
        WindowRig w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QVERIFY(w.rig.connectFast());
        w.rig.settle(300);
        w.rig.port.clearWritten();
        const QString status = w.status();

        w.action(QStringLiteral("ActionExit"))->trigger();
        QVERIFY(!w.window.isVisible());
        w.rig.settle(1000);
        QCOMPARE(w.rig.port.written(), QByteArray());
        QCOMPARE(QDir(w.rig.dataDir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
        QCOMPARE(w.rig.session.pane().text(), status);
    }

    void simulatorPanelDrivesTheBuiltInInstrument()
    {
        WindowRig w;
        SimulatorPanel *panel = w.window.simulatorPanel();
        QVERIFY(panel);
        QCOMPARE(panel->objectName(), QStringLiteral("SimulatorPanel"));
        auto *power = panel->findChild<QCheckBox *>(objectNames::simulator::Power);
        auto *stylus = panel->findChild<QCheckBox *>(objectNames::simulator::Stylus);
        auto *speed = panel->findChild<QLabel *>(objectNames::simulator::Speed);
        QVERIFY(power->isChecked());
        power->click();
        QVERIFY(!w.rig.instrument->isPowered());
        w.rig.settle(100);
        QCOMPARE(w.status(), QStringLiteral("Нет связи с прибором"));
        QVERIFY(!w.action(QStringLiteral("ActionBDTS"))->isEnabled());
        power->click();
        QVERIFY(w.rig.instrument->isPowered());
        stylus->click();
        QVERIFY(w.rig.instrument->stylusHeld());

        QVERIFY(speed->text().contains(QStringLiteral("115200")));
        w.rig.instrument->setBaud(9600);
        QVERIFY(speed->text().contains(QStringLiteral("9600")));

        auto *extra = new QLabel(QStringLiteral("upload"));
        panel->addSection(extra);
        QVERIFY(panel->isAncestorOf(extra));

        // "Measurement finished" puts G on the line to the program.
        QByteArray heard;
        connect(w.rig.instrument.get(), &VirtualInstrument::transmitted, this,
                [&heard](const QByteArray &bytes, int) { heard += bytes; });
        panel->findChild<QPushButton *>(objectNames::simulator::MeasurementFinished)->click();
        panel->findChild<QPushButton *>(objectNames::simulator::ResultsReady)->click();
        QCOMPARE(heard, QByteArray("Gg"));
    }

    void noSimulatorPanelOnARealPort()
    {
        SimRig rig;
        MainWindow window(rig.session);
        QCOMPARE(window.simulatorPanel(), nullptr);
        QCOMPARE(window.findChild<QWidget *>(objectNames::simulator::Panel), nullptr);
    }

    void clockShowsLongDateAndLongTimeWithoutZone()
    {
        const QDateTime moment(QDate(2026, 12, 7), QTime(8, 5, 9));
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        const QString text = ClockStatus::format(moment, russian);
        QVERIFY2(text.startsWith(russian.toString(moment.date(), QLocale::LongFormat) + ' '),
                 qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("8:05:09")), qPrintable(text));
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QVERIFY2(ClockStatus::format(moment, english).endsWith(QStringLiteral("8:05:09 AM")),
                 qPrintable(ClockStatus::format(moment, english)));
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
