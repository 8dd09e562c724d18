#include "measurement/ProtocolFileName.h"

#include "common/Cp1251.h"
#include "common/SafeFileName.h"

#include <cctype>

namespace kalent::ProtocolFileName {

namespace {

bool digitsAt(const QByteArray &w, int at)
{
    if (at < 0 || at + 2 > w.size())
        return false;
    return std::isdigit(static_cast<unsigned char>(w.at(at))) &&
           std::isdigit(static_cast<unsigned char>(w.at(at + 1)));
}

} // namespace

QString build(const QByteArray &protocolText)
{
    const QByteArray window = protocolText.mid(WindowOffset, WindowLength);
    // " от" in windows-1251.
    const int ot = static_cast<int>(window.indexOf(QByteArrayLiteral("\x20\xEE\xF2")));
    const QByteArray prefix = ot >= 0 ? window.left(ot) : QByteArray();
    const QString number = QStringLiteral(" Pr \u2116") + Cp1251::decode(prefix);

    const int dot = static_cast<int>(window.indexOf('.'));
    const bool dated = dot >= 0 && digitsAt(window, dot - 2) && digitsAt(window, dot + 1) &&
                       dot + 3 < window.size() && window.at(dot + 3) == '.' &&
                       digitsAt(window, dot + 4);
    if (!dated)
        return SafeFileName::make(number.mid(1));
    const QString day = QString::fromLatin1(window.mid(dot - 2, 2));
    const QString month = QString::fromLatin1(window.mid(dot + 1, 2));
    const QString year = QString::fromLatin1(window.mid(dot + 4, 2));
    return SafeFileName::make(QStringLiteral("20") + year + QLatin1Char('_') + month +
                              QLatin1Char('_') + day + number);
}

} // namespace kalent::ProtocolFileName
