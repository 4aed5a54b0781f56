#pragma once

#include "core/Geometry.h"

namespace viren {

// The ball between camera and layout coordinates. x is scaled by 640 / W and
// y by 480 / H, as every other point is converted, so a 16:9 camera puts the
// ball at the right height too (for 4:3 pictures this equals scaling both
// axes by 640 / W). Before the first frame (W or H 0) the values are taken
// as they are.
Rect BallRectToLayout(const Rect& ballRect, int frameWidth, int frameHeight);
// The ball's centre, the target of following: in layout coordinates
// ((left + right) x 640 / 2W, (top + bottom) x 480 / 2H), or in image
// coordinates ((left + right) / 2, (top + bottom) / 2).
Point BallCentre(const Rect& ballRect, bool layout, int frameWidth, int frameHeight);

// What the ball marker draws: in the layout view a disc of diameter
// `patternSize` round the ball's centre, then the outline of the ball
// rectangle (its corners in layout coordinates in the layout view, as they
// stand in the camera views).
struct BallMarkerShape {
  bool hasDisc = false;
  Rect disc;     // bounding box, right and bottom exclusive
  Rect outline;  // corners of the closed outline
};
BallMarkerShape DrawBallMarkerShape(const Rect& ballRect, bool layoutView, int frameWidth,
                                    int frameHeight, int patternSize);

}  // namespace viren
