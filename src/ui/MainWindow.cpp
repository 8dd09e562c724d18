#include "MainWindow.h"

#include "AboutPanel.h"
#include "ClockStatus.h"
#include "ElidingLabel.h"
#include "GroupBar.h"
#include "LinkLabel.h"
#include "ObjectNames.h"
#include "PortPanel.h"
#include "Session.h"
#include "SimulatorPanel.h"
#include "common/OperatorTexts.h"
#include "navigation/PageNavigator.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kalent {

const QString MainWindow::Caption = OperatorTexts::programName();
const QString MainWindow::ApplicationTitle = QStringLiteral("КАЛЕНТ-сервис 2008_06_06");

namespace {

// The window is driven from this one table: each page's sheet in the page
// control, and the action that shows it in the menu, the navigation bar and
// (but for the About page) as a link on the About page.
struct PageEntry
{
    QLatin1String sheetName;
    QString tabCaption;
    QLatin1String actionName;
    QString actionCaption;
};

const std::array<PageEntry, PageCount> &pageTable()
{
    namespace names = objectNames::mainWindow;
    static const std::array<PageEntry, PageCount> pages = {{
        {names::PageAbout, QStringLiteral("О программе"), names::ActionAbout,
         QStringLiteral("О программе")},
        {names::PageFirmware, QStringLiteral("ПО прибора"), names::ActionFirmware,
         QStringLiteral("Вирант")},
        {names::PageDatabase, QStringLiteral("БД ТС"), names::ActionDatabase,
         QStringLiteral("БД тест-систем")},
        {names::PageReader, QStringLiteral("Ридер ОП"), names::ActionReader,
         QStringLiteral("Оптические плотности")},
        {names::PageResults, QStringLiteral("Результаты"), names::ActionResults,
         QStringLiteral("Результаты")},
    }};
    return pages;
}

// The menus and the navigation bar's groups share their captions and actions.
const QStringList &groupCaptions()
{
    static const QStringList captions = {QStringLiteral("Пользователю"),
                                         QStringLiteral("Программирование"),
                                         QStringLiteral("Ридер")};
    return captions;
}

const PageEntry &entry(Page page)
{
    return pageTable()[static_cast<size_t>(page)];
}

} // namespace

MainWindow::MainWindow(Session &session, VirtualInstrument *simulator, QWidget *parent)
    : QMainWindow(parent), m_session(session), m_navigator(session.navigator())
{
    setObjectName(objectNames::mainWindow::Window);
    setWindowTitle(Caption);
    QFont windowFont = font();
    // MS Sans Serif where it exists; otherwise DejaVu Sans narrowed to about its
    // width, so the captions fit the fixed layout as they were drawn for it.
    windowFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    windowFont.setPixelSize(11);
    if (QFontInfo(windowFont).family() != QLatin1String("MS Sans Serif"))
        windowFont.setStretch(80);
    setFont(windowFont);

    buildActions();
    auto action = [this](Page page) {
        return m_pageActions[slot(page)];
    };
    const QList<QList<QAction *>> groups = {
        {action(Page::About), m_actionExit},
        {action(Page::Firmware), action(Page::Database)},
        {action(Page::Reader), action(Page::Results)},
    };
    buildMenus(groups);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(objectNames::mainWindow::Splitter);
    splitter->setHandleWidth(8);
    auto *groupBar = new GroupBar(splitter);
    for (int i = 0; i < groups.size(); ++i)
        groupBar->addGroup(groupCaptions()[i], groups[i]);
    splitter->addWidget(groupBar);
    QWidget *workArea = buildWorkArea();
    // The pages were drawn for the fixed window; their size hints must not make
    // the splitter squeeze the navigation bar.
    workArea->setMinimumWidth(1);
    splitter->addWidget(workArea);
    // Styled on the handle alone: a style sheet on the splitter would stop the
    // window's font from reaching the pages.
    splitter->handle(1)->setStyleSheet(
        QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                       " stop:0 #c8d4f0, stop:0.5 #8fa6dc, stop:1 #c8d4f0);"));
    splitter->setCollapsible(0, true);
    splitter->setCollapsible(1, false);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    buildStatusBar();

    setFixedSize(ClientWidth, ClientHeight);
    splitter->setSizes({137, ClientWidth - 137 - splitter->handleWidth()});
    move(337, 136);

    connect(&m_navigator, &PageNavigator::pagesChanged, this, &MainWindow::mirrorPages);
    connect(m_pageControl, &QTabWidget::currentChanged, &m_navigator, &PageNavigator::tabClicked);
    connect(&m_navigator, &PageNavigator::actionsEnabledChanged, this,
            &MainWindow::mirrorActionsEnabled);
    mirrorPages();
    mirrorActionsEnabled();

    if (simulator) {
        m_simulatorPanel = new SimulatorPanel(*simulator, this);
        addDockWidget(Qt::RightDockWidgetArea, m_simulatorPanel);
        m_simulatorPanel->setFloating(true);
        m_simulatorPanel->hide();
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::buildActions()
{
    for (Page p : AllPages) {
        auto *action = new QAction(entry(p).actionCaption, this);
        action->setObjectName(entry(p).actionName);
        if (p == Page::About) {
            // It has no handler, so it is always shown greyed.
            action->setEnabled(false);
        } else {
            connect(action, &QAction::triggered, &m_navigator,
                    [this, p] { m_navigator.openPage(p); });
        }
        m_pageActions[slot(p)] = action;
    }
    m_actionExit = new QAction(QStringLiteral("Выход"), this);
    m_actionExit->setObjectName(objectNames::mainWindow::ActionExit);
    connect(m_actionExit, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::buildMenus(const QList<QList<QAction *>> &groups)
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(objectNames::mainWindow::MenuBar);
    bar->setFixedHeight(24);
    for (int i = 0; i < groups.size(); ++i) {
        QMenu *menu = bar->addMenu(groupCaptions()[i]);
        for (QAction *action : groups[i]) {
            menu->addAction(action);
            // Exit stands apart from the rest of its menu.
            if (action == m_pageActions[slot(Page::About)])
                menu->addSeparator();
        }
        // Menus are windows of their own; let them take the window's font.
        menu->setAttribute(Qt::WA_WindowPropagation);
    }
}

QWidget *MainWindow::buildWorkArea()
{
    auto *workArea = new QWidget(this);
    workArea->setObjectName(objectNames::mainWindow::WorkArea);
    auto *layout = new QVBoxLayout(workArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_pageControl = new QTabWidget(workArea);
    m_pageControl->setObjectName(objectNames::mainWindow::PageControl);
    m_pageControl->setTabPosition(QTabWidget::South);
    m_pageControl->setTabShape(QTabWidget::Rounded);
    // Tab captions light up under the mouse.
    m_pageControl->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab:hover { color: #1c5ad6; }"));
    for (Page p : AllPages) {
        auto *page = new QWidget(m_pageControl);
        page->setObjectName(entry(p).sheetName);
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        m_pages[slot(p)] = page;
        m_pageControl->addTab(page, entry(p).tabCaption);
    }

    m_about = new AboutPanel(page(Page::About));
    placeContent(Page::About, m_about);
    for (Page p : AllPages) {
        if (LinkLabel *link = m_about->link(p))
            connect(link, &LinkLabel::clicked, m_pageActions[slot(p)], &QAction::trigger);
    }

    layout->addWidget(m_pageControl, 1);
    layout->addWidget(new PortPanel(m_session.connection(), workArea));
    return workArea;
}

void MainWindow::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(objectNames::mainWindow::StatusBar);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(19);

    // Texts carry names from the instrument and from files: plain text, never markup.
    // A long message must not widen the fixed window: it ends in "…" and is shown
    // whole in the tooltip.
    m_statusPane = new ElidingLabel(Qt::ElideRight, bar);
    m_statusPane->setObjectName(objectNames::mainWindow::StatusPane);
    m_statusPane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_statusPane, 1);

    m_progressBar = new QProgressBar(bar);
    m_progressBar->setObjectName(objectNames::mainWindow::ProgressBar);
    m_progressBar->setRange(0, 100);
    m_progressBar->setFormat(QStringLiteral("%p%"));
    m_progressBar->setTextVisible(true);
    m_progressBar->setFixedWidth(164);
    bar->addPermanentWidget(m_progressBar);
    bar->addPermanentWidget(new ClockStatus(bar));

    MessagePane &pane = m_session.pane();
    m_statusPane->setWholeText(pane.text());
    m_progressBar->setValue(pane.progress());
    connect(&pane, &MessagePane::textChanged, m_statusPane, &ElidingLabel::setWholeText);
    connect(&pane, &MessagePane::progressChanged, m_progressBar, &QProgressBar::setValue);
}

void MainWindow::mirrorPages()
{
    // The program's own changes of the page control run no rule; only the
    // user's tab clicks reach the navigator.
    const QSignalBlocker blocker(m_pageControl);
    for (Page p : AllPages) {
        // A page's frame is made when its tab is first shown, and kept.
        if (m_navigator.tabVisible(p))
            createFrame(p);
        m_pageControl->setTabVisible(pageIndex(p), m_navigator.tabVisible(p));
    }
    m_pageControl->setCurrentIndex(pageIndex(m_navigator.activePage()));
}

void MainWindow::placeContent(Page p, QWidget *content)
{
    QWidget *pageWidget = page(p);
    content->setParent(pageWidget);
    pageWidget->layout()->addWidget(content);
    m_contents[slot(p)] = content;
}

void MainWindow::setPageContent(Page p, QWidget *content)
{
    if (p == Page::About || !content)
        return;
    if (QWidget *old = m_contents[slot(p)])
        old->deleteLater();
    placeContent(p, content);
}

void MainWindow::setFrameFactory(Page p, std::function<QWidget *(QWidget *parent)> factory)
{
    m_frameFactories[slot(p)] = std::move(factory);
}

void MainWindow::createFrame(Page p)
{
    const auto &factory = m_frameFactories[slot(p)];
    if (!factory || m_contents[slot(p)])
        return;
    if (QWidget *frame = factory(page(p)))
        placeContent(p, frame);
}

void MainWindow::mirrorActionsEnabled()
{
    for (Page p : AllPages) {
        if (p == Page::About)
            continue;
        const bool enabled = m_navigator.actionEnabled(p);
        m_pageActions[slot(p)]->setEnabled(enabled);
        m_about->link(p)->setEnabled(enabled);
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_simulatorPanel && !m_simulatorPlaced) {
        m_simulatorPlaced = true;
        m_simulatorPanel->adjustSize();
        m_simulatorPanel->move(frameGeometry().right() + 12, geometry().top());
        m_simulatorPanel->show();
    }
}

QString MainWindow::leaveQuestion(LineJob job, bool forWrite)
{
    if (job == LineJob::None || job == LineJob::ContactSearch)
        return QStringLiteral("Обмен с прибором закончен. Закрыть программу?");
    const QString asked = QStringLiteral("Прервать и закрыть программу?\n");
    if (job == LineJob::DatabaseRead && forWrite)
        return QStringLiteral("Идёт чтение БД ТС из прибора для резервной копии перед записью. ") +
               asked + QStringLiteral("Запись БД ТС в прибор не будет начата.");
    const QString left = job == LineJob::FirmwareUpload
                             ? QStringLiteral("В приборе останется неполная программа.")
                         : job == LineJob::DatabaseWrite
                             ? QStringLiteral("БД ТС в приборе будет записана не полностью.")
                             : QStringLiteral("Данные из прибора не будут приняты.");
    return QStringLiteral("Идёт %1. ").arg(LineOwner::jobName(job)) + asked + left;
}

bool MainWindow::mayCutTheJob()
{
    LineOwner &line = m_session.line();
    DatabaseService &database = m_session.databasePage().service();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание!"), QString(),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(objectNames::mainWindow::LeaveWriteBox);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    // The question says what runs when it is answered, not what ran when it was asked.
    const auto ask = [&] {
        box.setText(leaveQuestion(line.job(), database.writeAhead()));
    };
    ask();
    connect(&line, &LineOwner::jobStarted, &box, ask);
    connect(&line, &LineOwner::jobEnded, &box, ask);
    connect(&database, &DatabaseService::stateChanged, &box, ask);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // "Выход" and the window's close button alike: an exchange with the
    // instrument (but the contact search, which loses nothing) is cut off only
    // when the operator says so, and then through its own cancel, so the pane
    // and the journal say how it ended before the window goes.
    LineOwner &line = m_session.line();
    if (line.busy() && line.job() != LineJob::ContactSearch) {
        if (!mayCutTheJob()) {
            event->ignore();
            return;
        }
        line.cancel(QStringLiteral("программа закрывается"));
    }
    QMainWindow::closeEvent(event);
}

} // namespace kalent
