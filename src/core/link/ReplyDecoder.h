#pragma once

#include <QByteArray>

#include <optional>

namespace kalent {

// The instrument's replies and notices as one byte stream: bytes in, whole
// messages out, the unread remainder kept. It knows no port, clock or feature,
// so it can be fed a stream split or merged anywhere.
//
// A message is recognised by its first byte and is complete at its length:
// the notices, the restart report, the contact answer, the page request and its
// refusal are one byte; the file name 19, the table 873, the protocol length 6, a database
// page 529, the protocol text the length the protocol-length reply announced;
// the page count "R", one byte, then at least three count characters and any
// further digits. Whatever follows a complete message is decoded in turn, so a
// notice right behind a reply (or another notice) is a message of its own; a
// byte inside a reply whose length is known is never taken for a notice.
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
    // The longest legal reply: "d", a text of up to 99,997 bytes and a final byte.
    static constexpr int LongestReply = 99999;
    // "R", one byte not used, three count characters.
    static constexpr int ShortestPageCount = 5;

    // The length of the message that starts with code: 0 for an unknown code,
    // -1 when the length is not known yet (a protocol text that no length reply
    // announced, a page count whose digits may still come).
    static int lengthOf(char code, int protocolLength);

    // Appends what one read delivered; an empty read counts as one byte 0.
    void feed(const QByteArray &piece);
    // The next whole message at the front, removed; nothing when the front is a
    // reply still collecting or nothing is left. Noise at the front empties
    // the remainder. protocolLength: the text length the last "N" announced.
    std::optional<QByteArray> next(int protocolLength);

    // What has been read and not yet decoded (a reply still collecting).
    const QByteArray &pending() const { return m_pending; }
    void clear() { m_pending.clear(); }
    // The remainder as it stands, removed (a page count cut short, taken after
    // a wait for its rest).
    QByteArray takePending();

private:
    // The length of the message at, as lengthOf() says (a page count measured
    // on the digits that came).
    int lengthAt(int at, int protocolLength) const;
    // True when everything from at on is whole messages, perhaps ending in one
    // still collecting.
    bool onlyMessagesFrom(int at, int protocolLength) const;

    QByteArray m_pending;
};

} // namespace kalent
