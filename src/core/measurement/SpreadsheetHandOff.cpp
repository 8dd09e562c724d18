#include "measurement/SpreadsheetHandOff.h"

#include "measurement/DesktopOpener.h"

namespace kalent {

void SpreadsheetHandOff::drop()
{
    m_heldFile.clear();
    m_shown = false;
    Q_EMIT changed();
}

void SpreadsheetHandOff::hold(const QString &path)
{
    m_heldFile = path;
    m_shown = false;
    Q_EMIT changed();
}

bool SpreadsheetHandOff::show(const QString &path, DesktopOpener &opener)
{
    drop();
    if (!opener.openWithDesktop(path))
        return false;
    m_heldFile = path;
    m_shown = true;
    Q_EMIT changed();
    return true;
}

} // namespace kalent
