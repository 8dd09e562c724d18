#pragma once

#include "measurement/DesktopOpener.h"

#include <QList>
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
    bool openWatched(const QString &path, Refusal refused) override
    {
        laterRefusals.append(std::move(refused));
        return openWithDesktop(path);
    }
    QStringList opened;
    bool refuse = false;
    // One per openWatched call: calling it is the desktop refusing that file late.
    QList<Refusal> laterRefusals;
};

} // namespace kalent::test
