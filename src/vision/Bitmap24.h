#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace viren {

// A 24-bit picture as the bitmap files hold it: blue, green, red per pixel,
// rows bottom-up (row 0 is the bottom of the picture), each row padded with
// zero bytes to a multiple of 4 bytes.
struct Bitmap24 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // height * Stride() bytes

  static constexpr std::size_t StrideOf(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
  }
  std::size_t Stride() const { return StrideOf(width); }
  bool Empty() const { return width <= 0 || height <= 0; }

  // Sized and zero-filled; false (and left empty) for a size the loader would
  // refuse too.
  bool Create(int w, int h);

  // Pixel access by picture coordinates (y downwards); the caller keeps x, y
  // inside the picture.
  std::uint8_t* PixelAt(int x, int y) {
    return pixels.data() + static_cast<std::size_t>(height - 1 - y) * Stride() +
           static_cast<std::size_t>(x) * 3;
  }
  const std::uint8_t* PixelAt(int x, int y) const {
    return pixels.data() + static_cast<std::size_t>(height - 1 - y) * Stride() +
           static_cast<std::size_t>(x) * 3;
  }
};

enum class BitmapStatus {
  Ok,
  CannotOpen,   // no such file, or not readable
  NotABitmap,   // no "BM", or a header shorter than 40 bytes
  Unsupported,  // not 24 bits per pixel, compressed, or not one plane
  TooLarge,     // width or height outside 1..kMaxBitmapSide, or too many pixels
  Truncated,    // the pixel data would reach past the end of the file
};

// Limits that keep a lying header from asking for gigabytes: the largest side
// and the largest picture (64 megapixels, 192 MB of pixels) the loader accepts.
inline constexpr int kMaxBitmapSide = 16384;
inline constexpr std::int64_t kMaxBitmapPixels = 64LL * 1024 * 1024;

// Reads a 24-bit uncompressed bitmap file (a 14-byte file header and an
// information header of at least 40 bytes; no colour table is used). A
// negative height (rows stored top-down) is accepted and turned bottom-up.
// Every size in the headers is checked against the file before anything is
// allocated or read; on any failure `out` is left empty.
BitmapStatus LoadBitmap24(const std::string& path, Bitmap24& out);
BitmapStatus DecodeBitmap24(std::span<const std::uint8_t> file, Bitmap24& out);

// Header fields some writers set differently from the plain file; everything
// not given takes the value the picture implies (file size 54 + image size,
// image size = height * stride, resolutions 0).
struct BitmapHeaderFields {
  std::optional<std::uint32_t> fileSize;
  std::optional<std::uint32_t> imageSize;
  std::uint32_t xPixelsPerMeter = 0;
  std::uint32_t yPixelsPerMeter = 0;
  std::uint32_t coloursUsed = 0;
  std::uint32_t coloursImportant = 0;
};

// The bytes of a bitmap file: "BM" file header, 40-byte information header
// (positive height, 1 plane, 24 bits, no compression) and the padded rows.
std::vector<std::uint8_t> EncodeBitmap24(const Bitmap24& picture,
                                         const BitmapHeaderFields& fields = {});

// Creates or overwrites `path`; false when the file cannot be created or
// written completely.
bool WriteBitmap24(const std::string& path, const Bitmap24& picture,
                   const BitmapHeaderFields& fields = {});

}  // namespace viren
