#pragma once

#include <QObject>

#include <array>
#include <functional>

namespace kalent {

class Connection;
class PageChangeHooks;

// The pages of the main window's page control, in their order there.
enum class Page { About, Firmware, Database, Reader, Results };
constexpr int PageCount = 5;
constexpr std::array<Page, PageCount> AllPages = {Page::About, Page::Firmware, Page::Database,
                                                  Page::Reader, Page::Results};
// The page's position in the page control.
constexpr int pageIndex(Page page)
{
    return static_cast<int>(page);
}

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
//
// It also says which actions may run now: those that need the instrument wait
// for the link indicator.
class PageNavigator : public QObject
{
    Q_OBJECT
public:
    // hooks may be null (no feature installed yet); it must outlive the navigator.
    PageNavigator(Connection &connection, PageChangeHooks *hooks, QObject *parent = nullptr);

    void setHooks(PageChangeHooks *hooks) { m_hooks = hooks; }
    PageChangeHooks *hooks() const { return m_hooks; }

    Page activePage() const { return m_active; }
    bool tabVisible(Page page) const { return m_visible[slot(page)]; }
    // The link check asks this: the firmware wizard follows the line only here.
    bool firmwarePageActive() const { return m_active == Page::Firmware; }
    // Whether the action that shows the page may run: those of the firmware,
    // database and reader pages need the instrument (the link indicator on),
    // the results page's does not. The window's actions and links mirror it.
    bool actionEnabled(Page page) const;

    // The user clicked a tab: its page is selected when
    // the tab is visible; other indexes do nothing.
    void tabClicked(int index);
    // A visible page chosen as by its tab.
    void selectPage(Page page);

    // The action that shows a page, from the menu, the navigation bar or the
    // About page's links: the reader page relabels its grid on every run. The
    // About page has no action; it does nothing.
    void openPage(Page page);

    // Whether a held-back page change is waiting for the operator's answer.
    bool leaveUploadQuestionOpen() const { return static_cast<bool>(m_heldBack); }
    // The operator's answer: yes carries out the held-back change (the upload
    // stops and the pane says what the instrument was left with), no drops it.
    void answerLeaveUpload(bool leave);

Q_SIGNALS:
    // A page change waits for the operator: leave the running upload or not.
    void leaveUploadAsked();
    // The active page or a tab's visibility changed.
    void pagesChanged();
    // An action has finished showing its page (every run, changed or not); the
    // feature behind the page finishes its own part of the action here.
    void actionExecuted(kalent::Page page);
    // actionEnabled() changed for some page.
    void actionsEnabledChanged();

private:
    // False when the change to index must wait for the operator's answer;
    // change then runs again on a yes.
    bool mayChangeTo(Page page, std::function<void()> change);
    // Makes the page active, then its tab visible, as every action does.
    void showPage(Page page);
    // The rules of the page now active, once the line is free.
    void runPageChangeRules();
    void applyPageChangeRules();
    void setInstrumentUp(bool up);
    static size_t slot(Page page) { return static_cast<size_t>(page); }

    Connection &m_connection;
    PageChangeHooks *m_hooks;
    // Counts the page changes: rules that waited for the line run only for the last.
    quint64 m_changes = 0;
    Page m_active = Page::About;
    std::array<bool, PageCount> m_visible = {true, false, false, false, false};
    std::function<void()> m_heldBack; // the change waiting for an answer
    bool m_leaveConfirmed = false;
    // The link indicator as the last link check left it; on until the first check.
    bool m_instrumentUp = true;
};

} // namespace kalent
