#include "database/DatabasePageState.h"

namespace kalent {

bool DatabasePageState::operator==(const DatabasePageState &o) const
{
    return job == o.job && instrumentTs == o.instrumentTs && fileTs == o.fileTs &&
           additionalTs == o.additionalTs && instrumentListExists == o.instrumentListExists &&
           fromDevice == o.fromDevice && fromFile == o.fromFile &&
           instrumentEdited == o.instrumentEdited && selected == o.selected &&
           instrumentTreeShown == o.instrumentTreeShown && fileTreeShown == o.fileTreeShown &&
           additionalTreeShown == o.additionalTreeShown;
}

} // namespace kalent
