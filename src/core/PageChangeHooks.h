#pragma once

namespace kalent {

// What the page-change rules ask of the features: the firmware wizard's
// operations and the relabelling of the reader grid. Session forwards each to
// the feature that owns it.
class PageChangeHooks
{
public:
    virtual ~PageChangeHooks() = default;
    // The firmware steps stop; nothing before the firmware page's first entry.
    virtual void stopFirmwareWizard() = 0;
    virtual void resetFirmwareWizard() = 0;
    virtual void updateFirmwareWizard() = 0;
    // The firmware page's entry: the port opened, the wizard reset, 115200 set
    // directly and the step worked out (FirmwareWizard::enterFirmwarePage).
    virtual void enterFirmwarePage() = 0;
    // A firmware upload is under way: leaving the page would cut it off, so the
    // navigator asks first.
    virtual bool firmwareUploadRunning() const { return false; }
    // After every page change, once the new page's rules have run.
    virtual void afterPageChange() {}
    // Empties the 96 value cells and writes the row and column headers.
    virtual void labelReaderGrid() = 0;
};

} // namespace kalent
