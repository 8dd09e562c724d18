#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace kalent {

class ArrowLine;
class ElidingLabel;
class FirmwareWizard;
class Session;

// The firmware page's frame: step 1 (the file) and step 2 (programming mode)
// on the tab "Шаги 1,2", step 3 (the upload) on "Шаг 3", each beside a static
// picture of what the instrument's screen shows. It shows what its presenter
// derives from the wizard's state and forwards clicks; the open dialog and the
// confirmation box live here and tell the wizard their outcome.
//
// The firmware page's action, as the main window runs it: the frame is made
// when its tab is first shown; the page-change rules run, the session finds the
// file and works out the step; then pageShown() lays the page out.
class FirmwarePage : public QFrame
{
    Q_OBJECT
public:
    static constexpr int DesignWidth = 482;
    static constexpr int DesignHeight = 278;

    FirmwarePage(Session &session, QWidget *parent = nullptr);
    ~FirmwarePage() override;

    // The page has been shown by its action: the divider of RzSplitter1 to its
    // width − 200, then the layout.
    void pageShown();
    // Shares the panes of both splitters and centres the buttons and arrows.
    void layOut();

    // The handlers of the frame's buttons.
    void chooseOtherFile();
    void confirmAndLoad();
    void stopUpload();

    // Layout arithmetic (divisions truncate).
    static int centredLeft(int span, int controlWidth) { return (span - controlWidth) / 2; }
    static int leftPanePercent(int splitterWidth);
    static int dividerOnResize(int newWidth);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *splitTab(const QString &tabName, const QString &splitterName, QSplitter *&splitter);
    QWidget *buildStepsTab();
    QWidget *buildStepThreeTab();
    QWidget *buildModePicture(bool afterUpload);
    void mirror();
    // A page change during an upload: yes or no, "no" by default.
    void askLeaveUpload();
    void showError(const QString &text);
    void setDivider(QSplitter *splitter, int leftWidth);
    void settleTabs();

    Session &m_session;
    FirmwareWizard &m_wizard;
    QTabWidget *m_pages = nullptr;
    QSplitter *m_stepsSplitter = nullptr;
    QSplitter *m_stepThreeSplitter = nullptr;
    ElidingLabel *m_fileLabel = nullptr;
    ElidingLabel *m_fileLabel2 = nullptr;
    QPushButton *m_otherFile = nullptr;
    QPushButton *m_load = nullptr;
    QPushButton *m_stop = nullptr;
    ArrowLine *m_stepsArrow = nullptr;
    ArrowLine *m_stepThreeArrow = nullptr;
};

} // namespace kalent
