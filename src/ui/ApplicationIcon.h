#pragma once

#include <QIcon>
#include <QList>

namespace kalent {

// The program's icon for its windows (what the window manager shows in the
// title bar, the task bar and the window switcher): the renders of the drawing
// that the package installs in the icon theme, one per size, so each size is
// drawn for itself instead of scaled from another.
class ApplicationIcon
{
public:
    static QIcon icon();
    static QList<int> sizes();
};

} // namespace kalent
