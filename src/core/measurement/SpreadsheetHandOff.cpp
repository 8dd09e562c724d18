#include "measurement/SpreadsheetHandOff.h"

#include "measurement/DesktopOpener.h"

#include <QPointer>

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
    // The desktop may answer after this hand-off is gone (the program closing).
    QPointer<SpreadsheetHandOff> self(this);
    const auto refused = [self, path](const QString &reason) {
        if (self)
            self->desktopRefused(path, reason);
    };
    if (!opener.openWatched(path, refused))
        return false;
    m_heldFile = path;
    m_shown = true;
    Q_EMIT changed();
    return true;
}

void SpreadsheetHandOff::desktopRefused(const QString &path, const QString &reason)
{
    if (m_shown && m_heldFile == path)
        drop();
    Q_EMIT refusedLater(path, reason);
}

} // namespace kalent
