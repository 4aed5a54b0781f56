#include "vision/Bitmap24.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "support/TestDir.h"

namespace viren {
namespace {

Bitmap24 Pattern(int w, int h) {
  Bitmap24 b;
  EXPECT_TRUE(b.Create(w, h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.PixelAt(x, y);
      p[0] = static_cast<std::uint8_t>(x * 7);
      p[1] = static_cast<std::uint8_t>(y * 11);
      p[2] = static_cast<std::uint8_t>(x + y);
    }
  }
  return b;
}

std::uint32_t U32At(const std::vector<std::uint8_t>& v, std::size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) |
         (static_cast<std::uint32_t>(v[at + 3]) << 24);
}

void PutU32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

TEST(Bitmap24, FileLayout_HeadersPaddedRowsAndBottomUpOrder) {
  // 5 pixels a row: 15 bytes padded to 16.
  Bitmap24 b = Pattern(5, 3);
  EXPECT_EQ(b.Stride(), 16u);
  const auto bytes = EncodeBitmap24(b);
  ASSERT_EQ(bytes.size(), 54u + 48u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(U32At(bytes, 2), 102u);
  EXPECT_EQ(U32At(bytes, 10), 54u);
  EXPECT_EQ(U32At(bytes, 14), 40u);
  EXPECT_EQ(U32At(bytes, 18), 5u);
  EXPECT_EQ(U32At(bytes, 22), 3u);
  EXPECT_EQ(bytes[26], 1);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(U32At(bytes, 30), 0u);
  EXPECT_EQ(U32At(bytes, 34), 48u);
  // The first stored row is the bottom of the picture (y = 2).
  EXPECT_EQ(bytes[54 + 3 * 1 + 1], 22);  // green of (1, 2)
  EXPECT_EQ(bytes[54 + 16 + 1], 11);     // green of (0, 1): second stored row
  // Padding bytes are zero.
  EXPECT_EQ(bytes[54 + 15], 0);
  EXPECT_EQ(bytes[54 + 31], 0);
}

TEST(Bitmap24, RoundTrip_ThroughFileKeepsEveryPixel) {
  test::TestDir dir;
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {4, 4}, {321, 7}}) {
    const Bitmap24 b = Pattern(w, h);
    const std::string path = dir.File("p.bmp");
    ASSERT_TRUE(WriteBitmap24(path, b));
    Bitmap24 back;
    ASSERT_EQ(LoadBitmap24(path, back), BitmapStatus::Ok) << w << "x" << h;
    EXPECT_EQ(back.width, w);
    EXPECT_EQ(back.height, h);
    EXPECT_EQ(back.pixels, b.pixels);
  }
}

TEST(Bitmap24, HeaderFields_OverridesAreWrittenAsGiven) {
  Bitmap24 b = Pattern(32, 32);
  BitmapHeaderFields f;
  f.fileSize = 32 * 32 + 54;
  f.imageSize = 32 * 32;
  f.coloursUsed = 16777216;
  f.coloursImportant = 16777216;
  const auto bytes = EncodeBitmap24(b, f);
  EXPECT_EQ(bytes.size(), 54u + 3072u);
  EXPECT_EQ(U32At(bytes, 2), 1078u);
  EXPECT_EQ(U32At(bytes, 34), 1024u);
  EXPECT_EQ(U32At(bytes, 46), 16777216u);
  EXPECT_EQ(U32At(bytes, 50), 16777216u);
  // Readers use only offset, size and depth, so it still loads.
  Bitmap24 back;
  EXPECT_EQ(DecodeBitmap24(bytes, back), BitmapStatus::Ok);
  EXPECT_EQ(back.pixels, b.pixels);
}

TEST(Bitmap24, TopDownFile_IsStoredBottomUp) {
  Bitmap24 b = Pattern(4, 3);
  auto bytes = EncodeBitmap24(b);
  // Reverse the rows and mark the height negative.
  std::vector<std::uint8_t> flipped(bytes.begin(), bytes.begin() + 54);
  for (int r = 2; r >= 0; --r) {
    flipped.insert(flipped.end(), bytes.begin() + 54 + r * 12, bytes.begin() + 54 + (r + 1) * 12);
  }
  PutU32(flipped, 22, static_cast<std::uint32_t>(-3));
  Bitmap24 back;
  ASSERT_EQ(DecodeBitmap24(flipped, back), BitmapStatus::Ok);
  EXPECT_EQ(back.height, 3);
  EXPECT_EQ(back.pixels, b.pixels);
}

TEST(Bitmap24, PixelOffset_IsHonoured) {
  Bitmap24 b = Pattern(2, 2);
  auto bytes = EncodeBitmap24(b);
  bytes.insert(bytes.begin() + 54, 10, 0xEE);  // a gap before the pixels
  PutU32(bytes, 10, 64);
  Bitmap24 back;
  ASSERT_EQ(DecodeBitmap24(bytes, back), BitmapStatus::Ok);
  EXPECT_EQ(back.pixels, b.pixels);
}

TEST(Bitmap24, Refusals_LyingOrForeignHeadersLeaveTheOutputEmpty) {
  const auto good = EncodeBitmap24(Pattern(4, 4));
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    BitmapStatus expected;
  };
  const Case cases[] = {
      {"not BM", 0, 0x4D42 ^ 0x0101, BitmapStatus::NotABitmap},
      {"core header", 14, 12, BitmapStatus::NotABitmap},
      {"8 bits", 28, 8, BitmapStatus::Unsupported},
      {"32 bits", 28, 32, BitmapStatus::Unsupported},
      {"RLE", 30, 1, BitmapStatus::Unsupported},
      {"zero width", 18, 0, BitmapStatus::TooLarge},
      {"negative width", 18, static_cast<std::uint32_t>(-4), BitmapStatus::TooLarge},
      {"huge width", 18, 0x7FFFFFFF, BitmapStatus::TooLarge},
      {"huge height", 22, 100000, BitmapStatus::TooLarge},
      {"most negative height", 22, 0x80000000u, BitmapStatus::TooLarge},
      {"height beyond data", 22, 5, BitmapStatus::Truncated},
      {"offset beyond data", 10, 60, BitmapStatus::Truncated},
      {"offset past the end", 10, 0xFFFFFFF0u, BitmapStatus::Truncated},
      {"offset inside headers", 10, 20, BitmapStatus::NotABitmap},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    if (c.at == 28) {
      bytes[28] = static_cast<std::uint8_t>(c.value);
    } else if (c.at == 0) {
      bytes[0] = 'X';
    } else {
      PutU32(bytes, c.at, c.value);
    }
    Bitmap24 out = Pattern(2, 2);
    EXPECT_EQ(DecodeBitmap24(bytes, out), c.expected) << c.what;
    EXPECT_TRUE(out.Empty()) << c.what;
    EXPECT_TRUE(out.pixels.empty()) << c.what;
  }
  // Too many pixels although each side is allowed: 16384 x 16384.
  auto big = good;
  PutU32(big, 18, 16384);
  PutU32(big, 22, 16384);
  Bitmap24 out;
  EXPECT_EQ(DecodeBitmap24(big, out), BitmapStatus::TooLarge);
}

TEST(Bitmap24, TruncatedFiles_AreRefusedAtEveryLength) {
  const auto good = EncodeBitmap24(Pattern(3, 3));
  for (std::size_t n = 0; n < good.size(); ++n) {
    Bitmap24 out;
    const BitmapStatus s = DecodeBitmap24(std::span(good.data(), n), out);
    EXPECT_NE(s, BitmapStatus::Ok) << n;
    EXPECT_EQ(s, n < 54 ? BitmapStatus::NotABitmap : BitmapStatus::Truncated) << n;
  }
}

TEST(Bitmap24, LoadFromDisk_MissingShortAndLyingFiles) {
  test::TestDir dir;
  Bitmap24 out;
  EXPECT_EQ(LoadBitmap24(dir.File("none.bmp"), out), BitmapStatus::CannotOpen);
  EXPECT_EQ(LoadBitmap24(dir.path(), out), BitmapStatus::CannotOpen);  // a folder
  dir.Write("short.bmp", "BM");
  EXPECT_EQ(LoadBitmap24(dir.File("short.bmp"), out), BitmapStatus::NotABitmap);
  // A header promising 8000 x 8000 pixels in a file of a few bytes is refused
  // before 192 MB are asked for.
  auto bytes = EncodeBitmap24(Pattern(2, 2));
  PutU32(bytes, 18, 8000);
  PutU32(bytes, 22, 8000);
  dir.Write("lie.bmp", std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(LoadBitmap24(dir.File("lie.bmp"), out), BitmapStatus::Truncated);
  EXPECT_TRUE(out.Empty());
}

TEST(Bitmap24, Create_RefusesSizesTheLoaderRefuses) {
  Bitmap24 b;
  EXPECT_FALSE(b.Create(0, 10));
  EXPECT_FALSE(b.Create(10, -1));
  EXPECT_FALSE(b.Create(kMaxBitmapSide + 1, 1));
  EXPECT_TRUE(b.Empty());
  EXPECT_TRUE(b.Create(1, 1));
  EXPECT_EQ(b.pixels.size(), 4u);
}

// Random damage to valid files and random bytes behind a valid signature:
// decoding either succeeds with a consistent picture or refuses; under the
// address sanitizer any read past the buffer fails the test.
TEST(Bitmap24, Fuzz_DamagedFilesNeverReadOutOfBounds) {
  std::mt19937 rng(20240611);
  const std::vector<std::vector<std::uint8_t>> seeds = {
      EncodeBitmap24(Pattern(1, 1)), EncodeBitmap24(Pattern(5, 3)), EncodeBitmap24(Pattern(16, 9))};
  int accepted = 0;
  for (int iteration = 0; iteration < 20000; ++iteration) {
    std::vector<std::uint8_t> bytes = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
      switch (rng() % 4) {
        case 0:  // flip a header byte
          bytes[rng() % std::min<std::size_t>(bytes.size(), 54)] = static_cast<std::uint8_t>(rng());
          break;
        case 1:  // any byte
          bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
          break;
        case 2:  // cut the file
          bytes.resize(rng() % (bytes.size() + 1));
          break;
        default:  // grow it
          bytes.resize(bytes.size() + rng() % 64, static_cast<std::uint8_t>(rng()));
          break;
      }
      if (bytes.empty()) bytes.push_back('B');
    }
    Bitmap24 out;
    const BitmapStatus s = DecodeBitmap24(bytes, out);
    if (s == BitmapStatus::Ok) {
      ++accepted;
      ASSERT_GT(out.width, 0);
      ASSERT_GT(out.height, 0);
      ASSERT_EQ(out.pixels.size(), out.Stride() * static_cast<std::size_t>(out.height));
      ASSERT_LE(out.pixels.size(), bytes.size());
    } else {
      ASSERT_TRUE(out.pixels.empty());
    }
  }
  EXPECT_GT(accepted, 0);  // the damage left some files readable
}

}  // namespace
}  // namespace viren
