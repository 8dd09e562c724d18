#include "TFormMainKalS_D7.h"

#include "AboutPanel.h"
#include "ClockStatus.h"
#include "ElidingLabel.h"
#include "GroupBar.h"
#include "LinkLabel.h"
#include "PortPanel.h"
#include "Session.h"
#include "SimulatorPanel.h"
#include "navigation/PageNavigator.h"

#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kalent {

const QString TFormMainKalS_D7::Caption = QStringLiteral("КАЛЕНТ-сервис");
const QString TFormMainKalS_D7::ApplicationTitle = QStringLiteral("КАЛЕНТ-сервис 2008_06_06");

namespace {

struct PageInfo
{
    const char *name;
    QString caption;
};

const std::array<PageInfo, PageCount> &pageInfo()
{
    static const std::array<PageInfo, PageCount> pages = {{
        {"TabSheet1", QStringLiteral("О программе")},
        {"TabShSoftVir", QStringLiteral("ПО прибора")},
        {"TabShBDTS", QStringLiteral("БД ТС")},
        {"TabShReader", QStringLiteral("Ридер ОП")},
        {"TabShResult", QStringLiteral("Результаты")},
    }};
    return pages;
}

} // namespace

TFormMainKalS_D7::TFormMainKalS_D7(Session &session, VirtualInstrument *simulator, QWidget *parent)
    : QMainWindow(parent), m_session(session), m_navigator(session.navigator())
{
    setObjectName(QStringLiteral("FormMainKalS_D7"));
    setWindowTitle(Caption);
    QFont windowFont = font();
    // MS Sans Serif where it exists; otherwise DejaVu Sans narrowed to about its
    // width, so the captions fit the fixed layout as they were drawn for it.
    windowFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    windowFont.setPixelSize(11);
    if (QFontInfo(windowFont).family() != QLatin1String("MS Sans Serif"))
        windowFont.setStretch(80);
    setFont(windowFont);

    buildMenus();
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("SCSplitter1"));
    splitter->setHandleWidth(8);
    auto *groupBar = new GroupBar(splitter);
    groupBar->addGroup(QStringLiteral("Пользователю"), {m_action1, m_actionExit});
    groupBar->addGroup(QStringLiteral("Программирование"), {m_actionSoftVirant, m_actionBDTS});
    groupBar->addGroup(QStringLiteral("Ридер"), {m_actionVir2006, m_actionFile});
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

    connect(&m_navigator, &PageNavigator::pagesChanged, this, &TFormMainKalS_D7::mirrorPages);
    connect(&m_navigator, &PageNavigator::frameNeeded, this, &TFormMainKalS_D7::createFrame);
    connect(m_pageControl, &QTabWidget::currentChanged, &m_navigator, &PageNavigator::tabClicked);
    connect(&m_navigator, &PageNavigator::actionsEnabledChanged, this,
            &TFormMainKalS_D7::mirrorActionsEnabled);
    mirrorPages();
    mirrorActionsEnabled();

    if (simulator) {
        m_simulatorPanel = new SimulatorPanel(*simulator, this);
        addDockWidget(Qt::RightDockWidgetArea, m_simulatorPanel);
        m_simulatorPanel->setFloating(true);
        m_simulatorPanel->hide();
    }
}

TFormMainKalS_D7::~TFormMainKalS_D7() = default;

QAction *TFormMainKalS_D7::makeAction(const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    return action;
}

void TFormMainKalS_D7::buildMenus()
{
    m_action1 = makeAction(QStringLiteral("Action1"), QStringLiteral("О программе"));
    // It has no handler, so it is always shown greyed.
    m_action1->setEnabled(false);
    m_actionExit = makeAction(QStringLiteral("ActionExit"), QStringLiteral("Выход"));
    m_actionSoftVirant = makeAction(QStringLiteral("ActionSoftVirant"), QStringLiteral("Вирант"));
    m_actionBDTS = makeAction(QStringLiteral("ActionBDTS"), QStringLiteral("БД тест-систем"));
    m_actionVir2006 =
        makeAction(QStringLiteral("ActionVir2006"), QStringLiteral("Оптические плотности"));
    m_actionFile = makeAction(QStringLiteral("ActionFile"), QStringLiteral("Результаты"));

    connect(m_actionExit, &QAction::triggered, this, &QWidget::close);
    connect(m_actionSoftVirant, &QAction::triggered, &m_navigator,
            &PageNavigator::actionSoftVirant);
    connect(m_actionBDTS, &QAction::triggered, &m_navigator, &PageNavigator::actionBDTS);
    connect(m_actionVir2006, &QAction::triggered, &m_navigator, &PageNavigator::actionVir2006);
    connect(m_actionFile, &QAction::triggered, &m_navigator, &PageNavigator::actionFile);

    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setFixedHeight(24);
    QMenu *user = bar->addMenu(QStringLiteral("Пользователю"));
    user->addAction(m_action1);
    user->addSeparator();
    user->addAction(m_actionExit);
    QMenu *programming = bar->addMenu(QStringLiteral("Программирование"));
    programming->addAction(m_actionSoftVirant);
    programming->addAction(m_actionBDTS);
    QMenu *reader = bar->addMenu(QStringLiteral("Ридер"));
    reader->addAction(m_actionVir2006);
    reader->addAction(m_actionFile);
    // Menus are windows of their own; let them take the window's font.
    for (QMenu *menu : {user, programming, reader})
        menu->setAttribute(Qt::WA_WindowPropagation);
}

QWidget *TFormMainKalS_D7::buildWorkArea()
{
    auto *workArea = new QWidget(this);
    workArea->setObjectName(QStringLiteral("RzPanel1"));
    auto *layout = new QVBoxLayout(workArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_pageControl = new QTabWidget(workArea);
    m_pageControl->setObjectName(QStringLiteral("RzPageControl1"));
    m_pageControl->setTabPosition(QTabWidget::South);
    m_pageControl->setTabShape(QTabWidget::Rounded);
    // Tab captions light up under the mouse.
    m_pageControl->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab:hover { color: #1c5ad6; }"));
    for (Page p : AllPages) {
        auto *page = new QWidget(m_pageControl);
        page->setObjectName(QString::fromLatin1(pageInfo()[slot(p)].name));
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        m_pages[slot(p)] = page;
        m_pageControl->addTab(page, pageInfo()[slot(p)].caption);
    }

    m_about = new AboutPanel(page(Page::About));
    placeContent(Page::About, m_about);
    connect(m_about->lbLoadPOInVir(), &LinkLabel::clicked, m_actionSoftVirant, &QAction::trigger);
    connect(m_about->lbLoadBDTS(), &LinkLabel::clicked, m_actionBDTS, &QAction::trigger);
    connect(m_about->lbReader(), &LinkLabel::clicked, m_actionVir2006, &QAction::trigger);
    connect(m_about->lbProtokol(), &LinkLabel::clicked, m_actionFile, &QAction::trigger);

    layout->addWidget(m_pageControl, 1);
    layout->addWidget(new PortPanel(m_session.connection(), workArea));
    return workArea;
}

void TFormMainKalS_D7::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("RzStatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(19);

    // Texts carry names from the instrument and from files: plain text, never markup.
    // A long message must not widen the fixed window: it ends in "…" and is shown
    // whole in the tooltip.
    m_statusPane = new ElidingLabel(Qt::ElideRight, bar);
    m_statusPane->setObjectName(QStringLiteral("RzStatusPane1"));
    m_statusPane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_statusPane, 1);

    m_progressBar = new QProgressBar(bar);
    m_progressBar->setObjectName(QStringLiteral("RzProgressBar1"));
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

void TFormMainKalS_D7::mirrorPages()
{
    // The program's own changes of the page control run no rule; only the
    // user's tab clicks reach the navigator.
    const QSignalBlocker blocker(m_pageControl);
    for (Page p : AllPages)
        m_pageControl->setTabVisible(pageIndex(p), m_navigator.tabVisible(p));
    m_pageControl->setCurrentIndex(pageIndex(m_navigator.activePage()));
}

void TFormMainKalS_D7::placeContent(Page p, QWidget *content)
{
    QWidget *pageWidget = page(p);
    content->setParent(pageWidget);
    pageWidget->layout()->addWidget(content);
    m_contents[slot(p)] = content;
}

void TFormMainKalS_D7::setPageContent(Page p, QWidget *content)
{
    if (p == Page::About || !content)
        return;
    if (QWidget *old = m_contents[slot(p)])
        old->deleteLater();
    placeContent(p, content);
}

void TFormMainKalS_D7::setFrameFactory(Page p, std::function<QWidget *(QWidget *parent)> factory)
{
    m_frameFactories[slot(p)] = std::move(factory);
}

void TFormMainKalS_D7::createFrame(Page p)
{
    const auto &factory = m_frameFactories[slot(p)];
    if (!factory || m_contents[slot(p)])
        return;
    if (QWidget *frame = factory(page(p)))
        placeContent(p, frame);
}

void TFormMainKalS_D7::mirrorActionsEnabled()
{
    const bool firmware = m_navigator.actionEnabled(Page::Firmware);
    const bool database = m_navigator.actionEnabled(Page::Database);
    const bool reader = m_navigator.actionEnabled(Page::Reader);
    const bool results = m_navigator.actionEnabled(Page::Results);
    m_actionSoftVirant->setEnabled(firmware);
    m_actionBDTS->setEnabled(database);
    m_actionVir2006->setEnabled(reader);
    m_actionFile->setEnabled(results);
    m_about->lbLoadPOInVir()->setEnabled(firmware);
    m_about->lbLoadBDTS()->setEnabled(database);
    m_about->lbReader()->setEnabled(reader);
    m_about->lbProtokol()->setEnabled(results);
}

void TFormMainKalS_D7::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_simulatorPanel && !m_simulatorPlaced) {
        m_simulatorPlaced = true;
        m_simulatorPanel->adjustSize();
        m_simulatorPanel->move(frameGeometry().right() + 12, geometry().top());
        m_simulatorPanel->show();
    }
}

} // namespace kalent
