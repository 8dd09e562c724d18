#pragma once

#include <QColor>

namespace kalent {

// The colours of the plate heat map: viridis, a scale whose lightness rises
// evenly from dark blue (low) to yellow (high), so equal steps of density look
// like equal steps of colour, also to colour-blind eyes and in grey print.
namespace HeatMapScale {
// t from 0 (lowest value on the plate) to 1 (highest); clamped.
QColor colourAt(double t);
// Black or white, whichever stands out more on the background; on every colour
// of the scale the contrast is at least 4.5:1.
QColor textOn(const QColor &background);
// The contrast ratio of two colours (1 to 21), from their relative luminance.
double contrast(const QColor &a, const QColor &b);
} // namespace HeatMapScale

} // namespace kalent
