#pragma once

#include "link/LineOwner.h"
#include "navigation/PageNavigator.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QProgressBar;
class QTabWidget;

namespace kalent {

class AboutPanel;
class ElidingLabel;
class Session;
class SimulatorPanel;
class VirtualInstrument;

// The program's one window: menu bar and navigation bar with the same six
// actions, the page control with its five pages, the port panel and the status
// bar. It holds no state of its own: it mirrors the Session (link, message pane,
// pages) and forwards the user's clicks. Closing it saves, writes and sends
// nothing; during a write to the instrument (a database write, a firmware
// upload) it asks first, and "Да" cancels the write with its reason.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;          // "КАЛЕНТ-сервис"
    static const QString ApplicationTitle; // "КАЛЕНТ-сервис 2008_06_06"
    static constexpr int ClientWidth = 634;
    static constexpr int ClientHeight = 421;

    // simulator: the built-in instrument behind --port sim, for its control
    // panel; null for a real port.
    explicit MainWindow(Session &session, VirtualInstrument *simulator = nullptr,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // The reader and results pages: their widget, filling the page. The
    // window takes ownership.
    void setPageContent(Page page, QWidget *content);
    // The firmware and database pages: makes their frame the first time
    // their action runs, before the page is shown; the frame is kept.
    void setFrameFactory(Page page, std::function<QWidget *(QWidget *parent)> factory);

    // The tab sheet of each page: about, firmware, database, reader, results.
    QWidget *page(Page page) const { return m_pages[slot(page)]; }
    // What fills a page: its content or frame, or null before it exists.
    QWidget *pageContent(Page page) const { return m_contents[slot(page)]; }
    // The built-in instrument's panel, or null on a real port.
    SimulatorPanel *simulatorPanel() const { return m_simulatorPanel; }

    // The question asked before the program closes over job (None: it ended
    // while the question stood); forWrite: the read is the backup a write waits for.
    static QString leaveQuestion(LineJob job, bool forWrite = false);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildActions();
    void buildMenus(const QList<QList<QAction *>> &groups);
    QWidget *buildWorkArea();
    void buildStatusBar();
    void mirrorPages();
    void placeContent(Page page, QWidget *content);
    void createFrame(Page page);
    // The actions that need the instrument, as the navigator allows them.
    void mirrorActionsEnabled();
    // Yes or no, "no" by default; the question follows the job while it stands.
    bool mayCutTheJob();
    static size_t slot(Page page) { return static_cast<size_t>(page); }

    Session &m_session;
    PageNavigator &m_navigator;

    // Each page's action (the About page's is greyed: it has none), and Exit.
    std::array<QAction *, PageCount> m_pageActions{};
    QAction *m_actionExit = nullptr;

    QTabWidget *m_pageControl = nullptr;
    std::array<QWidget *, PageCount> m_pages{};
    std::array<QWidget *, PageCount> m_contents{};
    std::array<std::function<QWidget *(QWidget *)>, PageCount> m_frameFactories;
    AboutPanel *m_about = nullptr;
    ElidingLabel *m_statusPane = nullptr;
    QProgressBar *m_progressBar = nullptr;
    SimulatorPanel *m_simulatorPanel = nullptr;
    bool m_simulatorPlaced = false;
};

} // namespace kalent
