#pragma once

#include "measurement/DesktopOpener.h"

namespace kalent {

// Hands a file to the desktop's default application for its type (QDesktopServices).
class DesktopServicesOpener : public DesktopOpener
{
public:
    bool openWithDesktop(const QString &path) override;
};

} // namespace kalent
