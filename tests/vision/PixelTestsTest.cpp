#include "vision/PixelTests.h"

#include "vision/Contours.h"

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

// The one-pass difference and erosion, then the trace, must leave what the
// test, the erosion and the trace leave one after the other: the same image
// (traced pixels marked), the same contours, the same reference. Sizes cover
// the vector tails and the smallest pictures; the frames hold moving blocks,
// specks and noise. Frames follow one another into the same image, as in the
// analysis, where rows left empty by the frame before are not written again.
TEST(PixelTestsTest, differenceWithErosionInOnePassEqualsTheStepsOneAfterTheOther) {
  std::mt19937 rng(11);
  const int sizes[][2] = {{3, 3},   {4, 5},   {5, 4},   {17, 9},
                          {33, 20}, {47, 31}, {64, 48}, {320, 240}};
  for (const auto& size : sizes)
    for (const int threshold : {0, 1, 32, 64, 300}) {
      const int w = size[0], h = size[1];
      const std::size_t pixels = static_cast<std::size_t>(w) * h;
      std::vector<std::uint8_t> reference(pixels * 3);
      for (auto& b : reference) b = static_cast<std::uint8_t>(rng());
      std::vector<std::uint8_t> oneImage(pixels, 7), oneRef = reference;
      std::vector<std::uint32_t> rows(DifferenceErodeScratchWords(w));
      VectorizeScratch scratch;
      scratch.rowSet.assign(h, 9);
      for (int round = 0; round < 3; ++round) {
        std::vector<std::uint8_t> frame = reference;
        for (auto& b : frame) b = static_cast<std::uint8_t>(b + static_cast<int>(rng() % 9) - 4);
        for (int block = 0; block < 6 * (round != 1); ++block) {
          const int x0 = static_cast<int>(rng() % w), y0 = static_cast<int>(rng() % h);
          const int bw = 1 + static_cast<int>(rng() % 12), bh = 1 + static_cast<int>(rng() % 12);
          for (int y = y0; y < std::min(h, y0 + bh); ++y)
            for (int x = x0; x < std::min(w, x0 + bw); ++x)
              frame[(static_cast<std::size_t>(y) * w + x) * 3 + rng() % 3] += 100;
        }
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) +
                     " T=" + std::to_string(threshold) + " round " + std::to_string(round));

        std::vector<std::uint8_t> stepImage(pixels), stepRef = reference;
        DifferenceTestAndKeep(frame.data(), stepRef.data(), pixels, threshold, stepImage.data());
        const std::vector<std::uint8_t> stepRaw = stepImage;
        std::vector<Point> stepVertices(4096), oneVertices(4096);
        std::vector<int> stepCounts(32), oneCounts(32);
        int stepTotal = 0, oneTotal = 0;
        const int stepKept = VectorizeImage(stepImage.data(), w, h, stepTotal, stepCounts.data(),
                                            stepVertices.data(), 32, 4096, true);

        // The image before the erosion may be asked for beside it (the last round).
        std::vector<std::uint8_t> raw(pixels, 5);
        DifferenceErode(frame.data(), oneRef.data(), w, h, threshold, oneImage.data(),
                        scratch.rowSet.data(), rows.data(), true,
                        round == 2 ? raw.data() : nullptr);
        if (round == 2) {
          EXPECT_EQ(raw, stepRaw);
        }
        const int oneKept = TraceContours(oneImage.data(), w, h, oneTotal, oneCounts.data(),
                                          oneVertices.data(), 32, 4096, scratch);
        EXPECT_EQ(oneImage, stepImage);
        EXPECT_EQ(oneRef, frame);
        ASSERT_EQ(oneKept, stepKept);
        ASSERT_EQ(oneTotal, stepTotal);
        for (int i = 0; i < oneTotal; ++i) {
          EXPECT_EQ(oneVertices[i].x, stepVertices[i].x) << i;
          EXPECT_EQ(oneVertices[i].y, stepVertices[i].y) << i;
        }
        // Without keeping, the reference is left alone.
        std::vector<std::uint8_t> again(pixels), untouched = reference, againRaw(pixels, 5);
        std::vector<std::uint8_t> fresh(h, 1);
        DifferenceErode(frame.data(), untouched.data(), w, h, threshold, again.data(), fresh.data(),
                        rows.data(), false, againRaw.data());
        EXPECT_EQ(untouched, reference);
        EXPECT_EQ(againRaw, stepRaw);
        reference = frame;
        oneRef = frame;
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
