#include "common/SafeFileName.h"

#include "common/Cp1251.h"

namespace kalent::SafeFileName {

namespace {

bool unsafeCharacter(QChar c)
{
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
        return true;
    if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
        return true;
#ifdef Q_OS_WIN
    // "C:name" names a file relative to another drive's current folder; the others
    // are refused by the file system, and a refused automatic save loses the table.
    if (QStringView(u":<>\"|?*").contains(c))
        return true;
#endif
    return false;
}

} // namespace

QString make(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe)
        if (unsafeCharacter(c))
            c = QLatin1Char('_');
    // Repeated, so "..." cannot leave a ".." behind.
    while (safe.contains(QLatin1String("..")))
        safe.replace(QLatin1String(".."), QLatin1String("_."));
    if (safe.isEmpty() || safe == QLatin1String("."))
        safe = QStringLiteral("_");
    return safe;
}

QString fromInstrument(const QByteArray &bytes)
{
    return make(Cp1251::decode(bytes));
}

} // namespace kalent::SafeFileName
