#include "vision/PixelTests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

namespace viren {
namespace {

TEST(PixelTestsTest, differenceThresholdFollowsLevelAndWidth) {
  EXPECT_EQ(DifferenceThreshold(99, 320), 3);
  EXPECT_EQ(DifferenceThreshold(90, 640), 64);
  EXPECT_EQ(DifferenceThreshold(90, 320), 32);
  EXPECT_EQ(DifferenceThreshold(90, 1280), 128);
  // Wider cameras keep the 1280 threshold; at 2560 and more the plain
  // formula passed 255 and nothing could ever count as movement.
  EXPECT_EQ(DifferenceThreshold(90, 2592), 128);
  EXPECT_EQ(DifferenceThreshold(95, 4096), 64);
  EXPECT_EQ(DifferenceThreshold(1, 640), 255);
}

// The vector path must agree with the plain definition for every length
// (tails included) and every threshold, and leave the frame as the reference.
TEST(PixelTestsTest, differenceTestMatchesPerPixelDefinitionForAllThresholds) {
  std::mt19937 rng(3);
  for (size_t pixels : {0u, 1u, 31u, 32u, 33u, 95u, 1000u, 4099u}) {
    std::vector<std::uint8_t> frame(pixels * 3), reference(pixels * 3);
    for (auto& b : frame) b = static_cast<std::uint8_t>(rng());
    for (size_t i = 0; i < reference.size(); ++i)
      reference[i] = static_cast<std::uint8_t>(frame[i] + static_cast<int>(rng() % 81) - 40);
    for (int threshold : {-5, 0, 1, 3, 32, 40, 64, 200, 255, 256, 700}) {
      std::vector<std::uint8_t> out(pixels, 9), kept = reference, outKeep(pixels, 9);
      DifferenceTest(frame.data(), reference.data(), pixels, threshold, out.data());
      DifferenceTestAndKeep(frame.data(), kept.data(), pixels, threshold, outKeep.data());
      for (size_t i = 0; i < pixels; ++i) {
        int m = 0;
        for (int c = 0; c < 3; ++c)
          m = std::max(m, std::abs(int{frame[3 * i + c]} - int{reference[3 * i + c]}));
        const std::uint8_t expected = m >= threshold ? 1 : 0;
        ASSERT_EQ(out[i], expected) << pixels << " " << threshold << " " << i;
        ASSERT_EQ(outKeep[i], expected) << pixels << " " << threshold << " " << i;
      }
      EXPECT_EQ(kept, frame);
    }
  }
}

TEST(PixelTestsTest, markerTestPicksItsMainChannelAndNeedsMovement) {
  // Pixels (blue, green, red): a red, a green and a blue marker colour.
  const std::uint8_t frame[] = {10, 10, 200, 10, 200, 10, 200, 10, 10, 200, 10, 10};
  const std::uint8_t diff[] = {1, 1, 1, 0};
  std::uint8_t out[4];
  MarkerTest(frame, diff, 4, 1, 16, out);
  EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{1, 0, 0, 0}));
  MarkerTest(frame, diff, 4, 2, 16, out);
  EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{0, 1, 0, 0}));
  for (int check : {3, 7, -1}) {
    MarkerTest(frame, diff, 4, check, 16, out);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{0, 0, 1, 0})) << check;
  }
  // 200 - 10 - 10 = 180: not above a margin of 180.
  MarkerTest(frame, diff, 4, 1, 180, out);
  EXPECT_EQ(out[0], 0);
  MarkerTest(frame, diff, 4, 1, 179, out);
  EXPECT_EQ(out[0], 1);
}

}  // namespace
}  // namespace viren
