#include "database/DatabasePageState.h"

namespace kalent {

bool DatabasePageState::operator==(const DatabasePageState &o) const
{
    return title == o.title && instrumentCaption == o.instrumentCaption &&
           fileCaption == o.fileCaption && additionalCaption == o.additionalCaption &&
           instrumentColour == o.instrumentColour && fileColour == o.fileColour &&
           additionalColour == o.additionalColour && readFromVirEnabled == o.readFromVirEnabled &&
           saveToFileEnabled == o.saveToFileEnabled && deleteEnabled == o.deleteEnabled &&
           writeInstrumentListEnabled == o.writeInstrumentListEnabled &&
           readFromFileEnabled == o.readFromFileEnabled &&
           writeFileListEnabled == o.writeFileListEnabled && addEnabled == o.addEnabled &&
           virTreeVisible == o.virTreeVisible && fileTreeVisible == o.fileTreeVisible &&
           addTreeVisible == o.addTreeVisible;
}

} // namespace kalent
