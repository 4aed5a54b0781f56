#include "vision/Bitmap24.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace viren {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(U32(p));
}

void PutU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
  PutU16(p, v);
  PutU16(p + 2, v >> 16);
}

bool SizeAllowed(std::int64_t w, std::int64_t h) {
  return w >= 1 && h >= 1 && w <= kMaxBitmapSide && h <= kMaxBitmapSide &&
         w * h <= kMaxBitmapPixels;
}

// Where the rows are and how they run, once the headers have been checked
// against the file's real length.
struct PixelLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  std::uint64_t offset = 0;
};

BitmapStatus CheckHeaders(const std::uint8_t* head, std::size_t headLength,
                          std::uint64_t fileLength, PixelLayout& layout) {
  if (headLength < kHeadersSize || head[0] != 'B' || head[1] != 'M') {
    return BitmapStatus::NotABitmap;
  }
  const std::uint32_t pixelOffset = U32(head + 10);
  const std::uint32_t infoSize = U32(head + 14);
  if (infoSize < kInfoHeaderSize) return BitmapStatus::NotABitmap;
  const std::int64_t width = I32(head + 18);
  std::int64_t height = I32(head + 22);
  const std::uint16_t planes = U16(head + 26);
  const std::uint16_t bitCount = U16(head + 28);
  const std::uint32_t compression = U32(head + 30);
  if (planes != 1 || bitCount != 24 || compression != 0) return BitmapStatus::Unsupported;
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (!SizeAllowed(width, height)) return BitmapStatus::TooLarge;
  if (pixelOffset < kHeadersSize) return BitmapStatus::NotABitmap;
  const std::uint64_t dataSize =
      static_cast<std::uint64_t>(Bitmap24::StrideOf(static_cast<int>(width))) *
      static_cast<std::uint64_t>(height);
  if (static_cast<std::uint64_t>(pixelOffset) + dataSize > fileLength) {
    return BitmapStatus::Truncated;
  }
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.topDown = topDown;
  layout.offset = pixelOffset;
  return BitmapStatus::Ok;
}

// Rows are kept bottom-up whatever order the file stores them in.
std::size_t StoredRow(const PixelLayout& layout, int fileRow) {
  return static_cast<std::size_t>(layout.topDown ? layout.height - 1 - fileRow : fileRow);
}

}  // namespace

bool Bitmap24::Create(int w, int h) {
  if (!SizeAllowed(w, h)) {
    *this = Bitmap24{};
    return false;
  }
  width = w;
  height = h;
  pixels.assign(StrideOf(w) * static_cast<std::size_t>(h), 0);
  return true;
}

BitmapStatus DecodeBitmap24(std::span<const std::uint8_t> file, Bitmap24& out) {
  out = Bitmap24{};
  PixelLayout layout;
  const BitmapStatus status = CheckHeaders(file.data(), file.size(), file.size(), layout);
  if (status != BitmapStatus::Ok) return status;
  out.Create(layout.width, layout.height);
  const std::size_t stride = out.Stride();
  for (int row = 0; row < layout.height; ++row) {
    const std::uint8_t* from = file.data() + layout.offset + static_cast<std::size_t>(row) * stride;
    std::memcpy(out.pixels.data() + StoredRow(layout, row) * stride, from, stride);
  }
  return BitmapStatus::Ok;
}

BitmapStatus LoadBitmap24(const std::string& path, Bitmap24& out) {
  out = Bitmap24{};
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return BitmapStatus::CannotOpen;
  std::ifstream in(path, std::ios::binary);
  if (!in) return BitmapStatus::CannotOpen;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return BitmapStatus::CannotOpen;
  in.seekg(0);
  std::uint8_t head[kHeadersSize] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  PixelLayout layout;
  const BitmapStatus status = CheckHeaders(head, static_cast<std::size_t>(in.gcount()),
                                           static_cast<std::uint64_t>(length), layout);
  if (status != BitmapStatus::Ok) return status;

  // The headers and the rows they name are gathered into one bitmap in memory
  // (whatever lies between or after them is skipped) and decoded as any is.
  const std::size_t rows =
      Bitmap24::StrideOf(layout.width) * static_cast<std::size_t>(layout.height);
  std::vector<std::uint8_t> bytes(kHeadersSize + rows);
  std::memcpy(bytes.data(), head, kHeadersSize);
  PutU32(bytes.data() + 10, static_cast<std::uint32_t>(kHeadersSize));
  in.seekg(static_cast<std::streamoff>(layout.offset));
  in.read(reinterpret_cast<char*>(bytes.data() + kHeadersSize), static_cast<std::streamsize>(rows));
  // The file may have shrunk since its length was taken.
  if (static_cast<std::size_t>(in.gcount()) != rows) return BitmapStatus::Truncated;
  return DecodeBitmap24(bytes, out);
}

std::vector<std::uint8_t> EncodeBitmap24(const Bitmap24& picture,
                                         const BitmapHeaderFields& fields) {
  const std::size_t imageSize = picture.Stride() * static_cast<std::size_t>(picture.height);
  std::vector<std::uint8_t> bytes(kHeadersSize + imageSize, 0);
  std::uint8_t* h = bytes.data();
  h[0] = 'B';
  h[1] = 'M';
  PutU32(h + 2, fields.fileSize.value_or(static_cast<std::uint32_t>(kHeadersSize + imageSize)));
  PutU32(h + 10, static_cast<std::uint32_t>(kHeadersSize));
  PutU32(h + 14, static_cast<std::uint32_t>(kInfoHeaderSize));
  PutU32(h + 18, static_cast<std::uint32_t>(picture.width));
  PutU32(h + 22, static_cast<std::uint32_t>(picture.height));
  PutU16(h + 26, 1);
  PutU16(h + 28, 24);
  PutU32(h + 34, fields.imageSize.value_or(static_cast<std::uint32_t>(imageSize)));
  PutU32(h + 38, fields.xPixelsPerMeter);
  PutU32(h + 42, fields.yPixelsPerMeter);
  PutU32(h + 46, fields.coloursUsed);
  PutU32(h + 50, fields.coloursImportant);
  if (imageSize != 0 && picture.pixels.size() >= imageSize) {
    std::memcpy(h + kHeadersSize, picture.pixels.data(), imageSize);
  }
  return bytes;
}

bool WriteBitmap24(const std::string& path, const Bitmap24& picture,
                   const BitmapHeaderFields& fields) {
  const std::vector<std::uint8_t> bytes = EncodeBitmap24(picture, fields);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}

}  // namespace viren
