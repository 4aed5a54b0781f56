#pragma once

#include <array>
#include <vector>

#include <QPoint>
#include <QRgb>

#include "core/Geometry.h"

class QPainter;

namespace viren {

// The overlay figures, drawn with a painter active on the picture. Each sets
// the pen, brush and composition mode it needs, and makes a new pen only
// when the painter holds a different one: with a painter kept from frame to
// frame, and point buffers kept by the caller, drawing allocates nothing.

// The pen of every overlay figure: VECTOR PEN_COLOR and PEN_WIDTH.
struct OverlayPen {
  QRgb colour = qRgb(255, 0, 0);
  int width = 2;
};

// Centroid cross: (x - 8, y) to (x + 8, y) and (x, y - 8) to (x, y + 8).
void DrawCross(QPainter& p, Point at, const OverlayPen& pen);

// The arrow's closed outline through (-8, 8), (16, 0), (-8, -8) and back,
// each turned by `heading` and placed at `at` with one half added and the
// result truncated toward zero: at heading 0 at (100, 100) the points are
// (93, 108), (116, 100), (93, 93), (93, 108).
std::array<Point, 4> ArrowPoints(Point at, double heading);
void DrawDirectionArrow(QPainter& p, Point at, double heading, const OverlayPen& pen);

// The turning-radius line: from the turning centre, `radius` long, at
// heading - pi/2 when turning right, heading + pi/2 otherwise.
Point TurningRadiusEnd(Point centre, int radius, double heading, bool turningRight);
void DrawTurningRadius(QPainter& p, Point centre, int radius, double heading, bool turningRight,
                       const OverlayPen& pen);

// The course range on a W x H camera picture: the layout's range scaled,
// a = (640 - borderWidth) * W / 1280, b = (480 - borderHeight) * H / 960,
// the closed outline (a, b) (W - a, b) (W - a, H - b) (a, H - b).
Rect CourseRangeOnFrame(int frameWidth, int frameHeight, int borderWidth, int borderHeight);
void DrawCourseRangeOnFrame(QPainter& p, int frameWidth, int frameHeight, int borderWidth,
                            int borderHeight, const OverlayPen& pen);

// Open polylines: one through each contour's vertices (`counts[k]` points
// each, one after another in `vertices`), or one through `count` points.
// The points are gathered in `scratch`, which grows only.
void DrawContours(QPainter& p, const Point* vertices, const int* counts, int contours,
                  const OverlayPen& pen, std::vector<QPoint>& scratch);
void DrawPolyline(QPainter& p, const Point* points, int count, const OverlayPen& pen,
                  std::vector<QPoint>& scratch);

// The ball: in the layout view a white disc of diameter `patternSize` round
// the rectangle's centre scaled by 640 / frameWidth, then the rectangle's
// outline with the overlay pen, scaled the same way in the layout view and
// as it is in the camera views.
void DrawBallMarker(QPainter& p, Rect ballRect, bool layoutView, int frameWidth, int frameHeight,
                    int patternSize, const OverlayPen& pen);

// Where a car outside the picture is: a filled triangle just inside the
// picture's edge, pointing toward the car (the painter's device is the
// picture). False (nothing drawn) while the car is in the picture.
bool DrawOffPictureMarker(QPainter& p, Point car, const OverlayPen& pen);

}  // namespace viren
