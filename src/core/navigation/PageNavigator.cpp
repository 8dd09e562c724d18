#include "navigation/PageNavigator.h"

#include "PageChangeHooks.h"
#include "link/Connection.h"

#include <utility>

namespace kalent {

PageNavigator::PageNavigator(Connection &connection, PageChangeHooks *hooks, QObject *parent)
    : QObject(parent), m_connection(connection), m_hooks(hooks)
{}

bool PageNavigator::tabVisible(int index) const
{
    return index >= 0 && index < PageCount && m_visible[static_cast<size_t>(index)];
}

bool PageNavigator::frameCreated(int index) const
{
    return index >= 0 && index < PageCount && m_frameCreated[static_cast<size_t>(index)];
}

bool PageNavigator::mayChangeTo(int index, std::function<void()> change)
{
    const bool changes = index != m_active || !m_visible[static_cast<size_t>(index)];
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

void PageNavigator::selectPage(int index)
{
    // A hidden tab cannot be clicked; only the actions show a page first.
    if (!tabVisible(index) || index == m_active)
        return;
    if (!mayChangeTo(index, [this, index] { selectPage(index); }))
        return;
    m_active = index;
    Q_EMIT pagesChanged();
    runPageChangeRules();
}

void PageNavigator::showPage(int index)
{
    const auto i = static_cast<size_t>(index);
    if (index == m_active && m_visible[i])
        return;
    m_active = index;
    m_visible[i] = true;
    Q_EMIT pagesChanged();
    runPageChangeRules();
}

void PageNavigator::ensureFrame(int index)
{
    const auto i = static_cast<size_t>(index);
    if (m_frameCreated[i])
        return;
    m_frameCreated[i] = true;
    Q_EMIT frameNeeded(index);
}

void PageNavigator::runPageChangeRules()
{
    if (m_hooks)
        m_hooks->stopSoftWizard();
    switch (m_active) {
    case FirmwarePage:
        if (m_hooks) {
            m_hooks->enterFirmwarePage();
        } else {
            m_connection.ensurePortOpen();
            m_connection.setFastestSpeedDirectly();
        }
        break;
    case DatabasePage:
    case ReaderPage:
    case ResultsPage:
        // Opens the port if needed, asks for 115200 and shows "Стоп".
        m_connection.searchWithFastestSpeed();
        if (m_active == ReaderPage && m_hooks)
            m_hooks->labelReaderGrid();
        break;
    default:
        break;
    }
    if (m_hooks)
        m_hooks->afterPageChange();
}

void PageNavigator::actionSoftVirant()
{
    if (!mayChangeTo(FirmwarePage, [this] { actionSoftVirant(); }))
        return;
    ensureFrame(FirmwarePage);
    showPage(FirmwarePage);
    Q_EMIT actionExecuted(FirmwarePage);
}

void PageNavigator::actionBDTS()
{
    if (!mayChangeTo(DatabasePage, [this] { actionBDTS(); }))
        return;
    ensureFrame(DatabasePage);
    showPage(DatabasePage);
    Q_EMIT actionExecuted(DatabasePage);
}

void PageNavigator::actionVir2006()
{
    if (!mayChangeTo(ReaderPage, [this] { actionVir2006(); }))
        return;
    showPage(ReaderPage);
    // Every showing empties the grid, also when the page was already active.
    if (m_hooks)
        m_hooks->labelReaderGrid();
    Q_EMIT actionExecuted(ReaderPage);
}

void PageNavigator::actionFile()
{
    if (!mayChangeTo(ResultsPage, [this] { actionFile(); }))
        return;
    showPage(ResultsPage);
    Q_EMIT actionExecuted(ResultsPage);
}

} // namespace kalent
