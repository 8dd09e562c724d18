#include "common/Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kalent::Cp1251 {

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251");
    return decoder.decode(bytes);
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

} // namespace kalent::Cp1251
