#pragma once

#include "link/ReplyCode.h"

#include <QByteArray>

#include <variant>

namespace kalent {

// A whole message from the instrument: a reply, a notice or the restart
// report, exactly as it came, its code the first byte of bytes.
struct Message
{
    ReplyCode code;
    QByteArray bytes;

    bool operator==(const Message &other) const
    {
        return code == other.code && bytes == other.bytes;
    }
};

// A reply on its way: have bytes of the need it completes at (need -1 while
// its length is not known: a protocol text no length reply announced). The
// last progress of a reply says have == need, just before the message.
struct ReplyProgress
{
    ReplyCode code;
    int have = 0;
    int need = 0;

    bool operator==(const ReplyProgress &other) const
    {
        return code == other.code && have == other.have && need == other.need;
    }
};

using ReplyEvent = std::variant<Message, ReplyProgress>;

} // namespace kalent
