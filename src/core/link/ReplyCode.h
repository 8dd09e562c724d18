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

// The notices come on the instrument's own initiative, between replies as
// well as on an idle line; the program's jobs serve them in turn.
constexpr bool isNotice(char code)
{
    return code == char(ReplyCode::DensitiesMeasured) || code == char(ReplyCode::ResultsReady);
}

} // namespace kalent
