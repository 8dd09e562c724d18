#include "measurement/ProtocolHeading.h"

#include "common/Cp1251.h"
#include "measurement/ProtocolFileName.h"

#include <QRegularExpression>

namespace kalent {

ProtocolHeading ProtocolHeading::fromText(const QByteArray &protocolText)
{
    const QByteArray window =
        protocolText.mid(ProtocolFileName::WindowOffset, ProtocolFileName::WindowLength);
    ProtocolHeading heading;
    // " от" in windows-1251.
    const int ot = static_cast<int>(window.indexOf(QByteArrayLiteral("\x20\xEE\xF2")));
    if (ot >= 0)
        heading.number = Cp1251::decode(window.left(ot)).trimmed();
    static const QRegularExpression date(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d\\d"));
    const QRegularExpressionMatch match = date.match(QString::fromLatin1(window));
    if (match.hasMatch())
        heading.date = match.captured(0);
    return heading;
}

QString ProtocolHeading::text() const
{
    QString out = QStringLiteral("Протокол результатов");
    if (!number.isEmpty())
        out += QStringLiteral(" №") + number;
    if (!date.isEmpty())
        out += QStringLiteral(" от ") + date;
    return out;
}

} // namespace kalent
