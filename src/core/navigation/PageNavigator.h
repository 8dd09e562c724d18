#pragma once

#include <QObject>

#include <array>
#include <functional>

namespace kalent {

class Connection;
class PageChangeHooks;

// The page control of the main window without its widgets: which page is
// active, which tabs are visible, and the rules that run when the active page
// changes. The window mirrors this state and forwards tab clicks and actions.
//
// The rules run only when the active page really changes: a tab click on
// another page, an action that selects a visible page that is not active, or
// the first showing of a page whose tab was hidden. Selecting the page that is
// already active runs nothing.
//
// A change that would cut off a running firmware upload is held back and
// leaveUploadAsked() raised; the window asks the operator (default "no") and
// answers with answerLeaveUpload(). Until then the page stays as it is.
class PageNavigator : public QObject
{
    Q_OBJECT
public:
    // Page indexes: positions in the page control, visible or not.
    static constexpr int AboutPage = 0;    // TabSheet1
    static constexpr int FirmwarePage = 1; // TabShSoftVir
    static constexpr int DatabasePage = 2; // TabShBDTS
    static constexpr int ReaderPage = 3;   // TabShReader
    static constexpr int ResultsPage = 4;  // TabShResult
    static constexpr int PageCount = 5;

    // hooks may be null (no feature installed yet); it must outlive the navigator.
    PageNavigator(Connection &connection, PageChangeHooks *hooks, QObject *parent = nullptr);

    void setHooks(PageChangeHooks *hooks) { m_hooks = hooks; }
    PageChangeHooks *hooks() const { return m_hooks; }

    int activePage() const { return m_active; }
    bool tabVisible(int index) const;
    // The link check asks this: the firmware wizard follows the line only here.
    bool firmwarePageActive() const { return m_active == FirmwarePage; }
    // Whether the frame of page 1 or 2 has been asked for (it is kept once made).
    bool frameCreated(int index) const;

    // The user clicked the tab of a visible page (RzPageControl1Change).
    void selectPage(int index);

    // The actions, also run by the link labels of the About page.
    void actionSoftVirant(); // firmware page
    void actionBDTS();       // database page
    void actionVir2006();    // reader page, relabels the grid every time
    void actionFile();       // results page

    // Whether a held-back page change is waiting for the operator's answer.
    bool leaveUploadQuestionOpen() const { return static_cast<bool>(m_heldBack); }
    // The operator's answer: yes carries out the held-back change (the upload
    // stops and the pane says what the instrument was left with), no drops it.
    void answerLeaveUpload(bool leave);

Q_SIGNALS:
    // A page change waits for the operator: leave the running upload or not.
    void leaveUploadAsked();
    // The first run of the action of page 1 or 2, before its page is shown:
    // the window creates the page's frame now.
    void frameNeeded(int index);
    // The active page or a tab's visibility changed.
    void pagesChanged();
    // An action has finished showing its page (every run, changed or not); the
    // feature behind the page finishes its own part of the action here.
    void actionExecuted(int index);

private:
    // False when the change to index must wait for the operator's answer;
    // change then runs again on a yes.
    bool mayChangeTo(int index, std::function<void()> change);
    // Makes the page active, then its tab visible, as every action does.
    void showPage(int index);
    void runPageChangeRules();
    void ensureFrame(int index);

    Connection &m_connection;
    PageChangeHooks *m_hooks;
    int m_active = AboutPage;
    std::array<bool, PageCount> m_visible = {true, false, false, false, false};
    std::array<bool, PageCount> m_frameCreated = {false, false, false, false, false};
    std::function<void()> m_heldBack; // the change waiting for an answer
    bool m_leaveConfirmed = false;
};

} // namespace kalent
