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

const std::array<PageInfo, 5> &pageInfo()
{
    static const std::array<PageInfo, 5> pages = {{
        {"TabSheet1", QStringLiteral("О программе")},
        {"TabShSoftVir", QStringLiteral("ПО прибора")},
        {"TabShBDTS", QStringLiteral("БД ТС")},
        {"TabShReader", QStringLiteral("Ридер ОП")},
        {"TabShResult", QStringLiteral("Результаты")},
    }};
    return pages;
}

bool validIndex(int index)
{
    return index >= 0 && index < PageNavigator::PageCount;
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
    connect(m_pageControl, &QTabWidget::currentChanged, &m_navigator, &PageNavigator::selectPage);
    connect(&session.connection(), &Connection::instrumentControlsEnabled, this,
            &TFormMainKalS_D7::setInstrumentControlsEnabled);
    mirrorPages();

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
    for (int i = 0; i < PageNavigator::PageCount; ++i) {
        auto *page = new QWidget(m_pageControl);
        page->setObjectName(QString::fromLatin1(pageInfo()[static_cast<size_t>(i)].name));
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        m_pages[static_cast<size_t>(i)] = page;
        m_pageControl->addTab(page, pageInfo()[static_cast<size_t>(i)].caption);
    }

    m_about = new AboutPanel(m_pages[0]);
    placeContent(PageNavigator::AboutPage, m_about);
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
    for (int i = 0; i < PageNavigator::PageCount; ++i)
        m_pageControl->setTabVisible(i, m_navigator.tabVisible(i));
    m_pageControl->setCurrentIndex(m_navigator.activePage());
}

void TFormMainKalS_D7::placeContent(int index, QWidget *content)
{
    QWidget *page = m_pages[static_cast<size_t>(index)];
    content->setParent(page);
    page->layout()->addWidget(content);
    m_contents[static_cast<size_t>(index)] = content;
}

void TFormMainKalS_D7::setPageContent(int pageIndex, QWidget *content)
{
    if (!validIndex(pageIndex) || pageIndex == PageNavigator::AboutPage || !content)
        return;
    if (QWidget *old = m_contents[static_cast<size_t>(pageIndex)])
        old->deleteLater();
    placeContent(pageIndex, content);
}

void TFormMainKalS_D7::setFrameFactory(int pageIndex,
                                       std::function<QWidget *(QWidget *parent)> factory)
{
    if (!validIndex(pageIndex))
        return;
    m_frameFactories[static_cast<size_t>(pageIndex)] = std::move(factory);
}

void TFormMainKalS_D7::createFrame(int index)
{
    const auto &factory = m_frameFactories[static_cast<size_t>(index)];
    if (!factory || m_contents[static_cast<size_t>(index)])
        return;
    if (QWidget *frame = factory(m_pages[static_cast<size_t>(index)]))
        placeContent(index, frame);
}

QWidget *TFormMainKalS_D7::page(int index) const
{
    return validIndex(index) ? m_pages[static_cast<size_t>(index)] : nullptr;
}

QWidget *TFormMainKalS_D7::pageContent(int index) const
{
    return validIndex(index) ? m_contents[static_cast<size_t>(index)] : nullptr;
}

void TFormMainKalS_D7::setInstrumentControlsEnabled(bool up)
{
    // ActionFile, ActionExit and lbProtokol work without the instrument.
    m_actionSoftVirant->setEnabled(up);
    m_actionBDTS->setEnabled(up);
    m_actionVir2006->setEnabled(up);
    m_about->lbReader()->setEnabled(up);
    m_about->lbLoadBDTS()->setEnabled(up);
    m_about->lbLoadPOInVir()->setEnabled(up);
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
