#pragma once

#include "BootLoader.h"
#include "TestSupport.h"
#include "firmware/FirmwareWizard.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>

namespace kalent::test {

// The built-in instrument on the manual clock with the firmware page as the
// window would drive it: the page-change rules and the operator's hands on the
// power switch and the stylus.
class FirmwareRig : public SimRig
{
public:
    FirmwareWizard &wizard() { return session.firmware(); }
    FirmwareUpload &upload() { return wizard().upload(); }
    BootLoader &bootLoader() { return *instrument->feature<BootLoader>(); }
    WizardStep step() { return wizard().step(); }

    // The firmware action: the page change's rules, then the file search.
    void openFirmwarePage()
    {
        if (!wizard().firmwarePageActive()) {
            wizard().stopFirmwareWizard();
            wizard().enterFirmwarePage();
        }
        wizard().pageOpened();
    }

    // The window's own way onto the page: the navigator runs the page-change
    // rules, the session the file search.
    void openFirmwarePageThroughNavigator() { session.navigator().openPage(Page::Firmware); }

    // Another main page selected.
    void leaveFirmwarePage() { wizard().stopFirmwareWizard(); }

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

    // The start of step 2's second half for the given file: the page entered,
    // the file chosen in the dialog, the instrument switched off.
    bool reachSwitchedOff(const QString &path, bool throughNavigator = false)
    {
        startUp();
        if (throughNavigator)
            openFirmwarePageThroughNavigator();
        else
            openFirmwarePage();
        wizard().fileChosen(path);
        powerOff();
        return step() == WizardStep::SwitchedOff;
    }

    // Step 3 open for the given file: switched off, then on with the stylus
    // held, the boot wait over.
    bool reachStepThree(const QString &path, bool throughNavigator = false)
    {
        if (!reachSwitchedOff(path, throughNavigator))
            return false;
        clock.advance(5000);
        powerOn(true);
        clock.advance(FirmwareWizard::BootWaitMs);
        port.clearWritten();
        return step() == WizardStep::Ready && session.connection().lineUp();
    }

    // The journal's upload lines after their time stamps.
    QStringList uploadJournal()
    {
        QFile file(session.journal().path());
        QStringList uploads;
        if (!file.open(QIODevice::ReadOnly))
            return uploads;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QString event = QString::fromUtf8(line.mid(line.indexOf('\t') + 1));
            if (event.startsWith(QStringLiteral("загрузка ПО в прибор")))
                uploads.append(event);
        }
        return uploads;
    }
};

} // namespace kalent::test
