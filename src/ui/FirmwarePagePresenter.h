#pragma once

#include "firmware/FirmwareState.h"

#include <QString>

namespace kalent {

// What the firmware page's widgets show, derived from the wizard's state alone.
struct FirmwarePageView
{
    QString fileLabel; // lbFileLoadPO and lbFileLoadPO2 alike
    QString fileTip;   // the whole path, for a label drawn elided
    bool loadEnabled = false;
    QString loadHint;
    // "Отменить загрузку" is shown exactly while it is usable.
    bool stopShown = false;
    // The file cannot change under a running upload.
    bool fileChoiceEnabled = true;

    bool operator==(const FirmwarePageView &o) const
    {
        return fileLabel == o.fileLabel && fileTip == o.fileTip && loadEnabled == o.loadEnabled &&
               loadHint == o.loadHint && stopShown == o.stopShown &&
               fileChoiceEnabled == o.fileChoiceEnabled;
    }
};

// The firmware page's presenter: every caption and enabled flag of the page
// as one function of the wizard's state.
namespace FirmwarePagePresenter {

FirmwarePageView present(const FirmwareState &state);
// The file label's two or three lines: the folder, then the file.
QString fileLabel(const FirmwareFile &file);

} // namespace FirmwarePagePresenter

} // namespace kalent
