#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// The protocol's number and date as the instrument writes them in the 20
// characters at offset 92 ("<number> от DD.MM.YY"), for the header of a printed
// page. Either may be empty when the text does not carry it there.
struct ProtocolHeading
{
    QString number; // without its leading blanks
    QString date;   // "DD.MM.YY"

    static ProtocolHeading fromText(const QByteArray &protocolText);
    // "Протокол результатов №12 от 24.03.09", shortened to what is known.
    QString text() const;
};

} // namespace kalent
