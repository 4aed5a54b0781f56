#include "views/TargetMarker.h"

#include <QPainter>

namespace viren {

QImage MakeTargetMarkerPicture() {
  // Rows of the picture: '.' ground, 'o' outline, 'y' cheese, 'h' hole.
  static const char* const kRows[kTargetMarkerHeight] = {
      "................",  //
      "..........ooo...",  //
      "......oooyyyoo..",  //
      "..ooooyyyyyyyyo.",  //
      ".oyyyyyyyyyyyyo.",  //
      ".ooooooooooooooo",  //
      ".oyyhyyyyyyhyyo.",  //
      ".oyhhhyyyyyyyyo.",  //
      ".oyyhyyyyhhyyyo.",  //
      ".oyyyyyyyhhyyyo.",  //
      ".oooooooooooooo.",  //
      "................",  //
  };
  QImage marker(kTargetMarkerWidth, kTargetMarkerHeight, QImage::Format_RGB32);
  for (int y = 0; y < kTargetMarkerHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(marker.scanLine(y));
    for (int x = 0; x < kTargetMarkerWidth; ++x) {
      switch (kRows[y][x]) {
        case 'o':
          row[x] = qRgb(128, 96, 0);
          break;
        case 'y':
          row[x] = qRgb(255, 220, 40);
          break;
        case 'h':
          row[x] = qRgb(200, 150, 20);
          break;
        default:
          row[x] = qRgb(255, 255, 255);
          break;
      }
    }
  }
  return marker;
}

void DrawTargetMarkerPicture(QPainter& p, const QImage& marker, Point centre) {
  if (marker.isNull()) return;
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPoint(centre.x - kTargetMarkerWidth / 2, centre.y - kTargetMarkerHeight / 2),
              marker);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace viren
