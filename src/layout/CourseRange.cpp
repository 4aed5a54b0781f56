#include "layout/CourseRange.h"

#include <algorithm>
#include <cmath>

namespace viren {

Rect CourseRangeRect(int borderWidth, int borderHeight) {
  return Rect{(kLayoutWidth - borderWidth) / 2, (kLayoutHeight - borderHeight) / 2,
              (borderWidth + kLayoutWidth) / 2, (borderHeight + kLayoutHeight) / 2};
}

void InvertCourseRangeOutline(QImage& layout, int borderWidth, int borderHeight, int penWidth) {
  if (layout.isNull() || layout.format() != QImage::Format_RGB32) return;
  // Worked out pixel by pixel rather than stroked: each pixel must be
  // inverted exactly once (a stroke may touch a pixel twice at its joins),
  // and the result must not depend on how a painter rasterises.
  const Rect r = CourseRangeRect(borderWidth, borderHeight);
  const double left = r.left, top = r.top, right = r.right - 1, bottom = r.bottom - 1;
  const double cx = (left + right) / 2, cy = (top + bottom) / 2;
  const double hx = (right - left) / 2, hy = (bottom - top) / 2;
  const double radius = std::min({4.0, hx, hy});  // 8 x 8 corner ellipses
  const int pen = std::max(1, penWidth);
  // A pixel belongs to the outline when its centre's signed distance d from
  // the rounded rectangle's edge satisfies -pen/2 < d <= pen/2: exactly
  // `pen` pixels across on the straight sides.
  const double inner = -pen / 2.0;
  const double outer = pen / 2.0;
  const int margin = pen / 2 + 1;
  const int x0 = std::max(0, r.left - margin), x1 = std::min(layout.width() - 1, r.right + margin);
  const int y0 = std::max(0, r.top - margin), y1 = std::min(layout.height() - 1, r.bottom + margin);
  for (int y = y0; y <= y1; ++y) {
    auto* row = reinterpret_cast<QRgb*>(layout.scanLine(y));
    const double qy = std::abs(y - cy) - (hy - radius);
    for (int x = x0; x <= x1; ++x) {
      const double qx = std::abs(x - cx) - (hx - radius);
      const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
      const double d = std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
      if (d > inner && d <= outer) row[x] ^= 0x00FFFFFFu;
    }
  }
}

}  // namespace viren
