// The projection-kernel matcher on grey pictures: its records, the kernel
// tree, the three phases of the search and its answers against the
// exhaustive search.
#include "ball/PatternMatcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "BallTestFrames.h"

namespace viren {
namespace {

using test::GreyPicture;

struct Search {
  std::unique_ptr<wh::WHSetup> s;
  Search(const GreyPicture& frame, const GreyPicture& pattern, int basis = 50) {
    s = wh::createWHSetup(frame.height, frame.width, pattern.width, basis);
    wh::setSourceImage(*s, wh::Image{frame.height, frame.width, frame.pixels.data()});
    wh::setPatternImage(*s, wh::Image{pattern.width, pattern.width, pattern.pixels.data()});
  }
  int Run(int threshold, int findDistance, wh::SearchStats* stats = nullptr) {
    wh::reloadSource(*s);
    return wh::whPatternMatch(*s, threshold, findDistance, stats);
  }
  const wh::Match& First() const { return s->matches[0]; }
};

// The tree over a picture, filled and ready for a kernel.
std::unique_ptr<wh::Branch> TreeOver(const GreyPicture& p, int patternSize, int kernels) {
  auto b = wh::allocBranch(p.height, p.width, patternSize, kernels);
  for (int i = 0; i < b->matrices[0]->size; ++i) b->matrices[0]->cellValues[i] = p.pixels[i];
  return b;
}

std::int32_t FreshProjection(const GreyPicture& p, int patternSize, int kernel, int row, int col) {
  auto b = TreeOver(p, patternSize, patternSize * patternSize);
  wh::computeKernelTopDown(*b, kernel);
  return b->matrices[b->depth]->rowTable[row][col];
}

TEST(PatternMatcherRecords, levelsShrinkToOneValuePerWindow) {
  auto b = wh::allocBranch(240, 320, 32, 50);
  ASSERT_EQ(b->depth, 10);
  EXPECT_EQ(b->matrices[10]->rows, 240 - 32 + 1);
  EXPECT_EQ(b->matrices[10]->cols, 320 - 32 + 1);
  EXPECT_EQ(b->matrices[1]->cols, 319);  // horizontal, offset 1
  EXPECT_EQ(b->matrices[2]->rows, 239);  // vertical, offset 1
  EXPECT_EQ(b->matrices[3]->cols, 317);  // horizontal, offset 2
  EXPECT_EQ(b->delta[4], 4);
  for (int level = 0; level < 10; ++level) EXPECT_EQ(b->Sign(level, 0), 1);
  // T = (+1, -1, +1, -1, -1, +1, -1, +1) indexed by (k >> (D - 1 - L)) & 7.
  EXPECT_EQ(b->Sign(9, 1), -1);
  EXPECT_EQ(b->Sign(9, 4), -1);
  EXPECT_EQ(b->Sign(9, 5), 1);
  EXPECT_EQ(b->Sign(8, 1), 1);
}

TEST(PatternMatcherRecords, numberOfKernelsHeldToThoseThatExist) {
  EXPECT_EQ(wh::createWHSetup(20, 20, 4, 1000)->numOfBasis, 16);
  EXPECT_EQ(wh::createWHSetup(20, 20, 4, -3)->numOfBasis, 1);
}

TEST(PatternMatcherRecords, sizesOutsideTheMatcherAreRefused) {
  EXPECT_TRUE(wh::SizesSupported(240, 320, 128));
  EXPECT_TRUE(wh::SizesSupported(32, 32, 32));
  EXPECT_FALSE(wh::SizesSupported(240, 320, 48));
  EXPECT_FALSE(wh::SizesSupported(240, 320, 256));
  EXPECT_FALSE(wh::SizesSupported(31, 320, 32));
  EXPECT_FALSE(wh::SizesSupported(240, 320, 0));
  EXPECT_FALSE(wh::SizesSupported(4096, 4096, 16));
}

TEST(PatternMatcherKernels, kernelZeroIsTheWindowSumAndTheKernelsFormABasis) {
  const GreyPicture frame = test::NoisePicture(13, 11, 7);
  const GreyPicture pattern = test::NoisePicture(8, 8, 8);
  const int p = 8;
  auto tree = TreeOver(frame, p, p * p);
  wh::computeKernelTopDown(*tree, 0);
  std::int64_t sum = 0;
  for (int y = 0; y < p; ++y)
    for (int x = 0; x < p; ++x) sum += frame.at(2 + x, 3 + y);
  EXPECT_EQ(tree->matrices[tree->depth]->rowTable[3][2], sum);

  // Sum over all kernels of squared projection differences = P^2 x distance,
  // which is what makes each partial sum a lower bound.
  Search all(frame, pattern, p * p);
  for (int row : {0, 3})
    for (int col : {0, 5}) {
      std::int64_t projected = 0;
      for (int k = 0; k < p * p; ++k) {
        const std::int64_t d =
            FreshProjection(frame, p, k, row, col) - all.s->patternProjections[k];
        projected += d * d;
      }
      std::int64_t ssd = 0;
      for (int y = 0; y < p; ++y)
        for (int x = 0; x < p; ++x) {
          const int e = frame.at(col + x, row + y) - pattern.at(x, y);
          ssd += e * e;
        }
      EXPECT_EQ(projected, ssd * p * p) << row << "," << col;
    }
}

TEST(PatternMatcherKernels, incrementalTopDownEqualsFreshComputation) {
  const GreyPicture frame = test::NoisePicture(40, 30, 11);
  auto tree = TreeOver(frame, 8, 64);
  std::mt19937 rng(3);
  for (int step = 0; step < 40; ++step) {
    const int k = static_cast<int>(rng() % 64);
    wh::computeKernelTopDown(*tree, k);
    const int row = static_cast<int>(rng() % 23);
    const int col = static_cast<int>(rng() % 33);
    ASSERT_EQ(tree->matrices[6]->rowTable[row][col], FreshProjection(frame, 8, k, row, col))
        << "kernel " << k;
  }
}

// Property: the per-candidate computation through the cache gives the values
// of the whole-source computation, for random pictures, kernels in any order
// and several phases in a row.
TEST(PatternMatcherKernels, perCandidateValuesEqualTopDownValues) {
  std::mt19937 rng(12345);
  for (int picture = 0; picture < 6; ++picture) {
    const int p = picture % 2 == 0 ? 8 : 4;
    const int w = p + static_cast<int>(rng() % 30);
    const int h = p + static_cast<int>(rng() % 20);
    const GreyPicture frame = test::NoisePicture(w, h, static_cast<unsigned>(rng()));
    auto tree = TreeOver(frame, p, p * p);
    auto reference = TreeOver(frame, p, p * p);
    for (int phase = 0; phase < 3; ++phase) {
      int k = static_cast<int>(rng() % (p * p));
      if (phase > 0 || picture % 3 != 0) wh::computeKernelTopDown(*tree, k);
      wh::beginPerCandidatePhase(*tree);
      for (int step = 0; step < 12; ++step) {
        k = step % 2 == 0 ? std::min(k + 1, p * p - 1) : static_cast<int>(rng() % (p * p));
        wh::computeKernelTopDown(*reference, k);
        for (int n = 0; n < 25; ++n) {
          const int row = static_cast<int>(rng() % (h - p + 1));
          const int col = static_cast<int>(rng() % (w - p + 1));
          ASSERT_EQ(wh::computeKernelForWindow(*tree, k, row, col),
                    reference->matrices[reference->depth]->rowTable[row][col])
              << "picture " << picture << " phase " << phase << " kernel " << k;
        }
      }
    }
  }
}

TEST(PatternMatcherSearch, identicalWindowHasDistanceZeroAtAnyThreshold) {
  GreyPicture frame = test::NoisePicture(64, 48, 1);
  const GreyPicture pattern = test::Cut(frame, 21, 9, 16);
  Search search(frame, pattern);
  for (int flag : {1, 0}) {
    ASSERT_GE(search.Run(0, flag), 1) << flag;
    EXPECT_EQ(search.First().row, 9);
    EXPECT_EQ(search.First().col, 21);
    EXPECT_EQ(search.First().distance, 0);
  }
}

TEST(PatternMatcherSearch, uniformPatternMatchesUniformFrameWithinThreshold) {
  const GreyPicture pattern(16, 16, 100);
  for (int g1 : {90, 110, 89, 111}) {
    const GreyPicture frame(40, 30, static_cast<std::uint8_t>(g1));
    Search search(frame, pattern);
    const bool within = std::abs(g1 - 100) <= 10;
    EXPECT_EQ(search.Run(10, 1) > 0, within) << g1;
    EXPECT_EQ(search.Run(10, 0) > 0, within) << g1;
  }
}

TEST(PatternMatcherSearch, bestWindowReturnedEvenBeyondThresholdOnceItPassedTheBounds) {
  // A checkerboard of mean 128 over a flat 128 frame: the window sums agree,
  // so with only kernel 0 for rejection every window reaches the distance
  // phase, although each is far beyond the threshold.
  GreyPicture pattern(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) pattern.at(x, y) = (x + y) % 2 ? 28 : 228;
  const GreyPicture frame(24, 20, 128);
  Search search(frame, pattern, 1);
  ASSERT_EQ(search.Run(5, 1), 1);
  EXPECT_GT(search.First().distance, 5 * 5 * 256);
  EXPECT_EQ(search.Run(5, 0), 0);
}

TEST(PatternMatcherSearch, tiesGoToTheUpperThenTheLeftWindow) {
  const GreyPicture patch = test::BallPatch(16, 2);
  GreyPicture frame(80, 60, 20);
  test::Plant(frame, patch, 50, 30);
  test::Plant(frame, patch, 10, 40);
  test::Plant(frame, patch, 60, 5);
  test::Plant(frame, patch, 30, 5);
  Search search(frame, patch);
  ASSERT_EQ(search.Run(20, 1), 1);
  EXPECT_EQ(search.First().row, 5);
  EXPECT_EQ(search.First().col, 30);
  // Without the flag every window within the threshold, in row-major order.
  ASSERT_EQ(search.Run(3, 0), 4);
  EXPECT_EQ(search.s->matches[1].col, 60);
  EXPECT_EQ(search.s->matches[2].row, 30);
  EXPECT_EQ(search.s->matches[3].row, 40);
}

TEST(PatternMatcherSearch, patternAsLargeAsTheFrameHasOneWindow) {
  const GreyPicture frame = test::NoisePicture(32, 32, 4);
  Search search(frame, frame);
  EXPECT_EQ(search.s->Windows(), 1);
  ASSERT_EQ(search.Run(0, 1), 1);
  EXPECT_EQ(search.First().row, 0);
  EXPECT_EQ(search.First().col, 0);
}

TEST(PatternMatcherSearch, absentBallIsRejected) {
  const GreyPicture frame = test::SmoothPicture(160, 120, 5);
  const GreyPicture patch = test::BallPatch(32, 6);
  Search search(frame, patch);
  wh::SearchStats stats;
  EXPECT_EQ(search.Run(20, 1, &stats), 0);
  EXPECT_EQ(search.Run(-1, 1), 0);
}

// The gate: whenever the exhaustive minimum lies within the threshold, the
// matcher's window is that minimum; on 4:3 and 16:9 frames.
TEST(PatternMatcherSearch, agreesWithExhaustiveSearchWheneverItsMinimumIsWithinThreshold) {
  struct Case {
    int w, h, p;
    double noise;
  };
  const Case cases[] = {{320, 240, 32, 0},
                        {320, 240, 16, 5},
                        {256, 144, 32, 10},
                        {320, 180, 16, 20},
                        {192, 108, 32, 10}};
  unsigned seed = 100;
  int checked = 0;
  for (const Case& c : cases) {
    GreyPicture frame = test::SmoothPicture(c.w, c.h, ++seed);
    std::mt19937 rng(++seed);
    const int left = static_cast<int>(rng() % (c.w - c.p + 1));
    const int top = static_cast<int>(rng() % (c.h - c.p + 1));
    test::Plant(frame, test::BallPatch(c.p, ++seed), left, top);
    GreyPicture pattern = test::Cut(frame, left, top, c.p);
    std::normal_distribution<double> noise(0.0, c.noise);
    for (auto& v : frame.pixels)
      if (c.noise > 0) v = static_cast<std::uint8_t>(std::clamp(v + noise(rng), 0.0, 255.0));
    const test::BruteBest best = test::BruteForce(frame, pattern);
    Search search(frame, pattern);
    for (int threshold : {10, 25, 75}) {
      wh::SearchStats stats;
      const int found = search.Run(threshold, 1, &stats);
      const bool within = best.distance <= std::int64_t{threshold} * threshold * c.p * c.p;
      if (!within) continue;
      ++checked;
      ASSERT_EQ(found, 1) << c.w << "x" << c.h << " P" << c.p << " a" << threshold;
      EXPECT_EQ(search.First().row, best.row);
      EXPECT_EQ(search.First().col, best.col);
      EXPECT_EQ(search.First().distance, best.distance);
      EXPECT_EQ(stats.candidatesAfterKernel.size(),
                static_cast<std::size_t>(1 + stats.topDownKernels + stats.perCandidateKernels));
    }
  }
  EXPECT_GE(checked, 10);
}

TEST(PatternMatcherSearch, phasesSwitchAtTheirPercentages) {
  GreyPicture frame = test::NoisePicture(96, 72, 9);
  const GreyPicture pattern = test::Cut(frame, 40, 30, 16);
  Search search(frame, pattern);
  search.s->settleEarly = false;  // the rule's every kernel, though the best is plain
  // Everything below 100 %: no whole-source kernel after kernel 0, and the
  // distance at once.
  wh::setBottomUpStartPercent(*search.s, 100.0f);
  wh::setDistanceStartPercent(*search.s, 100.0f);
  wh::SearchStats stats;
  ASSERT_EQ(search.Run(255, 1, &stats), 1);
  EXPECT_EQ(stats.topDownKernels, 0);
  EXPECT_EQ(stats.perCandidateKernels, 0);
  EXPECT_EQ(stats.distanceCandidates, stats.windows);
  // Whole-source kernels until none is left to compute.
  wh::setBottomUpStartPercent(*search.s, -1.0f);
  ASSERT_EQ(search.Run(255, 1, &stats), 1);
  EXPECT_EQ(stats.topDownKernels, 49);
  EXPECT_EQ(search.First().col, 40);
  // Per-candidate kernels only.
  wh::setBottomUpStartPercent(*search.s, 100.0f);
  wh::setDistanceStartPercent(*search.s, -1.0f);
  ASSERT_EQ(search.Run(255, 1, &stats), 1);
  EXPECT_EQ(stats.topDownKernels, 0);
  EXPECT_EQ(stats.perCandidateKernels, 49);
  EXPECT_EQ(search.First().row, 30);
}

TEST(PatternMatcherGrey, convertsBottomUpRowsWithWeights) {
  // 2 x 2 picture, stride 8 (padded), bottom row first in memory.
  std::vector<std::uint8_t> picture = {10,  20, 30, 40, 50,  60, 0, 0,   // bottom row: (0,1), (1,1)
                                       255, 0,  0,  0,  255, 0,  0, 0};  // top row: blue, green
  std::uint8_t out[4];
  wh::ConvertToGrey(picture.data(), 2, 8, 0, 0, 2, 2, out);
  EXPECT_EQ(out[0], (29 * 255) >> 8);
  EXPECT_EQ(out[1], (150 * 255) >> 8);
  EXPECT_EQ(out[2], (77 * 30 + 150 * 20 + 29 * 10) >> 8);
  EXPECT_EQ(out[3], (77 * 60 + 150 * 50 + 29 * 40) >> 8);
}

// An allocation that cannot be had ends the process with its line and 1.
TEST(PatternMatcherDeathTest, allocationFailurePrintsItsLineAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto toStderr = [] {
    std::fflush(stdout);
    dup2(2, 1);
  };
  EXPECT_EXIT(
      {
        toStderr();
        wh::allocMatrix(1 << 20, 1 << 20);
      },
      ::testing::ExitedWithCode(1), "ERROR in allocMatrix: can't allocate cellValues array\\.");
  EXPECT_EXIT(
      {
        toStderr();
        wh::allocMatrix(-1, 4);
      },
      ::testing::ExitedWithCode(1), "ERROR in allocMatrix: can't allocate cellValues array\\.");
}

}  // namespace
}  // namespace viren
