#pragma once

#include "link/LineOwner.h"

#include <QByteArray>
#include <QString>

namespace kalent {

// The check of a finished database write: the instrument's database read back
// is compared page by page with the image sent. Taking every page is not
// holding them (an instrument may drop or garble one as it stores), so only a
// read-back equal to what was sent makes the write a success.
namespace WriteVerification {

struct Verdict
{
    JobOutcome outcome = JobOutcome::Failed;
    int firstDifferentPage = 0; // from 1; 0 when the pages agree or nothing was read back
    QString paneText;           // for the operator
    QString journalResult;      // the write's result as the journal gives it
};

// sent: the image written, of sentPages pages; readBack: the instrument's image
// read after it, empty when the read-back did not complete.
Verdict judge(const QByteArray &sent, int sentPages, const QByteArray &readBack);

} // namespace WriteVerification

} // namespace kalent
