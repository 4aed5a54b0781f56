#pragma once

#include <QImage>
#include <vector>

class QPainter;

#include "core/Geometry.h"

namespace viren {

// Colours of a run's track on the layout.
inline constexpr QRgb kTrackColor = 0xFFFF00FF;        // the track itself
inline constexpr QRgb kTrackStartColor = 0xFF00A000;   // the ring at the start
inline constexpr QRgb kTrackEndColor = 0xFFFF0000;     // the square at the end
inline constexpr QRgb kTrackChangeColor = 0xFF0000FF;  // where the command changed

// The layout view's trail: the track in the track colour, old parts faint,
// the newest part solid, 2 pixels wide, with the painter active on the
// layout picture. Points in layout coordinates.
void DrawFadingTrail(QPainter& p, const std::vector<Point>& points);

// The picture of a whole run: the track one pixel wide in the track colour,
// a small square around every point where `commands` changes, a ring around
// the first point and a square around the last. `commands` has one entry a
// point (or is empty: no change marks).
void DrawTrackPicture(QImage& out, const std::vector<Point>& points,
                      const std::vector<int>& commands);

}  // namespace viren
