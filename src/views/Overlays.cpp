#include "views/Overlays.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace viren {

namespace {

// Overlays are drawn hard-edged: no blending with the camera picture. The painter is kept from
// frame to frame, so the pen is made anew only when it differs from the one it holds.
void Prepare(QPainter& p, const OverlayPen& pen) {
  p.setRenderHint(QPainter::Antialiasing, false);
  const int width = pen.width < 1 ? 1 : pen.width;
  const QPen& now = p.pen();
  if (now.style() != Qt::SolidLine || now.width() != width || now.capStyle() != Qt::RoundCap ||
      now.joinStyle() != Qt::RoundJoin || now.brush().style() != Qt::SolidPattern ||
      now.color() != QColor::fromRgb(pen.colour)) {
    p.setPen(QPen(QColor::fromRgb(pen.colour), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
  p.setBrush(Qt::NoBrush);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

int Round(double v) {
  return static_cast<int>(v + 0.5);
}

// A polyline through `count` points, gathered in `scratch` (which only grows).
void DrawPoints(QPainter& p, const Point* points, int count, std::vector<QPoint>& scratch) {
  if (scratch.size() < static_cast<std::size_t>(count)) scratch.resize(count);
  for (int i = 0; i < count; ++i) scratch[i] = QPoint(points[i].x, points[i].y);
  p.drawPolyline(scratch.data(), count);
}

}  // namespace

void DrawCross(QPainter& p, Point at, const OverlayPen& pen) {
  Prepare(p, pen);
  p.drawLine(at.x - 8, at.y, at.x + 8, at.y);
  p.drawLine(at.x, at.y - 8, at.x, at.y + 8);
}

std::array<Point, 4> ArrowPoints(Point at, double heading) {
  const double c = std::cos(heading);
  const double s = std::sin(heading);
  const auto place = [&](double px, double py) {
    return Point{at.x + Round(c * px - s * py), at.y + Round(s * px + c * py)};
  };
  const Point first = place(-8, 8);
  return {first, place(16, 0), place(-8, -8), first};
}

void DrawDirectionArrow(QPainter& p, Point at, double heading, const OverlayPen& pen) {
  const auto points = ArrowPoints(at, heading);
  QPoint outline[4];
  for (int i = 0; i < 4; ++i) outline[i] = QPoint(points[i].x, points[i].y);
  Prepare(p, pen);
  p.drawPolyline(outline, 4);
}

Point TurningRadiusEnd(Point centre, int radius, double heading, bool turningRight) {
  const double b = turningRight ? heading - kHalfPi : heading + kHalfPi;
  return Point{centre.x + Round(std::cos(b) * radius), centre.y + Round(std::sin(b) * radius)};
}

void DrawTurningRadius(QPainter& p, Point centre, int radius, double heading, bool turningRight,
                       const OverlayPen& pen) {
  const Point end = TurningRadiusEnd(centre, radius, heading, turningRight);
  Prepare(p, pen);
  p.drawLine(centre.x, centre.y, end.x, end.y);
}

Rect CourseRangeOnFrame(int frameWidth, int frameHeight, int borderWidth, int borderHeight) {
  const int a = (kLayoutWidth - borderWidth) * frameWidth / 1280;
  const int b = (kLayoutHeight - borderHeight) * frameHeight / 960;
  return Rect{a, b, frameWidth - a, frameHeight - b};
}

void DrawCourseRangeOnFrame(QPainter& p, int frameWidth, int frameHeight, int borderWidth,
                            int borderHeight, const OverlayPen& pen) {
  const Rect r = CourseRangeOnFrame(frameWidth, frameHeight, borderWidth, borderHeight);
  const QPoint outline[5] = {QPoint(r.left, r.top), QPoint(r.right, r.top),
                             QPoint(r.right, r.bottom), QPoint(r.left, r.bottom),
                             QPoint(r.left, r.top)};
  Prepare(p, pen);
  p.drawPolyline(outline, 5);
}

void DrawPolyline(QPainter& p, const Point* points, int count, const OverlayPen& pen,
                  std::vector<QPoint>& scratch) {
  if (points == nullptr || count < 1) return;
  Prepare(p, pen);
  DrawPoints(p, points, count, scratch);
}

void DrawContours(QPainter& p, const Point* vertices, const int* counts, int contours,
                  const OverlayPen& pen, std::vector<QPoint>& scratch) {
  if (vertices == nullptr || counts == nullptr) return;
  Prepare(p, pen);
  int at = 0;
  for (int k = 0; k < contours; ++k) {
    const int n = counts[k];
    if (n < 1) continue;
    DrawPoints(p, vertices + at, n, scratch);
    at += n;
  }
}

void DrawBallMarker(QPainter& p, Rect ballRect, bool layoutView, int frameWidth, int frameHeight,
                    int patternSize, const OverlayPen& pen) {
  Rect r = ballRect;
  if (layoutView) {
    // Before any camera frame (the simulation alone) image and layout are the same plane.
    if (frameWidth <= 0 || frameHeight <= 0) {
      frameWidth = kLayoutWidth;
      frameHeight = kLayoutHeight;
    }
    // x by 640 / W and y by 480 / H, as the car (the same for 4:3 pictures).
    const auto sx = [frameWidth](int v) {
      return static_cast<int>(static_cast<long long>(v) * kLayoutWidth / frameWidth);
    };
    const auto sy = [frameHeight](int v) {
      return static_cast<int>(static_cast<long long>(v) * kLayoutHeight / frameHeight);
    };
    r = Rect{sx(r.left), sy(r.top), sx(r.right), sy(r.bottom)};
  }
  if (layoutView) {
    const int cx = r.left + r.right;
    const int cy = r.top + r.bottom;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QRect(QPoint((cx - patternSize) / 2, (cy - patternSize) / 2),
                        QPoint((cx + patternSize) / 2 - 1, (cy + patternSize) / 2 - 1)));
  }
  Prepare(p, pen);
  const QPoint outline[5] = {QPoint(r.left, r.top), QPoint(r.right, r.top),
                             QPoint(r.right, r.bottom), QPoint(r.left, r.bottom),
                             QPoint(r.left, r.top)};
  p.drawPolyline(outline, 5);
}

bool DrawOffPictureMarker(QPainter& p, Point car, const OverlayPen& pen) {
  const int w = p.device()->width();
  const int h = p.device()->height();
  if (car.x >= 0 && car.x < w && car.y >= 0 && car.y < h) return false;
  constexpr int kInset = 14;
  if (w <= 2 * kInset || h <= 2 * kInset) return false;
  // The point nearest the car, a marker's length inside the edge.
  const double tipX = std::clamp(car.x, kInset, w - 1 - kInset);
  const double tipY = std::clamp(car.y, kInset, h - 1 - kInset);
  const double angle = std::atan2(car.y - tipY, car.x - tipX);
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  // Tip 12 pixels toward the car, base 12 wide behind the point.
  const auto at = [&](double along, double across) {
    return QPoint(Round(tipX + c * along - s * across), Round(tipY + s * along + c * across));
  };
  Prepare(p, pen);
  p.setBrush(QColor::fromRgb(pen.colour));
  const QPoint triangle[3] = {at(12, 0), at(-6, 8), at(-6, -8)};
  p.drawPolygon(triangle, 3);
  return true;
}

}  // namespace viren
