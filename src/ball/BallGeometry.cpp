#include "ball/BallGeometry.h"

#include <cstdint>

namespace viren {

namespace {

std::int32_t Scale(std::int64_t v, int to, int from) {
  return static_cast<std::int32_t>(v * to / from);
}

}  // namespace

Rect BallRectToLayout(const Rect& r, int w, int h) {
  if (w <= 0 || h <= 0) return r;
  return Rect{Scale(r.left, kLayoutWidth, w), Scale(r.top, kLayoutHeight, h),
              Scale(r.right, kLayoutWidth, w), Scale(r.bottom, kLayoutHeight, h)};
}

Point BallCentre(const Rect& r, bool layout, int w, int h) {
  const std::int64_t sx = std::int64_t{r.left} + r.right;
  const std::int64_t sy = std::int64_t{r.top} + r.bottom;
  if (!layout || w <= 0 || h <= 0)
    return Point{static_cast<std::int32_t>(sx / 2), static_cast<std::int32_t>(sy / 2)};
  return Point{Scale(sx, kLayoutWidth, 2 * w), Scale(sy, kLayoutHeight, 2 * h)};
}

BallMarkerShape DrawBallMarkerShape(const Rect& r, bool layoutView, int w, int h, int p) {
  BallMarkerShape shape;
  if (!layoutView) {
    shape.outline = r;
    return shape;
  }
  shape.outline = BallRectToLayout(r, w, h);
  std::int64_t sx = std::int64_t{r.left} + r.right;
  std::int64_t sy = std::int64_t{r.top} + r.bottom;
  if (w > 0 && h > 0) {
    sx = sx * kLayoutWidth / w;
    sy = sy * kLayoutHeight / h;
  }
  shape.hasDisc = true;
  shape.disc =
      Rect{static_cast<std::int32_t>((sx - p) / 2), static_cast<std::int32_t>((sy - p) / 2),
           static_cast<std::int32_t>((sx + p) / 2), static_cast<std::int32_t>((sy + p) / 2)};
  return shape;
}

}  // namespace viren
