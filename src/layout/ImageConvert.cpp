#include "layout/ImageConvert.h"

namespace viren {

void CopyBitmapToImage(const Bitmap24& bitmap, QImage& image) {
  if (image.width() != bitmap.width || image.height() != bitmap.height ||
      image.format() != QImage::Format_RGB32) {
    image = QImage(bitmap.width, bitmap.height, QImage::Format_RGB32);
  }
  if (image.isNull()) return;
  for (int y = 0; y < bitmap.height; ++y) {
    const std::uint8_t* from = bitmap.PixelAt(0, y);
    auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.width; ++x, from += 3) to[x] = qRgb(from[2], from[1], from[0]);
  }
}

QImage BitmapToImage(const Bitmap24& bitmap) {
  QImage image;
  if (!bitmap.Empty()) CopyBitmapToImage(bitmap, image);
  return image;
}

Bitmap24 ImageToBitmap(const QImage& image) {
  Bitmap24 bitmap;
  if (image.isNull() || !bitmap.Create(image.width(), image.height())) return bitmap;
  const QImage rgb =
      image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
          ? image
          : image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < bitmap.height; ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    std::uint8_t* to = bitmap.PixelAt(0, y);
    for (int x = 0; x < bitmap.width; ++x, to += 3) {
      to[0] = static_cast<std::uint8_t>(qBlue(from[x]));
      to[1] = static_cast<std::uint8_t>(qGreen(from[x]));
      to[2] = static_cast<std::uint8_t>(qRed(from[x]));
    }
  }
  return bitmap;
}

QRgb RgbOf(ColorRef color) {
  if (color == kBadColor) return qRgb(255, 255, 255);
  return qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

}  // namespace viren
