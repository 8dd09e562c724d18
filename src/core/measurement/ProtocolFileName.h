#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// The automatic name of a saved protocol, built from the protocol's own text:
// the instrument puts "<number> от DD.MM.YY" in the 20 characters at offset 92,
// and the name is "20YY_MM_DD Pr №<number>" (blanks before the number kept).
// When that window holds no date in the DD.MM.YY form (a short text, no "." or
// no digits around it) the name is the undated "Pr №<number>". The result is
// always a safe single file name.
namespace ProtocolFileName {
constexpr int WindowOffset = 92;
constexpr int WindowLength = 20;
QString build(const QByteArray &protocolText);
} // namespace ProtocolFileName

} // namespace kalent
