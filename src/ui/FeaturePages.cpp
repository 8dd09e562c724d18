#include "FeaturePages.h"

#include "BootLoader.h"
#include "BootLoaderView.h"
#include "ReaderPage.h"
#include "ResultsPage.h"
#include "Session.h"
#include "SimulatorPanel.h"
#include "TFormMainKalS_D7.h"
#include "TFrameBDTS.h"
#include "TFrameSoftVir.h"
#include "VirtualInstrument.h"

namespace kalent {

void installFeaturePages(TFormMainKalS_D7 &window, Session &session, DesktopOpener &opener,
                         VirtualInstrument *instrument)
{
    window.setFrameFactory(PageNavigator::FirmwarePage, [&session](QWidget *parent) -> QWidget * {
        return new TFrameSoftVir(session, parent);
    });
    window.setFrameFactory(PageNavigator::DatabasePage, [&session](QWidget *parent) -> QWidget * {
        return new TFrameBDTS(session, parent);
    });
    // The firmware action ends once its page is shown: the file search, the
    // wizard's step and the layout.
    QObject::connect(
        &session.navigator(), &PageNavigator::actionExecuted, &window, [&window](int index) {
            if (index != PageNavigator::FirmwarePage)
                return;
            auto *frame =
                qobject_cast<TFrameSoftVir *>(window.pageContent(PageNavigator::FirmwarePage));
            if (frame) {
                frame->beforeShow();
                frame->afterShow();
            }
        });
    window.setPageContent(PageNavigator::ReaderPage, new ReaderPage(session, opener));
    window.setPageContent(PageNavigator::ResultsPage, new ResultsPage(session));
    if (instrument && window.simulatorPanel()) {
        if (auto *bootLoader = instrument->feature<BootLoader>())
            window.simulatorPanel()->addSection(new BootLoaderView(*bootLoader));
    }
}

} // namespace kalent
