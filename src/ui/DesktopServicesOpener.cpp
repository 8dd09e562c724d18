#include "DesktopServicesOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace kalent {

bool DesktopServicesOpener::openWithDesktop(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace kalent
