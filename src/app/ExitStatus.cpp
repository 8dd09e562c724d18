#include "ExitStatus.h"

#include "HeadlessRun.h"
#include "StandardOutput.h"

namespace kalent::ExitStatus {

namespace {

bool &failureNoted()
{
    static bool noted = false;
    return noted;
}

} // namespace

void noteFailure()
{
    failureNoted() = true;
}

int settle(int actionStatus)
{
    const QString output = StandardOutput::finish();
    if (!output.isEmpty()) {
        HeadlessRun::printError(output);
        failureNoted() = true;
    }
    return actionStatus == 0 && failureNoted() ? 1 : actionStatus;
}

} // namespace kalent::ExitStatus
