#include "HeatMapScale.h"

#include <QtGlobal>

#include <array>
#include <cmath>

namespace kalent::HeatMapScale {

namespace {

// Viridis at 0, 0.1, ..., 1; between the stops the colour is interpolated.
constexpr std::array<QRgb, 11> Stops = {0x440154, 0x482475, 0x414487, 0x355f8d, 0x2a788e, 0x21918c,
                                        0x22a884, 0x44bf70, 0x7ad151, 0xbddf26, 0xfde725};

double linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &c)
{
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

} // namespace

QColor colourAt(double t)
{
    if (!(t > 0))
        t = 0; // NaN too
    if (t > 1)
        t = 1;
    const double scaled = t * (Stops.size() - 1);
    const int at = qMin(static_cast<int>(scaled), static_cast<int>(Stops.size()) - 2);
    const double f = scaled - at;
    const QColor a(Stops[at]);
    const QColor b(Stops[at + 1]);
    const auto mix = [f](int x, int y) {
        return static_cast<int>(std::lround(x + (y - x) * f));
    };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor textOn(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrast(background, black) >= contrast(background, white) ? black : white;
}

} // namespace kalent::HeatMapScale
