#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace kalent {

// The six speeds the instrument talks at, in the order of their codes: the
// speed change "b"+code picks one by its place here. The program, the built-in
// instrument and the command line all take them from this one table.
namespace LineSpeeds {

inline constexpr std::array<int, 6> Bauds = {4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int FastestIndex = 5;

// The baud for a speed-change code; 0 for a code the instrument does not know.
constexpr int baudForCode(int code)
{
    return code >= 0 && code < int(Bauds.size()) ? Bauds[size_t(code)] : 0;
}

constexpr bool isLineSpeed(int baud)
{
    for (const int b : Bauds) {
        if (b == baud)
            return true;
    }
    return false;
}

// "4800, 9600, 19200, 38400, 57600, 115200".
inline QString listed()
{
    QStringList names;
    for (const int b : Bauds)
        names.append(QString::number(b));
    return names.join(QStringLiteral(", "));
}

} // namespace LineSpeeds

} // namespace kalent
