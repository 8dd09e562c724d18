#include "measurement/ProtocolFileName.h"

#include "common/Cp1251.h"
#include "common/SafeFileName.h"

#include <QDir>
#include <QFileInfo>

#include <cctype>

namespace kalent::ProtocolFileName {

namespace {

constexpr int MostSuffixes = 999;

bool digitsAt(const QByteArray &w, qsizetype at)
{
    if (at < 0 || at + 2 > w.size())
        return false;
    return std::isdigit(static_cast<unsigned char>(w.at(at))) &&
           std::isdigit(static_cast<unsigned char>(w.at(at + 1)));
}

// The number and the date ("20YY_MM_DD", empty when none) the heading holds.
struct Heading
{
    QByteArray number;
    QString date;
};

// The first "." of the text read as DD.MM.YY, at or after from.
QString dateIn(const QByteArray &text, qsizetype from)
{
    const qsizetype dot = text.indexOf('.', from);
    if (dot < 0 || !digitsAt(text, dot - 2) || !digitsAt(text, dot + 1) || dot + 3 >= text.size() ||
        text.at(dot + 3) != '.' || !digitsAt(text, dot + 4))
        return {};
    return QStringLiteral("20") + QString::fromLatin1(text.mid(dot + 4, 2)) + QLatin1Char('_') +
           QString::fromLatin1(text.mid(dot + 1, 2)) + QLatin1Char('_') +
           QString::fromLatin1(text.mid(dot - 2, 2));
}

Heading headingOf(const QByteArray &protocolText)
{
    // " от" in windows-1251.
    static const QByteArray ot = QByteArrayLiteral("\x20\xEE\xF2");
    const QByteArray window = protocolText.mid(WindowOffset, WindowLength);
    qsizetype at = window.indexOf(ot);
    Heading heading{at >= 0 ? window.left(at) : QByteArray(), dateIn(window, 0)};
    if (at >= 0 && !heading.date.isEmpty())
        return heading; // the instrument's layout, as the window holds it
    // A long number pushes " от" or the date past the window: the rest of the
    // heading's line holds them.
    QByteArray line = protocolText.mid(WindowOffset, LongestHeading);
    const qsizetype end = line.indexOf('\r') >= 0 ? line.indexOf('\r') : line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    at = line.indexOf(ot);
    if (at < 0)
        return heading;
    return {line.left(at), dateIn(line, at)};
}

QString nameOf(const Heading &heading)
{
    const QString number = QStringLiteral("Pr \u2116") + Cp1251::decode(heading.number);
    if (heading.date.isEmpty())
        return SafeFileName::make(number);
    return SafeFileName::make(heading.date + QLatin1Char(' ') + number);
}

} // namespace

QString build(const QByteArray &protocolText)
{
    return nameOf(headingOf(protocolText));
}

bool complete(const QByteArray &protocolText)
{
    const Heading heading = headingOf(protocolText);
    return !heading.date.isEmpty() && !heading.number.trimmed().isEmpty();
}

QString pathIn(const QString &folder, const QByteArray &protocolText)
{
    const QDir dir(folder);
    const QString name = build(protocolText);
    const QString first = dir.filePath(name);
    if (complete(protocolText))
        return first;
    // Any link or file under the name counts as taken, dangling links too.
    const auto taken = [](const QString &path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    if (!taken(first))
        return first;
    for (int n = 2; n <= MostSuffixes; ++n) {
        const QString next = dir.filePath(name + QStringLiteral(" (%1)").arg(n));
        if (!taken(next))
            return next;
    }
    return {};
}

} // namespace kalent::ProtocolFileName
