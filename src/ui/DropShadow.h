#pragma once

class QPainter;
class QRect;

namespace kalent {

// A black drop shadow `depth` pixels deep to the right of and below `bounds`,
// fading outwards. Painted by a panel under its child panels (the About page
// around RzPanel3, RzPanel4 and RzPanel5; the reader page around RzPanel7).
void paintDropShadow(QPainter &painter, const QRect &bounds, int depth = 6);

} // namespace kalent
