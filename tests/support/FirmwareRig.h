#pragma once

#include "BootLoader.h"
#include "TestSupport.h"
#include "firmware/FirmwareWizard.h"

#include <QDir>
#include <QFile>

namespace kalent::test {

// The built-in instrument on the manual clock with the firmware page as the
// window would drive it: the navigator's page query, the page-change rules and
// the operator's hands on the power switch and the stylus.
class FirmwareRig : public SimRig
{
public:
    bool onFirmwarePage = false;

    FirmwareRig()
    {
        wizard().setFirmwarePageQuery([this] { return onFirmwarePage; });
    }

    FirmwareWizard &wizard() { return session.firmware(); }
    FirmwareUpload &upload() { return wizard().upload(); }
    BootLoader &bootLoader() { return *instrument->feature<BootLoader>(); }

    // ActionSoftVirantExecute: the frame, the page change, the file search.
    void openFirmwarePage()
    {
        session.navigator().ensureFrame(Page::Firmware);
        if (!onFirmwarePage) {
            wizard().stopSoftWizard();
            onFirmwarePage = true;
            wizard().enterFirmwarePage();
        }
        wizard().actionSoftVirantExecuted();
    }

    // The window's own way onto the page: the navigator runs the page-change
    // rules and answers the wizard's "is the firmware page active".
    void openFirmwarePageThroughNavigator()
    {
        wizard().setFirmwarePageQuery([this] { return session.navigator().firmwarePageActive(); });
        session.navigator().ensureFrame(Page::Firmware);
        session.navigator().openPage(Page::Firmware);
        wizard().actionSoftVirantExecuted();
    }

    // Another main page selected.
    void leaveFirmwarePage()
    {
        onFirmwarePage = false;
        wizard().stopSoftWizard();
    }

    QString writeFile(const QString &relativePath, const QByteArray &bytes)
    {
        const QString path = QDir(dataDir.path()).filePath(relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    void powerOff() { instrument->setPowered(false); }
    void powerOn(bool holdingStylus)
    {
        instrument->setStylusHeld(holdingStylus);
        instrument->setPowered(true);
        instrument->setStylusHeld(false);
    }

    // Step 3 open for the given file: chosen in the dialog, the instrument
    // switched off and on with the stylus held, the boot wait over.
    bool reachStepThree(const QString &path, bool throughNavigator = false)
    {
        startUp();
        if (throughNavigator)
            openFirmwarePageThroughNavigator();
        else
            openFirmwarePage();
        wizard().fileChosen(path);
        powerOff();
        clock.advance(5000);
        powerOn(true);
        clock.advance(FirmwareWizard::BootWaitMs);
        port.clearWritten();
        return wizard().frameState().loadEnabled;
    }
};

} // namespace kalent::test
