// The learned-ball pattern file as the ball search reads it at start-up, and
// the search with the pattern it gives over a frame made from the same bytes.
#include "FuzzSupport.h"
#include "ball/BallMatcher.h"
#include "ball/PatternFile.h"
#include "vision/Bitmap24.h"

using namespace viren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  GreyPattern pattern;
  pattern.size = -7;
  if (!DecodePatternFile({data, size}, pattern)) {
    FUZZ_CHECK(pattern.size == -7 && pattern.pixels.empty());  // untouched on refusal
    return 0;
  }
  const int p = pattern.size;
  FUZZ_CHECK(p == 16 || p == 32 || p == 64 || p == 128);
  FUZZ_CHECK(pattern.pixels.size() == static_cast<std::size_t>(p) * p);

  // What the learning writes back reads as the same pattern.
  Bitmap24 picture;
  FUZZ_CHECK(DecodeBitmap24({data, size}, picture) == BitmapStatus::Ok);
  std::vector<std::uint8_t> patch(static_cast<std::size_t>(p) * p * 3);
  for (int y = 0; y < p; ++y)
    std::memcpy(patch.data() + static_cast<std::size_t>(p - 1 - y) * p * 3, picture.PixelAt(0, y),
                static_cast<std::size_t>(p) * 3);
  const std::vector<std::uint8_t> written = EncodePatternFile(patch, p);
  GreyPattern again;
  FUZZ_CHECK(DecodePatternFile(written, again));
  FUZZ_CHECK(again.size == p && again.pixels == pattern.pixels);

  // A small frame holding the pattern somewhere: the search runs over it.
  const int side = p + 8;
  Bitmap24 frame;
  FUZZ_CHECK(frame.Create(side, side));
  const int at = static_cast<int>(size % 9);
  for (int y = 0; y < p; ++y)
    std::memcpy(frame.PixelAt(at, at + y), picture.PixelAt(0, y), static_cast<std::size_t>(p) * 3);
  BallMatcher matcher;
  Rect found{};
  if (matcher.FindBall(frame.pixels.data(), side, side, frame.Stride(), pattern.pixels.data(), p,
                       static_cast<int>(data[size - 1]), found)) {
    FUZZ_CHECK(found.left >= 0 && found.top >= 0 && found.right <= side && found.bottom <= side);
    FUZZ_CHECK(found.right - found.left == p && found.bottom - found.top == p);
  }
  return 0;
}
