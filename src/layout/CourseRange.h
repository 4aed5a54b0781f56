#pragma once

#include <QImage>

#include "core/Geometry.h"

namespace viren {

// The course range: a BORDER_WIDTH x BORDER_HEIGHT rectangle centred on the
// 640 x 480 layout, integer division; driving programs test the car's layout
// position against it with both bounds included.
Rect CourseRangeRect(int borderWidth, int borderHeight);

// Inverts every pixel of the course range outline on `layout`: a rounded
// rectangle with 8 x 8 corner ellipses, `penWidth` wide, from the range's
// top-left to one pixel short of its right and bottom bounds (the way the
// outline has always been placed). Each pixel is inverted exactly once, so a
// second call with the same values restores the picture: that is how the
// outline is erased while the range is edited.
void InvertCourseRangeOutline(QImage& layout, int borderWidth, int borderHeight, int penWidth);

}  // namespace viren
