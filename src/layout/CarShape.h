#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <QRgb>

#include "core/Geometry.h"
#include "settings/Settings.h"

class QImage;

namespace viren {

// Polylines as the shape file reader returns them: all points one after the
// other, and the number of points of each polyline.
struct PolygonList {
  std::vector<Point> points;
  std::vector<int> counts;
};

// Room the car shape offers the reader.
inline constexpr int kMaxShapePolylines = 16;
inline constexpr int kMaxShapePoints = 256;

// Reads a shape metafile at `path`, at most kMaxShapePolylines polylines and
// kMaxShapePoints points; false when the file cannot be opened.
using ShapeFileReader = std::function<bool(const std::string& path, PolygonList& out)>;

// The shape metafile reader of the vision part, with the car shape's room.
bool ReadCarShapeFile(const std::string& path, PolygonList& out);
// The same on the bytes of a whole shape file.
void ParseCarShapeData(std::span<const std::uint8_t> file, PolygonList& out);

// The graphic car: the first polyline is the outline, the others are detail
// lines; the extent is that of the outline.
struct CarShape {
  PolygonList polylines;
  int width = 0;
  int height = 0;
};

// The shape from `path`, or, when it cannot be read or holds no outline of at
// least 3 points, the CAR_SIZE rectangle (0,0) (w,0) (w,h) (0,h) with extent
// w x h.
CarShape LoadCarShape(const ShapeFileReader& reader, const std::string& path, SettingPair carSize);

// One offset (dx, dy) from the figure's centre turned by the heading
// (c = cos, s = sin) and placed at `centre`; each turned offset gets one half
// added and is then truncated toward zero, so -7.5 becomes -7.
Point PlaceFigurePoint(Point centre, double c, double s, double dx, double dy);

// The corners of a w x h rectangle centred on `centre`, turned by `heading`,
// in the order top-left, top-right, bottom-right, bottom-left of the unturned
// rectangle.
std::array<Point, 4> FigureCorners(Point centre, double heading, int w, int h);

// Every point of the shape placed on the layout: a shape of exactly 4 points
// is the w x h rectangle of FigureCorners; any other shape point (vx, vy) is
// placed by its offset (vx - w/2, vy - h/2).
PolygonList PlaceCarShape(const CarShape& shape, Point centre, double heading);

// Fills the outline with `fill` and a black edge; the other polylines are
// drawn as black lines.
void DrawGraphicCar(QImage& target, const CarShape& shape, Point centre, double heading, QRgb fill);

}  // namespace viren
