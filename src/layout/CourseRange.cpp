#include "layout/CourseRange.h"

#include <algorithm>

#include <QPainter>
#include <QPen>

namespace viren {

Rect CourseRangeRect(int borderWidth, int borderHeight) {
  return Rect{(kLayoutWidth - borderWidth) / 2, (kLayoutHeight - borderHeight) / 2,
              (borderWidth + kLayoutWidth) / 2, (borderHeight + kLayoutHeight) / 2};
}

void InvertCourseRangeOutline(QImage& layout, int borderWidth, int borderHeight, int penWidth) {
  if (layout.isNull() || layout.format() != QImage::Format_RGB32) return;
  // The outline is rasterised once into a mask and the mask applied with XOR:
  // a stroked path may touch a pixel twice at its joins, which with a
  // raster-op pen would cancel out there.
  QImage mask(layout.size(), QImage::Format_Grayscale8);
  if (mask.isNull()) return;
  mask.fill(0);
  {
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(255, 255, 255), std::max(1, penWidth), Qt::SolidLine, Qt::SquareCap,
                  Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const Rect r = CourseRangeRect(borderWidth, borderHeight);
    p.drawRoundedRect(QRectF(r.left, r.top, r.right - 1 - r.left, r.bottom - 1 - r.top), 4.0, 4.0,
                      Qt::AbsoluteSize);
  }
  for (int y = 0; y < layout.height(); ++y) {
    const uchar* m = mask.constScanLine(y);
    auto* row = reinterpret_cast<QRgb*>(layout.scanLine(y));
    for (int x = 0; x < layout.width(); ++x) {
      if (m[x] != 0) row[x] ^= 0x00FFFFFFu;
    }
  }
}

}  // namespace viren
