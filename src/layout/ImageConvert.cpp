#include "layout/ImageConvert.h"

#include <QImageReader>
#include <QPainter>

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

BitmapStatus LoadPicture24(const std::string& path, Bitmap24& out) {
  const BitmapStatus status = LoadBitmap24(path, out);
  if (status == BitmapStatus::Ok || status == BitmapStatus::CannotOpen ||
      status == BitmapStatus::TooLarge)
    return status;
  QImageReader reader(QString::fromStdString(path));
  reader.setAutoTransform(true);
  // The size from the header, before any pixel is decoded.
  const QSize size = reader.size();
  if (size.isValid() &&
      (size.width() > kMaxBitmapSide || size.height() > kMaxBitmapSide ||
       static_cast<std::int64_t>(size.width()) * size.height() > kMaxBitmapPixels))
    return BitmapStatus::TooLarge;
  QImage image = reader.read();
  if (image.isNull() || image.width() > kMaxBitmapSide || image.height() > kMaxBitmapSide)
    return status;
  if (image.hasAlphaChannel()) {
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    painter.end();
    image = std::move(opaque);
  }
  out = ImageToBitmap(image);
  return out.Empty() ? BitmapStatus::TooLarge : BitmapStatus::Ok;
}

QRgb RgbOf(ColorRef color) {
  if (color == kBadColor) return qRgb(255, 255, 255);
  return qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

}  // namespace viren
