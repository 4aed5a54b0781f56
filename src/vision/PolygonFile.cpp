#include "vision/PolygonFile.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace viren {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kStandardHeaderBytes = 18;
constexpr std::size_t kPlaceableHeaderBytes = 22;
// Car shapes are a few kilobytes; a file beyond this is read only this far.
constexpr std::size_t kMaxFileBytes = 16u << 20;

enum : std::uint16_t {
  META_EOF = 0x0000,
  META_SETWINDOWORG = 0x020B,
  META_SETVIEWPORTORG = 0x020D,
  META_POLYGON = 0x0324,
  META_POLYLINE = 0x0325,
  META_POLYPOLYGON = 0x0538,
};

// Little-endian reads that say whether the bytes were there.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}
  std::size_t size() const { return data_.size(); }
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  std::uint16_t U16(std::size_t o) const {
    return static_cast<std::uint16_t>(data_[o] | (data_[o + 1] << 8));
  }
  std::int16_t I16(std::size_t o) const { return static_cast<std::int16_t>(U16(o)); }
  std::uint32_t U32(std::size_t o) const {
    return static_cast<std::uint32_t>(U16(o)) | (static_cast<std::uint32_t>(U16(o + 2)) << 16);
  }

 private:
  std::span<const std::uint8_t> data_;
};

std::int32_t Scaled(std::int64_t value, std::int64_t scale) {
  const std::int64_t v = value * scale / 100;  // truncates toward zero
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void ParsePolygonData(std::span<const std::uint8_t> data, int& polygonCount, int* counts,
                      int& total, Point* points, int maxPolygons, int maxPoints,
                      int pixelsPerInch) {
  polygonCount = 0;
  total = 0;
  const Bytes in(data);
  if (!in.Has(0, kStandardHeaderBytes)) return;

  const bool placeable = in.U32(0) == kPlaceableKey;
  std::int32_t originX = 0;
  std::int32_t originY = 0;
  std::int64_t scale = 100;
  int yDirection = 1;
  std::int16_t boundsBottom = 0;
  std::size_t offset = kStandardHeaderBytes;
  if (placeable) {
    originX = in.I16(6);
    originY = in.I16(8);
    boundsBottom = in.I16(12);
    const int unitsPerInch = in.I16(14);
    // A drawing without a positive unit size has no scale; nothing of it can be placed.
    if (unitsPerInch <= 0) return;
    if (pixelsPerInch <= 0) pixelsPerInch = kDefaultPixelsPerInch;
    scale = static_cast<std::int64_t>(pixelsPerInch) * 100 / unitsPerInch;
    offset = kPlaceableHeaderBytes + kStandardHeaderBytes;
  }

  // A record: size in 16-bit words (u32), function (u16), parameters.
  while (in.Has(offset, 6)) {
    const std::uint32_t words = in.U32(offset);
    const std::uint16_t function = in.U16(offset + 4);
    if (function == META_EOF || words < 3) break;
    const std::size_t params = offset + 6;

    switch (function) {
      case META_SETWINDOWORG:
      case META_SETVIEWPORTORG:
        if (in.Has(params, 4)) {
          const std::int16_t y = in.I16(params);
          const std::int16_t x = in.I16(params + 2);
          if (placeable && y == boundsBottom) {
            originY = y;
            yDirection = -1;
          } else {
            originY = y;
            originX = x;
          }
        }
        break;
      case META_POLYGON:
      case META_POLYLINE:
      case META_POLYPOLYGON: {
        std::int64_t declared = 0;
        std::size_t first = 0;
        if (function == META_POLYPOLYGON) {
          if (!in.Has(params, 2)) break;
          const int lists = in.I16(params);
          if (lists <= 0 || !in.Has(params + 2, 2 * static_cast<std::size_t>(lists))) break;
          for (int k = 0; k < lists; ++k) declared += in.U16(params + 2 + 2 * k);
          first = params + 2 + 2 * static_cast<std::size_t>(lists);
        } else {
          if (!in.Has(params, 2)) break;
          declared = in.I16(params);
          first = params + 2;
        }
        // Points past the end of the file do not exist, whatever the count says.
        const std::int64_t present =
            in.Has(first, 0) ? static_cast<std::int64_t>((in.size() - first) / 4) : 0;
        const std::int64_t n = std::min(declared, present);
        if (n <= 0) break;
        if (polygonCount >= maxPolygons || total + n >= maxPoints) return;
        for (std::int64_t k = 0; k < n; ++k) {
          const std::size_t at = first + 4 * static_cast<std::size_t>(k);
          points[total++] =
              Point{Scaled(std::int64_t{in.I16(at)} - originX, scale),
                    Scaled((std::int64_t{in.I16(at + 2)} - originY) * yDirection, scale)};
        }
        counts[polygonCount++] = static_cast<int>(n);
        break;
      }
      default:
        break;
    }
    const std::uint64_t next = static_cast<std::uint64_t>(offset) + 2ull * words;
    if (next > in.size()) break;
    offset = static_cast<std::size_t>(next);
  }
}

int ReadPolygonFile(const std::string& path, int& polygonCount, int* counts, int& total,
                    Point* points, int maxPolygons, int maxPoints, int pixelsPerInch) {
  polygonCount = 0;
  total = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  std::vector<std::uint8_t> bytes;
  std::uint8_t block[4096];
  std::size_t got;
  while (bytes.size() < kMaxFileBytes && (got = std::fread(block, 1, sizeof block, file)) > 0)
    bytes.insert(bytes.end(), block, block + std::min(got, kMaxFileBytes - bytes.size()));
  std::fclose(file);
  ParsePolygonData(bytes, polygonCount, counts, total, points, maxPolygons, maxPoints,
                   pixelsPerInch);
  return 1;
}

}  // namespace viren
