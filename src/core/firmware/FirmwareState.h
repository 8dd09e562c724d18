#pragma once

#include <QString>

namespace kalent {

// Where the firmware wizard stands. FirmwareWizard::moveTo is the one place
// the step changes; each handler acts only in the steps it belongs to, so an
// event in another step (a late report, a signal of an upload that was
// stopped) changes nothing.
enum class WizardStep {
    Unopened,        // the page was never entered: page changes leave the pane alone
    Off,             // the page is not shown: no line event moves the wizard
    LeftMidUpload,   // the page was left during an upload; the page change's
                     // end says what the instrument was left with, then Off
    WaitingForLine,  // step 2 held back: another exchange runs on the line
    SwitchOff,       // step 2 begins: the instrument is to be switched off
    SwitchedOff,     // the line went down: switch on holding the stylus
    BootWait,        // the line came back: 5.5 s for a start-up report that
                     // would show the control program instead of programming mode
    Ready,           // step 3: the instrument waits in programming mode
    Sending,         // the image goes out; the operator may still stop it
    HandedOver,      // the port holds the whole rest: it can only finish
    AwaitingRestart, // every byte is on the line: the instrument writes it and restarts
    Restarting,      // ...and its line went down (the restart under way)
    RestartedUp,     // ...and came back: only its report "L" is awaited
    UploadClosed,    // an upload ended: the next update keeps its closing message
};

// The file the upload would send, and how it was found. The operator's choice
// outlives leaving the page; the default file is looked for again at every entry.
struct FirmwareFile
{
    enum class Source {
        NotSearched,   // before the page's first entry
        Missing,       // the default file is nowhere
        BesideProgram, // the default file in the process's working folder
        InDataFolder,  // the default file in the data folder's firmware folder
        Chosen,        // the operator's choice in the open dialog
    };
    Source source = Source::NotSearched;
    QString path;       // absolute; empty unless found or chosen
    QString dataFolder; // where the default file is looked for

    bool found() const { return !path.isEmpty(); }
    bool operator==(const FirmwareFile &o) const
    {
        return source == o.source && path == o.path && dataFolder == o.dataFolder;
    }
};

// Everything the firmware page shows, as one value: the presenter derives the
// page's captions and enabled flags from it alone.
struct FirmwareState
{
    WizardStep step = WizardStep::Unopened;
    FirmwareFile file;
    bool linkUp = false; // the instrument's line, as the last link check found it

    // From the confirmed load until the instrument has restarted.
    bool uploadUnderWay() const
    {
        return step == WizardStep::Sending || step == WizardStep::HandedOver ||
               step == WizardStep::AwaitingRestart || step == WizardStep::Restarting ||
               step == WizardStep::RestartedUp;
    }
    bool operator==(const FirmwareState &o) const
    {
        return step == o.step && file == o.file && linkUp == o.linkUp;
    }
    bool operator!=(const FirmwareState &o) const { return !(*this == o); }
};

} // namespace kalent
