#include "ball/PatternFile.h"

#include <algorithm>

#include "ball/PatternMatcher.h"
#include "vision/Bitmap24.h"

namespace viren {

namespace {

constexpr int kSmallestPattern = 16;

bool PatternFromPicture(const Bitmap24& picture, GreyPattern& out) {
  if (picture.Empty()) return false;
  // The side the learning's files have always been read with: the largest
  // power of two not above a square picture's side.
  int p = 8192;
  while (picture.width < p) {
    if (picture.height >= p) break;
    p /= 2;
    if (p <= picture.width) break;
  }
  // Any other picture is cut to a square inside it that the matcher takes.
  while (p > 1 && (p > picture.width || p > picture.height)) p /= 2;
  p = std::min(p, wh::kMaxPatternSize);
  if (p < kSmallestPattern || p > picture.width || p > picture.height) return false;
  GreyPattern pattern;
  pattern.size = p;
  pattern.pixels.assign(static_cast<std::size_t>(p) * p, 0);
  wh::ConvertToGrey(picture.pixels.data(), picture.height, picture.Stride(), 0, 0, p, p,
                    pattern.pixels.data());
  out = std::move(pattern);
  return true;
}

BitmapHeaderFields PatternHeader(int side) {
  BitmapHeaderFields fields;
  const auto area = static_cast<std::uint32_t>(side) * static_cast<std::uint32_t>(side);
  fields.fileSize = area + 54;
  fields.imageSize = area;
  fields.coloursUsed = 16777216;
  fields.coloursImportant = 16777216;
  return fields;
}

bool PictureOfPatch(std::span<const std::uint8_t> colourPatch, int side, Bitmap24& picture) {
  if (side <= 0 || side > wh::kMaxPatternSize || side % 4 != 0) return false;
  const std::size_t bytes = static_cast<std::size_t>(side) * side * 3;
  if (colourPatch.size() < bytes || !picture.Create(side, side)) return false;
  std::copy_n(colourPatch.begin(), bytes, picture.pixels.begin());
  return true;
}

}  // namespace

bool ReadPatternFile(const std::string& path, GreyPattern& out) {
  Bitmap24 picture;
  if (LoadBitmap24(path, picture) != BitmapStatus::Ok) return false;
  return PatternFromPicture(picture, out);
}

bool DecodePatternFile(std::span<const std::uint8_t> file, GreyPattern& out) {
  Bitmap24 picture;
  if (DecodeBitmap24(file, picture) != BitmapStatus::Ok) return false;
  return PatternFromPicture(picture, out);
}

std::vector<std::uint8_t> EncodePatternFile(std::span<const std::uint8_t> colourPatch, int side) {
  Bitmap24 picture;
  if (!PictureOfPatch(colourPatch, side, picture)) return {};
  return EncodeBitmap24(picture, PatternHeader(side));
}

bool WritePatternFile(const std::string& path, std::span<const std::uint8_t> colourPatch,
                      int side) {
  Bitmap24 picture;
  if (!PictureOfPatch(colourPatch, side, picture)) return false;
  return WriteBitmap24(path, picture, PatternHeader(side));
}

}  // namespace viren
