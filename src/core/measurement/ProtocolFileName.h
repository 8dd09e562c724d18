#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// The automatic name of a saved protocol, built from the protocol's own text:
// the instrument puts "<number> от DD.MM.YY" in the 20 characters at offset 92,
// and the name is "20YY_MM_DD Pr №<number>" (blanks before the number kept).
// A number longer than that window leaves for the date (nine characters and
// more) is read on along the same heading line, so the name keeps its date
// and the whole number. When the heading holds no date in the DD.MM.YY form
// the name is the undated "Pr №<number>". The result is always a safe single
// file name.
namespace ProtocolFileName {
constexpr int WindowOffset = 92;
constexpr int WindowLength = 20;
// How far the heading line is read past the window for a long number.
constexpr int LongestHeading = 120;
QString build(const QByteArray &protocolText);
// Whether the name holds both a number and a date: only then does it name one
// protocol, and a file of that name is the same protocol read before.
bool complete(const QByteArray &protocolText);
// The file an automatic save writes in folder. A complete name replaces a file
// of its name (the same protocol saved again); an incomplete one never does:
// " (2)", " (3)", ... up to " (999)" is added to the first name not yet taken,
// and when all are taken the result is empty (the save is refused).
QString pathIn(const QString &folder, const QByteArray &protocolText);
} // namespace ProtocolFileName

} // namespace kalent
