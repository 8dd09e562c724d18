#include "link/PortOrder.h"

#include <algorithm>

namespace kalent {

namespace {

// Negative, zero or positive as a goes before, with or after b.
int comparePortNames(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && a.at(ie).isDigit())
                ++ie;
            while (je < b.size() && b.at(je).isDigit())
                ++je;
            // Leading zeros do not make a number larger.
            while (i + 1 < ie && a.at(i) == QLatin1Char('0'))
                ++i;
            while (j + 1 < je && b.at(j) == QLatin1Char('0'))
                ++j;
            if (ie - i != je - j)
                return ie - i < je - j ? -1 : 1;
            const int digits = QStringView(a).mid(i, ie - i).compare(QStringView(b).mid(j, je - j));
            if (digits != 0)
                return digits;
            i = ie;
            j = je;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

} // namespace

QStringList inPortOrder(QStringList names)
{
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return comparePortNames(a, b) < 0; });
    return names;
}

} // namespace kalent
