#include "FeaturePages.h"

#include "BootLoader.h"
#include "BootLoaderView.h"
#include "DatabasePageView.h"
#include "FirmwarePage.h"
#include "MainWindow.h"
#include "ReaderPage.h"
#include "ResultsPage.h"
#include "Session.h"
#include "SimulatorPanel.h"
#include "VirtualInstrument.h"

namespace kalent {

void installFeaturePages(MainWindow &window, Session &session, DesktopOpener &opener,
                         VirtualInstrument *instrument)
{
    window.setFrameFactory(Page::Firmware, [&session](QWidget *parent) -> QWidget * {
        return new FirmwarePage(session, parent);
    });
    window.setFrameFactory(Page::Database, [&session](QWidget *parent) -> QWidget * {
        return new DatabasePageView(session, parent);
    });
    // The firmware action ends once its page is shown (the session has found
    // the file and worked out the step by then): the page lays itself out.
    QObject::connect(
        &session.navigator(), &PageNavigator::actionExecuted, &window, [&window](Page page) {
            if (page != Page::Firmware)
                return;
            if (auto *frame = qobject_cast<FirmwarePage *>(window.pageContent(Page::Firmware)))
                frame->pageShown();
        });
    window.setPageContent(Page::Reader, new ReaderPage(session, opener));
    window.setPageContent(Page::Results, new ResultsPage(session));
    if (instrument && window.simulatorPanel()) {
        if (auto *bootLoader = instrument->feature<BootLoader>())
            window.simulatorPanel()->addSection(new BootLoaderView(*bootLoader));
    }
}

} // namespace kalent
