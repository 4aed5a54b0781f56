// The pattern file: written with the learning's own header, read back into
// the grey pattern, and hostile files refused without reading past anything.
#include "ball/PatternFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "ball/PatternMatcher.h"
#include "support/TestDir.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

std::vector<std::uint8_t> ColourPatch(int side, unsigned seed) {
  std::vector<std::uint8_t> patch(static_cast<std::size_t>(side) * side * 3);
  std::mt19937 rng(seed);
  for (auto& b : patch) b = static_cast<std::uint8_t>(rng());
  return patch;
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(PatternFileTest, saved32x32FileHasTheLearningHeaderAndRoundTrips) {
  test::TestDir dir;
  const auto patch = ColourPatch(32, 1);
  ASSERT_TRUE(WritePatternFile(dir.File("ball.bmp"), patch, 32));
  const auto bytes = FileBytes(dir.File("ball.bmp"));
  ASSERT_EQ(bytes.size(), 3126u);

  std::vector<std::uint8_t> expected(54, 0);
  expected[0] = 'B';
  expected[1] = 'M';
  PutU32(expected, 2, 1078);  // S x S + 54, as the learning has always written it
  PutU32(expected, 10, 54);
  PutU32(expected, 14, 40);
  PutU32(expected, 18, 32);
  PutU32(expected, 22, 32);
  expected[26] = 1;
  expected[28] = 24;
  PutU32(expected, 34, 1024);
  PutU32(expected, 46, 16777216);
  PutU32(expected, 50, 16777216);
  expected.insert(expected.end(), patch.begin(), patch.end());
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(EncodePatternFile(patch, 32), expected);

  GreyPattern pattern;
  ASSERT_TRUE(ReadPatternFile(dir.File("ball.bmp"), pattern));
  EXPECT_EQ(pattern.size, 32);
  std::vector<std::uint8_t> grey(32 * 32);
  wh::ConvertToGrey(patch.data(), 32, 96, 0, 0, 32, 32, grey.data());
  EXPECT_EQ(pattern.pixels, grey);
}

TEST(PatternFileTest, everyLearnSizeReadsBackAtItsSide) {
  for (int side : {16, 32, 64, 128}) {
    GreyPattern pattern;
    ASSERT_TRUE(DecodePatternFile(EncodePatternFile(ColourPatch(side, side), side), pattern));
    EXPECT_EQ(pattern.size, side);
    EXPECT_EQ(pattern.pixels.size(), static_cast<std::size_t>(side) * side);
  }
  EXPECT_TRUE(EncodePatternFile(ColourPatch(16, 1), 17).empty());
  EXPECT_TRUE(EncodePatternFile(ColourPatch(8, 1), 16).empty());  // patch too short
}

TEST(PatternFileTest, otherPicturesAreCutToTheirTopLeftSquareOrRefused) {
  struct Case {
    int w, h, p;
  };
  for (const Case c : {Case{100, 40, 32}, Case{40, 100, 32}, Case{300, 300, 128}, Case{24, 24, 16},
                       Case{8, 8, 0}, Case{640, 12, 0}}) {
    Bitmap24 picture;
    ASSERT_TRUE(picture.Create(c.w, c.h));
    std::mt19937 rng(c.w * 1000 + c.h);
    for (auto& b : picture.pixels) b = static_cast<std::uint8_t>(rng());
    GreyPattern pattern;
    const bool read = DecodePatternFile(EncodeBitmap24(picture), pattern);
    ASSERT_EQ(read, c.p != 0) << c.w << "x" << c.h;
    if (!read) continue;
    EXPECT_EQ(pattern.size, c.p);
    // The top-left square of the picture (picture row 0 is the top).
    const std::uint8_t* px = picture.PixelAt(c.p - 1, 0);
    EXPECT_EQ(pattern.pixels[c.p - 1], (77 * px[2] + 150 * px[1] + 29 * px[0]) >> 8);
    px = picture.PixelAt(0, c.p - 1);
    EXPECT_EQ(pattern.pixels[(c.p - 1) * c.p], (77 * px[2] + 150 * px[1] + 29 * px[0]) >> 8);
  }
}

TEST(PatternFileTest, missingOrLyingFilesAreRefused) {
  test::TestDir dir;
  GreyPattern pattern;
  EXPECT_FALSE(ReadPatternFile(dir.File("none.bmp"), pattern));
  auto bytes = EncodePatternFile(ColourPatch(32, 2), 32);
  auto tall = bytes;
  PutU32(tall, 22, 64);  // promises twice the rows the file holds
  EXPECT_FALSE(DecodePatternFile(tall, pattern));
  auto far = bytes;
  PutU32(far, 10, 0xFFFFFF00u);
  EXPECT_FALSE(DecodePatternFile(far, pattern));
  auto eightBit = bytes;
  eightBit[28] = 8;
  EXPECT_FALSE(DecodePatternFile(eightBit, pattern));
  bytes.resize(1000);
  EXPECT_FALSE(DecodePatternFile(bytes, pattern));
  EXPECT_EQ(pattern.size, 0);
}

// Random damage to valid files: never a crash or a read past the data (the
// sanitizer builds watch), and whatever is accepted is a pattern the matcher
// takes.
TEST(PatternFileTest, fuzzedFilesAreReadSafely) {
  std::mt19937 rng(2024);
  const std::vector<std::vector<std::uint8_t>> seeds = {EncodePatternFile(ColourPatch(16, 3), 16),
                                                        EncodePatternFile(ColourPatch(32, 4), 32)};
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    auto bytes = seeds[round % 2];
    const int changes = 1 + static_cast<int>(rng() % 6);
    for (int n = 0; n < changes; ++n) {
      // Mostly the headers, where a lie does harm.
      const std::size_t at = rng() % 4 ? rng() % 54 : rng() % bytes.size();
      bytes[at] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 5 == 0) bytes.resize(rng() % bytes.size());
    GreyPattern pattern;
    if (DecodePatternFile(bytes, pattern)) {
      ++accepted;
      ASSERT_TRUE(pattern.size == 16 || pattern.size == 32 || pattern.size == 64 ||
                  pattern.size == 128);
      ASSERT_EQ(pattern.pixels.size(), static_cast<std::size_t>(pattern.size) * pattern.size);
    }
  }
  EXPECT_GT(accepted, 100);
}

}  // namespace
}  // namespace viren
