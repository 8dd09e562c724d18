#pragma once

namespace kalent {

// What the page-change rules ask of the features: the firmware wizard's three
// operations and the relabelling of the reader grid. Session forwards each to
// the feature that owns it.
class PageChangeHooks
{
public:
    virtual ~PageChangeHooks() = default;
    // StopSoftWizard: does nothing until the firmware frame exists.
    virtual void stopSoftWizard() = 0;
    virtual void resetSoftWizard() = 0;
    virtual void updateSoftWizard() = 0;
    // Empties the 96 value cells and writes the row and column headers.
    virtual void labelReaderGrid() = 0;
};

} // namespace kalent
