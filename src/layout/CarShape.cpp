#include "layout/CarShape.h"

#include <algorithm>
#include <cmath>

#include <QImage>
#include <QPainter>
#include <QPolygon>

#include "vision/PolygonFile.h"

namespace viren {

namespace {

bool HasOutline(const PolygonList& list) {
  if (list.counts.empty() || list.counts.front() < 3) return false;
  long total = 0;
  for (int n : list.counts) {
    if (n < 0) return false;
    total += n;
  }
  return total <= static_cast<long>(list.points.size());
}

}  // namespace

namespace {

// The reader's output, as far as it filled its stores, as polylines.
void CollectShape(int polygons, const int* counts, int total, std::vector<Point> points,
                  PolygonList& out) {
  points.resize(static_cast<std::size_t>(std::clamp(total, 0, kMaxShapePoints)));
  out.points = std::move(points);
  out.counts.assign(counts, counts + std::clamp(polygons, 0, kMaxShapePolylines));
}

}  // namespace

bool ReadCarShapeFile(const std::string& path, PolygonList& out) {
  out = PolygonList{};
  int polygons = 0;
  int total = 0;
  int counts[kMaxShapePolylines] = {};
  std::vector<Point> points(kMaxShapePoints);
  if (ReadPolygonFile(path, polygons, counts, total, points.data(), kMaxShapePolylines,
                      kMaxShapePoints) == 0) {
    return false;
  }
  CollectShape(polygons, counts, total, std::move(points), out);
  return true;
}

void ParseCarShapeData(std::span<const std::uint8_t> file, PolygonList& out) {
  out = PolygonList{};
  int polygons = 0;
  int total = 0;
  int counts[kMaxShapePolylines] = {};
  std::vector<Point> points(kMaxShapePoints);
  ParsePolygonData(file, polygons, counts, total, points.data(), kMaxShapePolylines,
                   kMaxShapePoints);
  CollectShape(polygons, counts, total, std::move(points), out);
}

CarShape LoadCarShape(const ShapeFileReader& reader, const std::string& path, SettingPair carSize) {
  CarShape shape;
  if (reader && reader(path, shape.polylines) && HasOutline(shape.polylines)) {
    const auto first = shape.polylines.points.begin();
    const auto last = first + shape.polylines.counts.front();
    const auto [minX, maxX] =
        std::minmax_element(first, last, [](Point a, Point b) { return a.x < b.x; });
    const auto [minY, maxY] =
        std::minmax_element(first, last, [](Point a, Point b) { return a.y < b.y; });
    shape.width = maxX->x - minX->x + 1;
    shape.height = maxY->y - minY->y + 1;
    return shape;
  }
  // A file that is missing, unreadable or without an outline gives the
  // rectangle of CAR_SIZE, silently.
  const int w = carSize.first;
  const int h = carSize.second;
  shape.polylines.points = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  shape.polylines.counts = {4};
  shape.width = w;
  shape.height = h;
  return shape;
}

Point PlaceFigurePoint(Point centre, double c, double s, double dx, double dy) {
  return Point{centre.x + static_cast<int>(dx * c - dy * s + 0.5),
               centre.y + static_cast<int>(dx * s + dy * c + 0.5)};
}

std::array<Point, 4> FigureCorners(Point centre, double heading, int w, int h) {
  const double c = std::cos(heading);
  const double s = std::sin(heading);
  const int hw = w / 2;
  const int hh = h / 2;
  return {PlaceFigurePoint(centre, c, s, -hw, -hh), PlaceFigurePoint(centre, c, s, hw, -hh),
          PlaceFigurePoint(centre, c, s, hw, hh), PlaceFigurePoint(centre, c, s, -hw, hh)};
}

PolygonList PlaceCarShape(const CarShape& shape, Point centre, double heading) {
  PolygonList placed;
  placed.counts = shape.polylines.counts;
  if (shape.polylines.points.size() == 4) {
    const auto corners = FigureCorners(centre, heading, shape.width, shape.height);
    placed.points.assign(corners.begin(), corners.end());
    return placed;
  }
  const double c = std::cos(heading);
  const double s = std::sin(heading);
  const int hw = shape.width / 2;
  const int hh = shape.height / 2;
  placed.points.reserve(shape.polylines.points.size());
  for (Point v : shape.polylines.points) {
    placed.points.push_back(PlaceFigurePoint(centre, c, s, v.x - hw, v.y - hh));
  }
  return placed;
}

void DrawGraphicCar(QImage& target, const CarShape& shape, Point centre, double heading,
                    QRgb fill) {
  const PolygonList placed = PlaceCarShape(shape, centre, heading);
  if (placed.counts.empty() || target.isNull()) return;
  QPainter p(&target);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  std::size_t at = 0;
  for (std::size_t k = 0; k < placed.counts.size(); ++k) {
    const std::size_t n = static_cast<std::size_t>(std::max(0, placed.counts[k]));
    if (at + n > placed.points.size()) break;
    QPolygon polygon(static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
      polygon.setPoint(static_cast<int>(i), placed.points[at + i].x, placed.points[at + i].y);
    }
    if (k == 0) {
      p.setBrush(QColor::fromRgb(fill));
      p.drawPolygon(polygon);
      p.setBrush(Qt::NoBrush);
    } else {
      p.drawPolyline(polygon);
    }
    at += n;
  }
}

}  // namespace viren
