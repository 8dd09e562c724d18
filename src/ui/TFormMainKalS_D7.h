#pragma once

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
class PageNavigator;
class Session;
class SimulatorPanel;
class VirtualInstrument;

// The program's one window: menu bar and navigation bar with the same six
// actions, the page control with its five pages, the port panel and the status
// bar. It holds no state of its own: it mirrors the Session (link, message pane,
// pages) and forwards the user's clicks. Closing it saves, writes and sends
// nothing.
class TFormMainKalS_D7 : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;          // "КАЛЕНТ-сервис"
    static const QString ApplicationTitle; // "КАЛЕНТ-сервис 2008_06_06"
    static constexpr int ClientWidth = 634;
    static constexpr int ClientHeight = 421;

    // simulator: the built-in instrument behind --port sim, for its control
    // panel; null for a real port.
    explicit TFormMainKalS_D7(Session &session, VirtualInstrument *simulator = nullptr,
                              QWidget *parent = nullptr);
    ~TFormMainKalS_D7() override;

    // The reader (3) and results (4) pages: their widget, filling the page. The
    // window takes ownership.
    void setPageContent(int pageIndex, QWidget *content);
    // The firmware (1) and database (2) pages: makes their frame the first time
    // their action runs, before the page is shown; the frame is kept.
    void setFrameFactory(int pageIndex, std::function<QWidget *(QWidget *parent)> factory);

    // TabSheet1, TabShSoftVir, TabShBDTS, TabShReader, TabShResult.
    QWidget *page(int index) const;
    // What fills a page: its content or frame, or null before it exists.
    QWidget *pageContent(int index) const;
    // The built-in instrument's panel, or null on a real port.
    SimulatorPanel *simulatorPanel() const { return m_simulatorPanel; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QAction *makeAction(const QString &name, const QString &caption);
    void buildMenus();
    QWidget *buildWorkArea();
    void buildStatusBar();
    void mirrorPages();
    void placeContent(int index, QWidget *content);
    void createFrame(int index);
    void setInstrumentControlsEnabled(bool up);

    Session &m_session;
    PageNavigator &m_navigator;

    QAction *m_action1 = nullptr;
    QAction *m_actionExit = nullptr;
    QAction *m_actionSoftVirant = nullptr;
    QAction *m_actionBDTS = nullptr;
    QAction *m_actionVir2006 = nullptr;
    QAction *m_actionFile = nullptr;

    QTabWidget *m_pageControl = nullptr;
    std::array<QWidget *, 5> m_pages{};
    std::array<QWidget *, 5> m_contents{};
    std::array<std::function<QWidget *(QWidget *)>, 5> m_frameFactories;
    AboutPanel *m_about = nullptr;
    ElidingLabel *m_statusPane = nullptr;
    QProgressBar *m_progressBar = nullptr;
    SimulatorPanel *m_simulatorPanel = nullptr;
    bool m_simulatorPlaced = false;
};

} // namespace kalent
