#pragma once

#include "link/ReplyEvents.h"

#include <QByteArray>

#include <optional>
#include <vector>

namespace kalent {

// The instrument's replies and notices as one byte stream: bytes in, typed
// events out (whole messages, and the progress of a reply on its way), the
// unread remainder kept. It knows no port, clock or feature, so it can be fed
// a stream split or merged anywhere, and gives the same events.
//
// A message is recognised by its first byte and is complete at its length
// (ReplyLength): the notices, the restart report, the contact answer, the page
// request and its refusal are one byte; the file name 19, the table 873, the protocol
// length 6, a database page 529, the protocol text the length the last
// protocol-length reply ("N" and five digits) announced, which the decoder
// reads itself; the page count "R", one byte, then at least three count
// characters and any further digits that came with them (a count cut short is
// taken as it stands by flush(), once its rest had time to come). Whatever
// follows a complete message is decoded in turn, so a notice right behind a
// reply (or another notice) is a message of its own; a byte inside a reply
// whose length is known is never taken for a notice.
//
// Noise: a first byte that starts no message empties the remainder (at a wrong
// speed the whole read is garbage, and a letter in it must not pass for a
// reply), and so does noise behind a reply of more than one byte: a "D" and
// babble that merely reached the table's length is no table. Input that would
// grow the remainder past the longest reply is noise too and empties it with
// the piece, so a babbling line costs no memory.
class ReplyDecoder
{
public:
    // The length of the message that starts with code: 0 for an unknown code,
    // -1 when the length is not known yet (a protocol text that no length reply
    // announced, a page count whose digits may still come).
    static int lengthOf(char code, int protocolLength);
    // The text length a whole protocol-length reply announces; nothing when
    // its five characters are no number.
    static std::optional<int> announcedLength(const QByteArray &lengthReply);

    // Appends what one read delivered; an empty read counts as one byte 0.
    void feed(const QByteArray &piece);
    // Everything whole in what was fed, in order: each message (a reply longer
    // than one byte preceded by its last progress, have == need), then the
    // progress of the reply still collecting, if one is.
    std::vector<ReplyEvent> decode();
    // The page count cut short, taken as it stands (its rest was waited for);
    // nothing unless such a count is what is collecting.
    std::optional<Message> flush();
    // A reply still collecting never completes (a new exchange begins, the
    // input was discarded): it is dropped.
    void dropUnfinished() { m_pending.clear(); }

    // The reply still collecting, as progress.
    std::optional<ReplyProgress> collecting() const;
    // True while a page count waits for its count characters.
    bool pageCountCutShort() const;
    // The text length the last protocol-length reply announced (0 before one).
    int protocolLength() const { return m_protocolLength; }

private:
    // The length of the message at, as lengthOf() says (a page count measured
    // on the digits that came).
    int lengthAt(int at, int protocolLength) const;
    // True when everything from at on is whole messages, perhaps ending in one
    // still collecting.
    bool onlyMessagesFrom(int at, int protocolLength) const;

    QByteArray m_pending;
    int m_protocolLength = 0;
};

} // namespace kalent
