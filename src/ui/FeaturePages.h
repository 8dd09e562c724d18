#pragma once

namespace kalent {

class DesktopOpener;
class Session;
class MainWindow;
class VirtualInstrument;

// Puts the features into the window: the reader and results pages at once, the
// firmware and database frames the first time their actions run, and, with the
// built-in instrument, the boot loader's view in the simulator panel. The opener
// must outlive the window.
void installFeaturePages(MainWindow &window, Session &session, DesktopOpener &opener,
                         VirtualInstrument *instrument);

} // namespace kalent
