#pragma once

#include "link/ReplyEvents.h"

#include <QByteArray>

namespace kalent::test {

// A whole message as the dispatcher hands it to a listener: its code is its
// first byte.
inline Message message(const QByteArray &bytes)
{
    return Message{static_cast<ReplyCode>(bytes.at(0)), bytes};
}

} // namespace kalent::test
