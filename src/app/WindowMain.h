#pragma once

#include "CommandLine.h"

#include <QStringList>

namespace kalent {

// Whether a window can be shown here. On Linux that needs DISPLAY or
// WAYLAND_DISPLAY, or a platform named in QT_QPA_PLATFORM.
bool displayAvailable();

// The ports the start-up tries, in order: the --port name first (a typed path
// or "sim" too), then every port the system lists, in number order.
QStringList startupPorts(const QStringList &systemPorts, const QString &preferred);

// The composition root of the window: a real clock, the port control (with the
// built-in instrument behind "sim" when --port sim), the Session on the data
// folder, the window; then the start-up's port enumeration. Runs until the
// window closes. Needs a QApplication.
int runWindow(const CommandLine &commandLine);

} // namespace kalent
