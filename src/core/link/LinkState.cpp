#include "link/LinkState.h"

#include "link/LineSpeeds.h"

namespace kalent {

bool LinkState::atFastestSpeed() const
{
    return phase == LinkPhase::InContact && lineBaud == LineSpeeds::Fastest;
}

bool LinkState::operator==(const LinkState &o) const
{
    return ports == o.ports && portName == o.portName && portOpen == o.portOpen &&
           lineUp == o.lineUp && phase == o.phase && searchAskedFor == o.searchAskedFor &&
           lineBaud == o.lineBaud && agreedBaud == o.agreedBaud && reportedBaud == o.reportedBaud &&
           requestedBaud == o.requestedBaud && speedChangeRequested == o.speedChangeRequested &&
           portChanged == o.portChanged && lineWritten == o.lineWritten;
}

} // namespace kalent
