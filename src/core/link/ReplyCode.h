#pragma once

namespace kalent {

// The first byte of every message the instrument sends.
enum class ReplyCode : char {
    FileName = '2',
    ContactAnswer = 'B',
    DensityBlock = 'D',
    DensitiesMeasured = 'G',
    StartupReport = 'L',
    ProtocolLength = 'N',
    PageCount = 'R',
    ProtocolText = 'd',
    ResultsReady = 'g',
    PageWanted = 'm',
    DatabasePage = 'r',
    // A database page the instrument would not take (instead of "m").
    PageRefused = 'x',
};

// The fixed lengths of the replies that collect, code included: written here
// once, read by the decoder and by whoever parses the reply.
namespace ReplyLength {
constexpr int FileName = 19;
constexpr int DensityBlock = 873;
constexpr int ProtocolLength = 6;
constexpr int DatabasePage = 529;
// "R", one byte not used, three count characters (more digits may follow).
constexpr int ShortestPageCount = 5;
// The longest legal reply: "d", a text of up to 99,997 bytes and a final byte.
constexpr int Longest = 99999;
} // namespace ReplyLength

// The notices come on the instrument's own initiative, between replies as
// well as on an idle line; the program's jobs serve them in turn.
constexpr bool isNotice(ReplyCode code)
{
    return code == ReplyCode::DensitiesMeasured || code == ReplyCode::ResultsReady;
}

} // namespace kalent
