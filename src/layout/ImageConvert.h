#pragma once

#include <QImage>

#include "platform/Bitmap24.h"
#include "settings/Settings.h"

namespace viren {

// Every picture this program composes is QImage::Format_RGB32; bitmap files
// are 24-bit bottom-up. These convert between the two without any scaling.
QImage BitmapToImage(const Bitmap24& bitmap);
Bitmap24 ImageToBitmap(const QImage& image);

// Same, into an existing picture of the right size; nothing is allocated when
// `image` already has the bitmap's size and Format_RGB32.
void CopyBitmapToImage(const Bitmap24& bitmap, QImage& image);

// A colour of the settings (0x00BBGGRR) as a pixel value of Format_RGB32;
// an unreadable colour (-1) counts as white.
QRgb RgbOf(ColorRef color);

}  // namespace viren
