#pragma once

#include <QImage>

class QPainter;

#include "core/Geometry.h"

namespace viren {

inline constexpr int kTargetMarkerWidth = 16;
inline constexpr int kTargetMarkerHeight = 12;

// The target marker (the cheese): a 16 x 12 picture, a wedge of yellow
// cheese with holes on a white ground, made once at start-up.
QImage MakeTargetMarkerPicture();

// Copies the whole 16 x 12 picture with its top-left corner at
// (centre.x - 8, centre.y - 6) with the painter active on the target; parts
// outside the target are cut off.
void DrawTargetMarkerPicture(QPainter& p, const QImage& marker, Point centre);

}  // namespace viren
