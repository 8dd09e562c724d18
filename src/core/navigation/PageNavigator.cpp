#include "navigation/PageNavigator.h"

#include "PageChangeHooks.h"
#include "link/Connection.h"

#include <utility>

namespace kalent {

PageNavigator::PageNavigator(Connection &connection, PageChangeHooks *hooks, QObject *parent)
    : QObject(parent), m_connection(connection), m_hooks(hooks)
{
    connect(&connection, &Connection::lineChecked, this, &PageNavigator::setInstrumentUp);
}

bool PageNavigator::actionEnabled(Page page) const
{
    switch (page) {
    case Page::Firmware:
    case Page::Database:
    case Page::Reader:
        return m_instrumentUp;
    case Page::About:
    case Page::Results:
        break;
    }
    return true;
}

void PageNavigator::setInstrumentUp(bool up)
{
    if (up == m_instrumentUp)
        return;
    m_instrumentUp = up;
    Q_EMIT actionsEnabledChanged();
}

bool PageNavigator::mayChangeTo(Page page, std::function<void()> change)
{
    const bool changes = page != m_active || !m_visible[slot(page)];
    if (!changes || m_leaveConfirmed || !m_hooks || !m_hooks->firmwareUploadRunning())
        return true;
    m_heldBack = std::move(change);
    // The window's tabs go back to the page that is still active.
    Q_EMIT pagesChanged();
    Q_EMIT leaveUploadAsked();
    return false;
}

void PageNavigator::answerLeaveUpload(bool leave)
{
    std::function<void()> change = std::exchange(m_heldBack, {});
    if (!change || !leave)
        return;
    m_leaveConfirmed = true;
    change();
    m_leaveConfirmed = false;
}

void PageNavigator::tabClicked(int index)
{
    if (index >= 0 && index < PageCount)
        selectPage(AllPages[static_cast<size_t>(index)]);
}

void PageNavigator::selectPage(Page page)
{
    // A hidden tab cannot be clicked; only the actions show a page first.
    if (!tabVisible(page) || page == m_active)
        return;
    if (!mayChangeTo(page, [this, page] { selectPage(page); }))
        return;
    m_active = page;
    Q_EMIT pagesChanged();
    runPageChangeRules();
}

void PageNavigator::showPage(Page page)
{
    if (page == m_active && m_visible[slot(page)])
        return;
    m_active = page;
    m_visible[slot(page)] = true;
    Q_EMIT pagesChanged();
    runPageChangeRules();
}

void PageNavigator::runPageChangeRules()
{
    // A page change never cuts a job short: its rules (the contact search
    // among them) run once the line is free, and only the last change's.
    const quint64 change = ++m_changes;
    m_connection.whenLineFree([this, change] {
        if (change == m_changes)
            applyPageChangeRules();
    });
}

void PageNavigator::applyPageChangeRules()
{
    if (m_hooks)
        m_hooks->stopFirmwareWizard();
    switch (m_active) {
    case Page::Firmware:
        if (m_hooks) {
            m_hooks->enterFirmwarePage();
        } else {
            m_connection.ensurePortOpen();
            m_connection.setFastestSpeedDirectly();
        }
        break;
    case Page::Database:
    case Page::Reader:
    case Page::Results:
        // Opens the port if needed, asks for 115200 and shows "Стоп".
        m_connection.makeFastContact(0, Connection::ContactStart::SearchAtOnce);
        if (m_active == Page::Reader && m_hooks)
            m_hooks->labelReaderGrid();
        break;
    case Page::About:
        break;
    }
    if (m_hooks)
        m_hooks->afterPageChange();
}

void PageNavigator::openPage(Page page)
{
    if (page == Page::About || !mayChangeTo(page, [this, page] { openPage(page); }))
        return;
    showPage(page);
    // Every showing empties the grid, also when the page was already active.
    if (page == Page::Reader && m_hooks)
        m_hooks->labelReaderGrid();
    Q_EMIT actionExecuted(page);
}

} // namespace kalent
