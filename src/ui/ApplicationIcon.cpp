#include "ApplicationIcon.h"

// The resources of a static library are registered by hand, once, outside any
// namespace (the name is the .qrc file's).
static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace kalent {

QList<int> ApplicationIcon::sizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QIcon ApplicationIcon::icon()
{
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (int size : sizes())
        icon.addFile(QStringLiteral(":/icons/kalent-service-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace kalent
