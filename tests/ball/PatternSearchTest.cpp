// The fast paths of the search (kernel 0 from one box-sum pass, per-window
// bounds in flat passes, whole-source values for many candidates, the bounds
// that skip distances) against a plain search written out here: every kernel
// through a fresh tree, the candidates filtered one by one, every survivor's
// full distance. Matches, distances and the candidate counts after every
// kernel must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "BallTestFrames.h"
#include "ball/PatternMatcher.h"

namespace viren {
namespace {

using test::GreyPicture;

std::unique_ptr<wh::Branch> TreeOver(const GreyPicture& p, int patternSize, int kernels) {
  auto b = wh::allocBranch(p.height, p.width, patternSize, kernels);
  for (int i = 0; i < b->matrices[0]->size; ++i) b->matrices[0]->cellValues[i] = p.pixels[i];
  return b;
}

// Kernel k's projection of every window, all levels from the source.
std::vector<std::int32_t> Projections(const GreyPicture& p, int patternSize, int kernel) {
  auto b = TreeOver(p, patternSize, patternSize * patternSize);
  wh::computeKernelTopDown(*b, kernel);
  const wh::Matrix& last = *b->matrices[b->depth];
  return {last.cellValues.get(), last.cellValues.get() + last.size};
}

struct Settings {
  int basis = 50;
  float bottomUp = 10.0f;
  float distance = 2.0f;
  double correlation = 256.0;  // see WHSetup::correlationStartRatio
};

struct Outcome {
  std::vector<wh::Match> matches;
  std::vector<int> counts;  // candidates after each kernel
  int topDown = 0;
  int perCandidate = 0;
  int distances = 0;
};

Outcome PlainSearch(const GreyPicture& frame, const GreyPicture& pattern, const Settings& set,
                    int threshold, int findDistance) {
  Outcome out;
  if (threshold < 0) return out;
  const int p = pattern.width;
  const int basis = std::clamp(set.basis, 1, p * p);
  const int wr = frame.height - p + 1;
  const int wc = frame.width - p + 1;
  const int windows = wr * wc;
  const std::int64_t a = std::min(threshold, 255);
  const std::int64_t p2 = static_cast<std::int64_t>(p) * p;
  auto patternValue = [&](int k) { return std::int64_t{Projections(pattern, p, k)[0]}; };
  auto percentOf = [windows](std::size_t n) {
    return static_cast<float>(static_cast<double>(n) * 100.0 / windows);
  };
  std::vector<int> index;
  std::vector<std::int64_t> bound;
  {
    const auto proj = Projections(frame, p, 0);
    const std::int64_t p0 = patternValue(0);
    for (int w = 0; w < windows; ++w) {
      const std::int64_t d = proj[w] - p0;
      if (d <= a * p2 && d >= -a * p2) {
        index.push_back(w);
        bound.push_back(d * d);
      }
    }
  }
  out.counts.push_back(static_cast<int>(index.size()));
  const std::int64_t limitB = a * a * p2 * p2;
  auto filter = [&](int k) {
    const auto proj = Projections(frame, p, k);
    const std::int64_t pk = patternValue(k);
    std::vector<int> keptIndex;
    std::vector<std::int64_t> keptBound;
    for (std::size_t n = 0; n < index.size(); ++n) {
      const std::int64_t d = proj[index[n]] - pk;
      if (bound[n] + d * d <= limitB) {
        keptIndex.push_back(index[n]);
        keptBound.push_back(bound[n] + d * d);
      }
    }
    index.swap(keptIndex);
    bound.swap(keptBound);
    out.counts.push_back(static_cast<int>(index.size()));
  };
  float percent = percentOf(index.size());
  int i = 1;
  for (; percent > set.bottomUp && i < basis; ++i, ++out.topDown) {
    filter(i);
    percent = percentOf(index.size());
  }
  if (percent > set.distance && i < basis) {
    if (index.empty()) return out;
    do {
      filter(i++);
      ++out.perCandidate;
      percent = percentOf(index.size());
    } while (percent > set.distance && i < basis);
  }
  if (index.empty()) return out;
  out.distances = static_cast<int>(index.size());
  auto distanceOf = [&](int w) {
    std::int64_t sum = 0;
    for (int y = 0; y < p; ++y)
      for (int x = 0; x < p; ++x) {
        const int e = frame.at(w % wc + x, w / wc + y) - pattern.at(x, y);
        sum += e * e;
      }
    return sum;
  };
  if (findDistance != 0) {
    wh::Match best{0, 0, INT64_MAX};
    for (const int w : index)
      if (const std::int64_t d = distanceOf(w); d < best.distance) best = {w / wc, w % wc, d};
    out.matches.push_back(best);
  } else {
    for (const int w : index)
      if (const std::int64_t d = distanceOf(w); d <= a * a * p2)
        out.matches.push_back({w / wc, w % wc, d});
  }
  return out;
}

std::unique_ptr<wh::WHSetup> SetupFor(const GreyPicture& frame, const GreyPicture& pattern,
                                      const Settings& set) {
  auto s = wh::createWHSetup(frame.height, frame.width, pattern.width, set.basis);
  wh::setBottomUpStartPercent(*s, set.bottomUp);
  wh::setDistanceStartPercent(*s, set.distance);
  wh::setCorrelationStartRatio(*s, set.correlation);
  wh::setSourceImage(*s, wh::Image{frame.height, frame.width, frame.pixels.data()});
  wh::setPatternImage(*s, wh::Image{pattern.width, pattern.width, pattern.pixels.data()});
  return s;
}

// Searches that settled the best window early (see SettledEarlyAmongTheCases).
int settledSearches = 0;

void ExpectSameAsPlainAt(wh::WHSetup& s, const GreyPicture& frame, const GreyPicture& pattern,
                         const Settings& set, int threshold, int flag) {
  const Outcome want = PlainSearch(frame, pattern, set, threshold, flag);
  wh::SearchStats stats;
  wh::reloadSource(s);
  const int found = wh::whPatternMatch(s, threshold, flag, &stats);
  ASSERT_EQ(found, static_cast<int>(want.matches.size()));
  for (int m = 0; m < found; ++m) {
    EXPECT_EQ(s.matches[m].row, want.matches[m].row) << m;
    EXPECT_EQ(s.matches[m].col, want.matches[m].col) << m;
    EXPECT_EQ(s.matches[m].distance, want.matches[m].distance) << m;
  }
  if (threshold < 0) return;
  if (stats.settledEarly) {
    // Only with the best window wanted, and only when it is within the
    // threshold; the counts agree as far as they go.
    ++settledSearches;
    EXPECT_NE(flag, 0);
    ASSERT_EQ(found, 1);
    EXPECT_LE(s.matches[0].distance,
              std::int64_t{threshold} * threshold * pattern.width * pattern.width);
    ASSERT_LE(stats.candidatesAfterKernel.size(), want.counts.size());
    EXPECT_TRUE(std::equal(stats.candidatesAfterKernel.begin(), stats.candidatesAfterKernel.end(),
                           want.counts.begin()));
    return;
  }
  EXPECT_EQ(stats.candidatesAfterKernel, want.counts);
  EXPECT_EQ(stats.topDownKernels, want.topDown);
  EXPECT_EQ(stats.perCandidateKernels, want.perCandidate);
  EXPECT_EQ(stats.distanceCandidates, want.distances);
}

void ExpectSameAsPlain(const GreyPicture& frame, const GreyPicture& pattern, const Settings& set,
                       const std::string& what) {
  auto s = SetupFor(frame, pattern, set);
  for (const int threshold : {-1, 0, 6, 20, 75, 300})
    for (const int flag : {1, 0}) {
      SCOPED_TRACE(what + " a=" + std::to_string(threshold) + " flag=" + std::to_string(flag));
      ExpectSameAsPlainAt(*s, frame, pattern, set, threshold, flag);
    }
}

// Level `top` of kernel k over the whole picture, one level after the other
// straight from the definition (the tree's own code not involved).
std::vector<std::int64_t> PlainLevel(const GreyPicture& p, int patternSize, int kernel, int top) {
  static constexpr int kT[8] = {1, -1, 1, -1, -1, 1, -1, 1};
  const int depth = 2 * std::countr_zero(static_cast<unsigned>(patternSize));
  int rows = p.height;
  int cols = p.width;
  std::vector<std::int64_t> v(p.pixels.begin(), p.pixels.end());
  for (int level = 0; level < top; ++level) {
    const int d = 1 << (level / 2);
    const bool horizontal = level % 2 == 0;
    const int sign = kT[(kernel >> (depth - 1 - level)) & 7];
    const int outRows = horizontal ? rows : rows - d;
    const int outCols = horizontal ? cols - d : cols;
    std::vector<std::int64_t> out(static_cast<std::size_t>(outRows) * outCols);
    for (int r = 0; r < outRows; ++r)
      for (int c = 0; c < outCols; ++c) {
        const std::int64_t a = v[static_cast<std::size_t>(r) * cols + c];
        const std::int64_t b = horizontal ? v[static_cast<std::size_t>(r) * cols + c + d]
                                          : v[static_cast<std::size_t>(r + d) * cols + c];
        out[static_cast<std::size_t>(r) * outCols + c] = a + sign * b;
      }
    v.swap(out);
    rows = outRows;
    cols = outCols;
  }
  return v;
}

GreyPicture WithNoise(GreyPicture picture, double sigma, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, sigma);
  for (auto& v : picture.pixels)
    v = static_cast<std::uint8_t>(std::clamp(v + noise(rng), 0.0, 255.0));
  return picture;
}

// Kernel 0 from a box-sum pass at any level leaves a tree whose later kernels,
// whole-source and per candidate, give the values of a tree built level by
// level, also for kernels that need the levels the pass skipped.
TEST(PatternSearchFastPaths, kernelZeroFromAnyLevelKeepsEveryLaterValue) {
  std::mt19937 rng(77);
  for (const int p : {4, 8, 16}) {
    const int depth = 2 * std::countr_zero(static_cast<unsigned>(p));
    const GreyPicture frame = test::NoisePicture(p + 13, p + 6, static_cast<unsigned>(rng()));
    const int wr = frame.height - p + 1;
    const int wc = frame.width - p + 1;
    for (int level = 0; level <= depth; ++level) {
      SCOPED_TRACE("P" + std::to_string(p) + " level " + std::to_string(level));
      auto tree = TreeOver(frame, p, p * p);
      wh::computeKernelZeroFrom(*tree, level);
      EXPECT_EQ(Projections(frame, p, 0),
                std::vector<std::int32_t>(tree->matrices[depth]->cellValues.get(),
                                          tree->matrices[depth]->cellValues.get() + wr * wc));
      // Kernels inside the box-summed prefix, then one that needs all levels.
      const int inside = (1 << (depth - level)) - 1;
      for (const int k : {std::min(1, inside), inside, p * p - 1}) {
        auto again = TreeOver(frame, p, p * p);
        wh::computeKernelZeroFrom(*again, level);
        wh::beginPerCandidatePhase(*again);
        const auto want = Projections(frame, p, k);
        for (int w = 0; w < wr * wc; w += 3)
          ASSERT_EQ(wh::computeKernelForWindow(*again, k, w / wc, w % wc), want[w]) << k;
        wh::computeKernelTopDown(*tree, k);
        EXPECT_EQ(want,
                  std::vector<std::int32_t>(tree->matrices[depth]->cellValues.get(),
                                            tree->matrices[depth]->cellValues.get() + wr * wc))
            << k;
      }
    }
  }
}

TEST(PatternSearchFastPaths, plantedPatternsOnOddSizesAgreeWithThePlainSearch) {
  struct Case {
    int w, h, p;
    double sigma;
  };
  const Case cases[] = {{37, 23, 8, 0},  {45, 33, 4, 10}, {61, 45, 16, 5},
                        {29, 41, 8, 20}, {16, 16, 16, 3}, {67, 19, 16, 8}};
  unsigned seed = 500;
  const int settledBefore = settledSearches;
  for (const Case& c : cases) {
    GreyPicture frame = test::SmoothPicture(c.w, c.h, ++seed);
    std::mt19937 rng(++seed);
    const int left = static_cast<int>(rng() % (c.w - c.p + 1));
    const int top = static_cast<int>(rng() % (c.h - c.p + 1));
    test::Plant(frame, test::BallPatch(c.p, ++seed), left, top);
    const GreyPicture pattern = test::Cut(frame, left, top, c.p);
    frame = WithNoise(frame, c.sigma, ++seed);
    const std::string what =
        std::to_string(c.w) + "x" + std::to_string(c.h) + " P" + std::to_string(c.p);
    ExpectSameAsPlain(frame, pattern, Settings{}, what);
    ExpectSameAsPlain(frame, pattern, Settings{c.p * c.p > 7 ? 7 : 1, 30.0f, 5.0f}, what + " 7");
  }
  // The loose thresholds leave most windows after the first kernels: the
  // best window settles those searches early.
  EXPECT_GT(settledSearches, settledBefore);
}

// The cases where the bounds reject little: flat frames, ties everywhere, a
// frame tiled with the pattern, a noise pattern on a smooth frame.
TEST(PatternSearchFastPaths, worstCasesAgreeWithThePlainSearch) {
  const GreyPicture flat(41, 29, 128);
  const GreyPicture flatPattern(8, 8, 128);
  const GreyPicture noisePattern = test::NoisePicture(8, 8, 3);
  GreyPicture textured = test::BallPatch(8, 4);
  for (auto& v : textured.pixels) v = static_cast<std::uint8_t>(64 + v / 2);
  GreyPicture tiled(43, 35);
  for (int y = 0; y < tiled.height; ++y)
    for (int x = 0; x < tiled.width; ++x) tiled.at(x, y) = textured.at(x % 8, y % 8);
  const GreyPicture smooth = test::SmoothPicture(50, 38, 9);
  const Settings many{64, 10.0f, 2.0f};
  for (const Settings& set : {Settings{}, many, Settings{50, -1.0f, -1.0f}}) {
    const std::string basis = " basis " + std::to_string(set.basis);
    ExpectSameAsPlain(flat, flatPattern, set, "flat, same grey" + basis);
    ExpectSameAsPlain(flat, textured, set, "flat, textured pattern" + basis);
    ExpectSameAsPlain(tiled, textured, set, "tiled" + basis);
    ExpectSameAsPlain(smooth, noisePattern, set, "smooth, noise pattern" + basis);
  }
}

// Two windows at the same smallest distance, the lower one with the smaller
// bound (so it is measured first) and the upper one flat (so only the energy
// bound, exactly equal to the answer, speaks about it): the upper one wins.
TEST(PatternSearchFastPaths, equalDistanceAboveTheFirstMeasuredWindowStillWins) {
  GreyPicture pattern(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pattern.at(x, y) = y < 4 ? 110 : 90;
  std::mt19937 rng(41);
  std::normal_distribution<double> noise(100.0, 40.0);
  GreyPicture frame(44, 44);
  for (auto& v : frame.pixels) v = static_cast<std::uint8_t>(std::clamp(noise(rng), 0.0, 255.0));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      frame.at(4 + x, 4 + y) = 100;  // flat: distance 64 x 10^2
      frame.at(24 + x, 24 + y) =     // pattern plus a checkerboard: the same distance
          static_cast<std::uint8_t>(pattern.at(x, y) + ((x + y) % 2 ? 10 : -10));
    }
  auto s = wh::createWHSetup(44, 44, 8, 2);
  wh::setBottomUpStartPercent(*s, -1.0f);
  wh::setDistanceStartPercent(*s, -1.0f);
  wh::setSourceImage(*s, wh::Image{44, 44, frame.pixels.data()});
  wh::setPatternImage(*s, wh::Image{8, 8, pattern.pixels.data()});
  wh::reloadSource(*s);
  ASSERT_EQ(wh::whPatternMatch(*s, 75, 1), 1);
  EXPECT_EQ(s->matches[0].row, 4);
  EXPECT_EQ(s->matches[0].col, 4);
  EXPECT_EQ(s->matches[0].distance, 6400);
  ExpectSameAsPlain(frame, pattern, Settings{2, -1.0f, -1.0f}, "two equal windows");
}

// More kernels than the first 64 (so the box-sum pass starts lower) and
// phase switches in every order.
TEST(PatternSearchFastPaths, kernelCountsAndPhaseSwitchesAgreeWithThePlainSearch) {
  GreyPicture frame = test::SmoothPicture(52, 40, 31);
  test::Plant(frame, test::BallPatch(16, 32), 20, 11);
  const GreyPicture pattern = test::Cut(frame, 20, 11, 16);
  frame = WithNoise(frame, 6, 33);
  for (const Settings& set :
       {Settings{100, 10.0f, 2.0f}, Settings{1, 10.0f, 2.0f}, Settings{50, 100.0f, -1.0f},
        Settings{50, 50.0f, 0.5f}, Settings{256, 3.0f, 1.0f}})
    ExpectSameAsPlain(frame, pattern, set,
                      "basis " + std::to_string(set.basis) + " " + std::to_string(set.bottomUp) +
                          "/" + std::to_string(set.distance));
}

// The levels a search asks for (any kernel, up to any level, in any order,
// with the source kept as bytes or widened, the box sums made straight from
// the bytes when nothing held serves) equal the levels built one by one.
TEST(PatternSearchFastPaths, levelsUpToAnyLevelEqualTheLevelsBuiltOneByOne) {
  std::mt19937 rng(2024);
  for (const int p : {2, 4, 8, 16}) {
    const int depth = 2 * std::countr_zero(static_cast<unsigned>(p));
    const GreyPicture frame = test::NoisePicture(p + 11, p + 7, static_cast<unsigned>(rng()));
    auto s = SetupFor(frame, test::Cut(frame, 0, 0, p), Settings{p * p});
    auto widened = TreeOver(frame, p, p * p);
    wh::reloadSource(*s);
    for (int step = 0; step < 60; ++step) {
      const int k = step % 3 == 0 ? 0 : static_cast<int>(rng() % (p * p));
      const int top = static_cast<int>(rng() % (depth + 1));
      SCOPED_TRACE("P" + std::to_string(p) + " kernel " + std::to_string(k) + " up to " +
                   std::to_string(top));
      if (step % 17 == 16) wh::reloadSource(*s);  // a new frame: nothing held
      const auto want = PlainLevel(frame, p, k, top);
      for (wh::Branch* b : {s->branch.get(), widened.get()}) {
        if (k == 0 && step % 2 == 0)
          wh::computeBoxSums(*b, top);
        else
          wh::computeKernelUpTo(*b, k, top);
        const wh::Matrix& m = *b->matrices[top];
        ASSERT_EQ(static_cast<std::size_t>(m.size), want.size());
        for (int i = 0; i < m.size; ++i) ASSERT_EQ(m.cellValues[i], want[i]) << i;
      }
    }
  }
}

// The rule may stop after any kernel, also inside a group of four that the
// search computes together (over every window or for the candidates alone);
// the kernels after the stop must not count. Stops are placed after each of
// the first twelve kernels, in both phases, for few and for many candidates.
TEST(PatternSearchFastPaths, stopsAfterAnyKernelAgreeWithThePlainSearch) {
  GreyPicture frame = test::SmoothPicture(70, 52, 61);
  test::Plant(frame, test::BallPatch(8, 62), 23, 17);
  const GreyPicture pattern = test::Cut(frame, 23, 17, 8);
  frame = WithNoise(frame, 6, 63);
  const int windows = (70 - 8 + 1) * (52 - 8 + 1);
  for (const int threshold : {6, 20, 40, 75}) {
    const Outcome all = PlainSearch(frame, pattern, Settings{64, -1.0f, -1.0f}, threshold, 1);
    for (std::size_t j = 0; j < 12 && j < all.counts.size(); ++j) {
      const float percent = static_cast<float>(all.counts[j] * 100.0 / windows);
      for (const Settings& set : {Settings{64, 100.0f, percent}, Settings{64, percent, -1.0f},
                                  Settings{64, percent, percent}}) {
        SCOPED_TRACE("a=" + std::to_string(threshold) + " after kernel " + std::to_string(j) + " " +
                     std::to_string(set.bottomUp) + "/" + std::to_string(set.distance));
        auto s = SetupFor(frame, pattern, set);
        for (const int flag : {1, 0}) ExpectSameAsPlainAt(*s, frame, pattern, set, threshold, flag);
      }
    }
  }
}

// The smallest patterns: one pixel (the only kernel is the pixel) and 2 x 2
// (the group of four kernels works straight from the source).
TEST(PatternSearchFastPaths, smallestPatternsAgreeWithThePlainSearch) {
  GreyPicture frame = test::SmoothPicture(23, 17, 71);
  for (const int p : {1, 2, 4}) {
    const GreyPicture pattern = test::Cut(frame, 9, 5, p);
    for (const Settings& set : {Settings{}, Settings{50, -1.0f, -1.0f}, Settings{3, 50.0f, 20.0f}})
      ExpectSameAsPlain(frame, pattern, set, "P" + std::to_string(p));
  }
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

// The distance phase taking every window's cross term from the FFT
// correlation (forced: a ratio of 0) keeps every answer exact: the same
// matches and distances as the plain search, ties to the upper, then left
// window, on random, absent-pattern, flat and tiled frames, with the phase
// rule stopping early (many open windows) or late.
TEST(PatternSearchFastPaths, correlationPathAgreesWithThePlainSearch) {
  const GreyPicture noise = test::NoisePicture(67, 45, 5);
  const GreyPicture planted = test::Cut(noise, 31, 17, 16);
  const GreyPicture absent = test::NoisePicture(16, 16, 6);
  const GreyPicture flat(53, 37, 128);
  const GreyPicture flatPattern(8, 8, 128);
  GreyPicture textured = test::BallPatch(8, 4);
  for (auto& v : textured.pixels) v = static_cast<std::uint8_t>(64 + v / 2);
  GreyPicture tiled(43, 35);
  for (int y = 0; y < tiled.height; ++y)
    for (int x = 0; x < tiled.width; ++x) tiled.at(x, y) = textured.at(x % 8, y % 8);
  const GreyPicture smooth = test::SmoothPicture(50, 38, 9);
  const GreyPicture smoothCut = WithNoise(test::Cut(smooth, 20, 11, 16), 6.0, 8);
  for (const Settings& set : {Settings{50, 10.0f, 2.0f, 0.0}, Settings{50, 101.0f, 101.0f, 0.0},
                              Settings{4, -1.0f, -1.0f, 0.0}}) {
    const std::string rule =
        " rule " + std::to_string(set.basis) + "/" + std::to_string(static_cast<int>(set.bottomUp));
    ExpectSameAsPlain(noise, planted, set, "random, planted" + rule);
    ExpectSameAsPlain(noise, absent, set, "random, absent" + rule);
    ExpectSameAsPlain(flat, flatPattern, set, "flat, same grey" + rule);
    ExpectSameAsPlain(flat, textured, set, "flat, textured pattern" + rule);
    ExpectSameAsPlain(tiled, textured, set, "tiled, exact ties" + rule);
    ExpectSameAsPlain(tiled, flatPattern, set, "tiled, flat pattern" + rule);
    ExpectSameAsPlain(smooth, smoothCut, set, "smooth, noisy cut" + rule);
  }
  // The forced path is really taken, also on a picture of bright extremes
  // (the largest cross terms) with a large pattern.
  GreyPicture bright = test::NoisePicture(150, 110, 12);
  for (auto& v : bright.pixels) v = v < 128 ? 0 : 255;
  const GreyPicture brightAbsent = test::NoisePicture(64, 64, 13);
  const Settings forced{50, 101.0f, 101.0f, 0.0};
  auto s = SetupFor(bright, brightAbsent, forced);
  wh::SearchStats stats;
  wh::reloadSource(*s);
  ASSERT_EQ(wh::whPatternMatch(*s, 255, 1, &stats), 1);
  EXPECT_TRUE(stats.correlated);
  ExpectSameAsPlainAt(*s, bright, brightAbsent, forced, 255, 1);
  const GreyPicture brightCut = test::Cut(bright, 70, 30, 64);
  ExpectSameAsPlainAt(*SetupFor(bright, brightCut, forced), bright, brightCut, forced, 255, 1);
}

// Never by default where few windows are left open, and never with a
// negative ratio.
TEST(PatternSearchFastPaths, correlationOnlyWhenManyDistancesAreOpen) {
  const GreyPicture noise = test::NoisePicture(67, 45, 5);
  const GreyPicture planted = test::Cut(noise, 31, 17, 16);
  auto s = SetupFor(noise, planted, Settings{});
  wh::SearchStats stats;
  wh::reloadSource(*s);
  ASSERT_EQ(wh::whPatternMatch(*s, 20, 1, &stats), 1);
  EXPECT_FALSE(stats.correlated);
  wh::setCorrelationStartRatio(*s, -1.0);
  wh::setBottomUpStartPercent(*s, 101.0f);
  wh::setDistanceStartPercent(*s, 101.0f);
  wh::reloadSource(*s);
  ASSERT_EQ(wh::whPatternMatch(*s, 255, 1, &stats), 1);
  EXPECT_FALSE(stats.correlated);
  EXPECT_EQ(s->matches[0].row, 17);
  EXPECT_EQ(s->matches[0].col, 31);
}

}  // namespace
}  // namespace viren
