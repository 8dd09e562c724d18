#pragma once

#include "measurement/DesktopOpener.h"

#include <QStringList>

namespace kalent::test {

// Records what would have been handed to the desktop instead of launching anything.
class RecordingOpener : public DesktopOpener
{
public:
    bool openWithDesktop(const QString &path) override
    {
        opened.append(path);
        return !refuse;
    }
    QStringList opened;
    bool refuse = false;
};

} // namespace kalent::test
