#include "views/TrackDrawing.h"

#include <QPainter>
#include <algorithm>

namespace viren {
namespace {

QPolygon Polyline(const std::vector<Point>& points, size_t from, size_t to) {
  QPolygon line;
  line.reserve(static_cast<int>(to - from));
  for (size_t i = from; i < to; ++i) line.append(QPoint(points[i].x, points[i].y));
  return line;
}

void DrawLine(QPainter& p, const std::vector<Point>& points, size_t from, size_t to) {
  if (to - from == 1)
    p.drawPoint(points[from].x, points[from].y);
  else
    p.drawPolyline(Polyline(points, from, to));
}

}  // namespace

void DrawFadingTrail(QPainter& p, const std::vector<Point>& points) {
  if (points.empty()) return;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setBrush(Qt::NoBrush);
  // The track in steps of growing strength, each step one polyline, so that
  // a long run costs a handful of calls; neighbouring steps share a point.
  constexpr int kSteps = 16;
  constexpr int kFaintest = 48;
  const size_t n = points.size();
  for (int s = 0; s < kSteps; ++s) {
    const size_t from = n * static_cast<size_t>(s) / kSteps;
    const size_t to = std::min(n, n * static_cast<size_t>(s + 1) / kSteps + 1);
    if (from >= to) continue;
    QColor colour = QColor::fromRgb(kTrackColor);
    colour.setAlpha(kFaintest + (255 - kFaintest) * (s + 1) / kSteps);
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    DrawLine(p, points, from, to);
  }
}

void DrawTrackPicture(QImage& out, const std::vector<Point>& points,
                      const std::vector<int>& commands) {
  if (points.empty()) return;
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor::fromRgb(kTrackColor), 0));
  DrawLine(p, points, 0, points.size());

  p.setPen(QPen(QColor::fromRgb(kTrackChangeColor), 0));
  if (commands.size() == points.size())
    for (size_t i = 1; i < points.size(); ++i)
      if (commands[i] != commands[i - 1]) p.drawRect(points[i].x - 3, points[i].y - 3, 6, 6);

  const Point first = points.front();
  const Point last = points.back();
  p.setPen(QPen(QColor::fromRgb(kTrackStartColor), 2));
  p.drawEllipse(QPoint(first.x, first.y), 7, 7);
  p.setPen(QPen(QColor::fromRgb(kTrackEndColor), 2));
  p.drawRect(last.x - 7, last.y - 7, 14, 14);
}

}  // namespace viren
