// A 24-bit bitmap as the layout and the car photograph load it, then what is
// done with it: the layout picture with its course range outline, and the
// car photograph turned and drawn on the layout at a heading and a place
// taken from the input's last bytes.
#include <numbers>

#include "FuzzSupport.h"
#include "core/Geometry.h"
#include "layout/CarPhoto.h"
#include "layout/CourseRange.h"
#include "layout/ImageConvert.h"
#include "vision/Bitmap24.h"

using namespace viren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bitmap24 picture;
  const BitmapStatus status = DecodeBitmap24({data, size}, picture);
  if (status != BitmapStatus::Ok) {
    FUZZ_CHECK(picture.Empty() && picture.pixels.empty());
    return 0;
  }
  FUZZ_CHECK(picture.width >= 1 && picture.height >= 1);
  FUZZ_CHECK(picture.pixels.size() == picture.Stride() * static_cast<std::size_t>(picture.height));

  // Written again and read back, the picture is the same.
  Bitmap24 again;
  FUZZ_CHECK(DecodeBitmap24(EncodeBitmap24(picture), again) == BitmapStatus::Ok);
  FUZZ_CHECK(again.width == picture.width && again.height == picture.height);
  FUZZ_CHECK(again.pixels == picture.pixels);

  // The place and heading come from the file's last bytes, so the fuzzer can
  // vary them without spoiling the headers.
  fuzz::FuzzInput tail(data + size - std::min<std::size_t>(size, 6),
                       std::min<std::size_t>(size, 6));
  const int borderWidth = tail.Range(-5, kLayoutWidth + 5);
  const Point centre{tail.Range(-100, 260), tail.Range(-100, 220)};
  const double heading = (tail.Byte() - 128) * (std::numbers::pi / 64);

  if (picture.width == kLayoutWidth && picture.height == kLayoutHeight) {
    QImage layout(kLayoutWidth, kLayoutHeight, QImage::Format_RGB32);
    CopyBitmapToImage(picture, layout);
    FUZZ_CHECK(layout.width() == kLayoutWidth && layout.format() == QImage::Format_RGB32);
    // The outline is drawn by inversion: twice leaves the picture as it was.
    const QImage before = layout.copy();
    InvertCourseRangeOutline(layout, borderWidth, borderWidth * 3 / 4, 1 + (size & 3));
    InvertCourseRangeOutline(layout, borderWidth, borderWidth * 3 / 4, 1 + (size & 3));
    FUZZ_CHECK(layout == before);
  }

  const int width = picture.width;
  const int height = picture.height;
  CarPhoto photo;
  FUZZ_CHECK(photo.Load(std::move(picture)));
  FUZZ_CHECK(photo.width() >= 1 && photo.width() <= kMaxCarPhotoSide);
  FUZZ_CHECK(photo.height() >= 1 && photo.height() <= kMaxCarPhotoSide);
  if (std::max(width, height) <= kMaxCarPhotoSide)
    FUZZ_CHECK(photo.width() == width && photo.height() == height);
  FUZZ_CHECK(photo.side() == CarSquareSide(photo.width(), photo.height()));
  // A corner of the layout is enough to draw on, and quick to fill.
  QImage corner(160, 120, QImage::Format_RGB32);
  corner.fill(0xFF336699u);
  photo.Draw(corner, centre, heading);
  FUZZ_CHECK(corner.width() == 160 && corner.height() == 120);
  return 0;
}
