#pragma once

#include "measurement/DesktopOpener.h"

#include <QObject>

namespace kalent {

// Hands a file to the desktop's default application for its type. On Linux and
// the other free desktops this is xdg-open, run as a process of ours so that its
// exit status is seen: QDesktopServices starts it detached and reports success
// even when no application takes the file. xdg-open may run on for as long as the
// application it started (desktops without their own opener), so its failure is
// reported when it exits, through the refusal given to openWatched. Elsewhere, and
// where xdg-open is missing, QDesktopServices answers at once.
class DesktopServicesOpener : public DesktopOpener
{
public:
    DesktopServicesOpener() = default;
    ~DesktopServicesOpener() override;
    DesktopServicesOpener(const DesktopServicesOpener &) = delete;
    DesktopServicesOpener &operator=(const DesktopServicesOpener &) = delete;

    bool openWithDesktop(const QString &path) override;
    bool openWatched(const QString &path, Refusal refused) override;

    // The xdg-open processes not yet finished.
    int runningCount() const;

    // The operator's words for xdg-open's exit status (1 to 4 are its own codes).
    static QString exitReason(int exitCode);

private:
    // Parent of the xdg-open processes still running.
    QObject m_running;
};

} // namespace kalent
