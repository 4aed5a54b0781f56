#pragma once

#include <string>

#include <QImage>

#include "settings/Settings.h"
#include "vision/Bitmap24.h"

namespace viren {

// Every picture this program composes is QImage::Format_RGB32; bitmap files
// are 24-bit bottom-up. These convert between the two without any scaling.
QImage BitmapToImage(const Bitmap24& bitmap);
Bitmap24 ImageToBitmap(const QImage& image);

// Same, into an existing picture of the right size; nothing is allocated when
// `image` already has the bitmap's size and Format_RGB32.
void CopyBitmapToImage(const Bitmap24& bitmap, QImage& image);

// Reads a layout or car photograph. A 24-bit bitmap is read byte for byte
// as the bitmap files are; any other picture Qt reads (bitmaps of other
// depths, PNG, JPEG) becomes the same 24-bit picture, transparent parts
// shown over white and a JPEG turned as its camera noted. The bitmap
// loader's size limits hold for every format. CannotOpen for a missing file;
// for a file no reader takes, the bitmap loader's own status.
BitmapStatus LoadPicture24(const std::string& path, Bitmap24& out);

// A colour of the settings (0x00BBGGRR) as a pixel value of Format_RGB32;
// an unreadable colour (-1) counts as white.
QRgb RgbOf(ColorRef color);

}  // namespace viren
