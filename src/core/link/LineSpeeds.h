#pragma once

#include <array>

namespace kalent {

// The six speeds the instrument talks at, in the order of their codes: the
// speed change "b"+code picks one by its place here. The program, the built-in
// instrument and the command line all take them from this one table.
namespace LineSpeeds {

inline constexpr std::array<int, 6> Bauds = {4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int Slowest = Bauds.front();
inline constexpr int Fastest = Bauds.back();
inline constexpr int FastestIndex = int(Bauds.size()) - 1;

// The baud for a speed-change code; 0 for a code the instrument does not know.
constexpr int baudForCode(int code)
{
    return code >= 0 && code < int(Bauds.size()) ? Bauds[size_t(code)] : 0;
}

// The speed-change code of a baud; -1 for a speed the instrument does not know.
constexpr int codeForBaud(int baud)
{
    for (size_t i = 0; i < Bauds.size(); ++i) {
        if (Bauds[i] == baud)
            return int(i);
    }
    return -1;
}

// The speed after this one in the search: the next faster, or the slowest
// again after the fastest.
constexpr int nextInSearch(int baud)
{
    const int code = codeForBaud(baud);
    return code < 0 || code >= FastestIndex ? Slowest : Bauds[size_t(code) + 1];
}

} // namespace LineSpeeds

} // namespace kalent
