#pragma once

#include "CommandLine.h"

namespace kalent {

// Whether a window can be shown here. On Linux that needs DISPLAY or
// WAYLAND_DISPLAY, or a platform named in QT_QPA_PLATFORM.
bool displayAvailable();

// The window on --port, --trace and --data-dir (a WindowComposition), from its
// start-up until it closes. Needs a QApplication.
int runWindow(const CommandLine &commandLine);

} // namespace kalent
