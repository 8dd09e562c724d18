#pragma once

#include "InstrumentFeature.h"

namespace kalent {

// The link's own commands: the contact probe "B" (answered "B") and the speed
// change "b"+code, after which the instrument listens and answers at the new speed.
class LinkCommands : public InstrumentFeature
{
public:
    static int baudForCode(int code);
    int consume(InstrumentControl &instrument, const QByteArray &heard) override;
};

} // namespace kalent
