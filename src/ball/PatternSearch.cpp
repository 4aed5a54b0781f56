// The search of the projection-kernel matcher: kernel 0 and the whole-source
// kernels over every window at once, the per-candidate kernels through the
// tree's cache, then the full distances of the survivors.
//
// What makes it fast, without changing a single answer:
// - kernel 0 starts from one box-sum pass at the lowest level a later kernel
//   can still differ in, instead of one pass per level from the source;
// - while many windows live, the bounds are kept per window in a flat array
//   and each kernel is one vectorised pass (a dead window's bound is +inf);
// - the distance phase skips every window whose lower bound proves that it
//   cannot beat (or, without the flag, cannot be within) the current answer,
//   and stops a distance as soon as it can no longer win. The bounds are the
//   accumulated projection differences (P^2 x distance is the sum over all
//   P^2 kernels) and, for the many-window case, the energy outside kernel 0:
//   with s = window sum, q = sum of squares, P^2 x distance >= d0^2 +
//   (sqrt(Rp) - sqrt(Rw))^2 where Rw = P^2 q - s^2, Rp likewise for the
//   pattern and d0 the difference of the sums. That bound is exact on flat
//   windows, which is where the projections alone reject nothing.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <limits>

#include "ball/PatternMatcher.h"

namespace viren::wh {

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

constexpr double kDead = std::numeric_limits<double>::infinity();

// The flat per-window loops are built twice, for AVX2 and for plain x86-64,
// and the processor picks at load time (SSE2 alone cannot vectorise the
// counting of living windows).
#if defined(__x86_64__) && defined(__GNUC__)
#define VIREN_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VIREN_VECTOR_CLONES
#endif

// Kernel 0's bounds: windows whose sum differs by more than limit0 die.
VIREN_VECTOR_CLONES std::int64_t StartBounds(const std::int32_t* __restrict projection,
                                             double* __restrict bound, int windows,
                                             std::int32_t patternProjection, std::int32_t limit0) {
  std::int64_t alive = 0;
  for (int w = 0; w < windows; ++w) {
    // |difference| <= 255 P^2 < 2^23: no overflow.
    const std::int32_t diff = projection[w] - patternProjection;
    const bool keep = diff <= limit0 && diff >= -limit0;
    const double d = diff;
    bound[w] = keep ? d * d : kDead;
    alive += keep;
  }
  return alive;
}

// One more kernel's squared difference on every window; a window whose bound
// passes `limit` dies. Returns the windows alive.
VIREN_VECTOR_CLONES std::int64_t AddToBounds(const std::int32_t* __restrict projection,
                                             double* __restrict bound, int windows,
                                             double patternProjection, double limit) {
  std::int64_t alive = 0;
  for (int w = 0; w < windows; ++w) {
    const double diff = projection[w] - patternProjection;
    const double sum = bound[w] + diff * diff;
    const bool keep = sum <= limit;
    bound[w] = keep ? sum : kDead;
    alive += keep;
  }
  return alive;
}

// Sum of squared grey differences of the window at (row, col). Gives up once
// the partial sum passes `limit` (reaches it, with kStopAtEqual) and returns
// that partial sum, which then already says the window cannot win.
template <bool kStopAtEqual>
std::int64_t WindowDistance(const WHSetup& s, int row, int col, std::int64_t limit) {
  const int p = s.patternSize;
  const std::uint8_t* pattern = s.patternBytes.data();
  const std::uint8_t* source = s.sourceImage->pixels;
  std::int64_t sum = 0;
  for (int i = 0; i < p; ++i) {
    const std::uint8_t* __restrict w =
        source + static_cast<std::size_t>(row + i) * s.sourceCols + col;
    const std::uint8_t* __restrict q = pattern + static_cast<std::size_t>(i) * p;
    std::int32_t rowSum = 0;  // at most 128 x 255^2
    for (int j = 0; j < p; ++j) {
      const std::int32_t e = static_cast<std::int32_t>(w[j]) - q[j];
      rowSum += e * e;
    }
    sum += rowSum;
    if (kStopAtEqual ? sum >= limit : sum > limit) return sum;
  }
  return sum;
}

// Every window's grey sum and sum of squared greys: running sums along the
// rows, then down the columns.
void ComputeWindowSums(WHSetup& s) {
  const int p = s.patternSize;
  const int wc = s.WindowCols();
  const std::uint8_t* source = s.sourceImage->pixels;
  for (int r = 0; r < s.sourceRows; ++r) {
    const std::uint8_t* a = source + static_cast<std::size_t>(r) * s.sourceCols;
    std::int32_t* h = s.rowSum.get() + static_cast<std::size_t>(r) * wc;
    std::int32_t* q = s.rowSquares.get() + static_cast<std::size_t>(r) * wc;
    std::int32_t run = 0;
    std::int32_t runSquares = 0;
    for (int j = 0; j < p; ++j) {
      run += a[j];
      runSquares += a[j] * a[j];
    }
    h[0] = run;
    q[0] = runSquares;
    for (int c = 1; c < wc; ++c) {
      const std::int32_t in = a[c + p - 1];
      const std::int32_t out = a[c - 1];
      run += in - out;
      runSquares += in * in - out * out;
      h[c] = run;
      q[c] = runSquares;
    }
  }
  auto rowOf = [wc](const std::unique_ptr<std::int32_t[]>& m, int r) {
    return m.get() + static_cast<std::size_t>(r) * wc;
  };
  std::int32_t* __restrict sum0 = s.windowSum.get();
  std::int32_t* __restrict squares0 = s.windowSquares.get();
  for (int c = 0; c < wc; ++c) {
    sum0[c] = 0;
    squares0[c] = 0;
  }
  for (int i = 0; i < p; ++i) {
    const std::int32_t* __restrict h = rowOf(s.rowSum, i);
    const std::int32_t* __restrict q = rowOf(s.rowSquares, i);
    for (int c = 0; c < wc; ++c) {
      sum0[c] += h[c];
      squares0[c] += q[c];
    }
  }
  for (int r = 1; r < s.WindowRows(); ++r) {
    const std::int32_t* __restrict sumAbove = rowOf(s.windowSum, r - 1);
    const std::int32_t* __restrict squaresAbove = rowOf(s.windowSquares, r - 1);
    const std::int32_t* __restrict hIn = rowOf(s.rowSum, r + p - 1);
    const std::int32_t* __restrict hOut = rowOf(s.rowSum, r - 1);
    const std::int32_t* __restrict qIn = rowOf(s.rowSquares, r + p - 1);
    const std::int32_t* __restrict qOut = rowOf(s.rowSquares, r - 1);
    std::int32_t* __restrict sum = rowOf(s.windowSum, r);
    std::int32_t* __restrict squares = rowOf(s.windowSquares, r);
    for (int c = 0; c < wc; ++c) {
      sum[c] = sumAbove[c] + hIn[c] - hOut[c];
      squares[c] = squaresAbove[c] + qIn[c] - qOut[c];
    }
  }
}

// Whether the energy bound of window w proves P^2 x distance > target (or
// >= target with orEqual); see the head of this file.
class EnergyBound {
 public:
  explicit EnergyBound(const WHSetup& s)
      : s_(s),
        p2_(static_cast<std::int64_t>(s.patternSize) * s.patternSize),
        patternResidual_(p2_ * s.patternSquares - s.patternSum * s.patternSum) {}

  bool Exceeds(std::int32_t w, std::int64_t target, bool orEqual) const {
    const std::int64_t sum = s_.windowSum[w];
    const std::int64_t windowResidual = p2_ * s_.windowSquares[w] - sum * sum;
    const std::int64_t d0 = sum - s_.patternSum;
    const std::int64_t x = d0 * d0 + patternResidual_ + windowResidual - target;
    if (x < 0 || (x == 0 && !orEqual)) return false;
    // x > 2 sqrt(Rp Rw), squared on both sides (x >= 0 here).
    const unsigned __int128 lhs = static_cast<unsigned __int128>(x) * static_cast<std::uint64_t>(x);
    const unsigned __int128 rhs = static_cast<unsigned __int128>(4) *
                                  static_cast<std::uint64_t>(patternResidual_) *
                                  static_cast<std::uint64_t>(windowResidual);
    return orEqual ? lhs >= rhs : lhs > rhs;
  }

 private:
  const WHSetup& s_;
  std::int64_t p2_;
  std::int64_t patternResidual_;
};

// The energy bound costs two passes over the source; it pays once the
// candidates' distances would cost clearly more.
bool EnergyBoundPays(const WHSetup& s, std::size_t candidates) {
  const std::int64_t p2 = static_cast<std::int64_t>(s.patternSize) * s.patternSize;
  return static_cast<std::int64_t>(candidates) * p2 >=
         std::int64_t{32} * s.sourceRows * s.sourceCols;
}

// How many times one window's share of a whole-source kernel a candidate's
// value through the cache costs (measured on 320x240 and 640x480 frames).
constexpr std::size_t kPerCandidateCost = 16;

}  // namespace

int whPatternMatch(WHSetup& s, int threshold, int findDistance, SearchStats* stats) {
  s.numOfMatches = 0;
  if (threshold < 0) return 0;
  // The root-mean-square difference of bytes cannot exceed 255; a larger
  // threshold accepts the same windows and would only overflow the bounds.
  const std::int64_t a = std::min(threshold, 255);
  Branch& b = *s.branch;
  const int wc = s.WindowCols();
  const int windows = s.Windows();
  const std::int64_t p2 = static_cast<std::int64_t>(s.patternSize) * s.patternSize;
  if (stats) {
    *stats = SearchStats{};
    stats->windows = windows;
  }
  auto percentOf = [windows](std::size_t n) {
    return static_cast<float>(static_cast<double>(n) * 100.0 / windows);
  };
  auto& index = s.candidateIndex;
  auto& bound = s.candidateBound;
  index.clear();
  bound.clear();
  const std::int64_t limitB = a * a * p2 * p2;
  // Every bound of a living window is at most limitB + one squared
  // difference < 2^47, so the doubles below hold them exactly.
  const double limit = static_cast<double>(limitB);
  double* windowBound = s.windowBound.get();

  // Kernel 0: the window sums. Only kernels below numOfBasis follow, so the
  // levels under the lowest one they can differ in are never needed.
  auto started = Clock::now();
  computeKernelZeroFrom(b, b.depth - std::bit_width(static_cast<unsigned>(s.numOfBasis - 1)));
  std::size_t alive = static_cast<std::size_t>(
      StartBounds(b.matrices[b.depth]->cellValues.get(), windowBound, windows,
                  s.patternProjections[0], static_cast<std::int32_t>(a * p2)));
  if (stats) {
    stats->candidatesAfterKernel.push_back(static_cast<int>(alive));
    stats->kernelZeroSeconds = Seconds(started);
  }
  float percent = percentOf(alive);

  // Whole-source kernels, every window in one pass.
  int i = 1;
  started = Clock::now();
  while (percent > s.bottomUpStartPercent && i < s.numOfBasis) {
    computeKernelTopDown(b, i);
    alive = static_cast<std::size_t>(AddToBounds(b.matrices[b.depth]->cellValues.get(), windowBound,
                                                 windows, s.patternProjections[i], limit));
    percent = percentOf(alive);
    if (stats) {
      stats->candidatesAfterKernel.push_back(static_cast<int>(alive));
      ++stats->topDownKernels;
    }
    ++i;
  }
  for (int w = 0; w < windows; ++w)
    if (windowBound[w] <= limit) {
      index.push_back(w);
      bound.push_back(static_cast<std::int64_t>(windowBound[w]));
    }
  if (stats) stats->topDownSeconds = Seconds(started);

  // Per-candidate kernels; keeps the candidates within limitB, in order.
  started = Clock::now();
  if (percent > s.distanceStartPercent && i < s.numOfBasis) {
    if (index.empty()) return 0;
    // Each candidate's value through the cache costs some 20 times one
    // window's share of a whole-source level pass; while the candidates are
    // that many, their values are taken from the whole-source computation,
    // which gives the same numbers.
    bool wholeSource = true;
    do {
      if (wholeSource && index.size() * kPerCandidateCost < static_cast<std::size_t>(windows)) {
        wholeSource = false;
        beginPerCandidatePhase(b);
      }
      if (wholeSource) computeKernelTopDown(b, i);
      const std::int32_t* last = b.matrices[b.depth]->cellValues.get();
      const std::int64_t pk = s.patternProjections[i];
      std::size_t kept = 0;
      for (std::size_t n = 0; n < index.size(); ++n) {
        const std::int32_t w = index[n];
        const std::int64_t diff =
            (wholeSource ? last[w] : computeKernelForWindow(b, i, w / wc, w % wc)) - pk;
        const std::int64_t sum = bound[n] + diff * diff;
        if (sum <= limitB) {
          index[kept] = w;
          bound[kept] = sum;
          ++kept;
        }
      }
      index.resize(kept);
      bound.resize(kept);
      percent = percentOf(kept);
      if (stats) {
        stats->candidatesAfterKernel.push_back(static_cast<int>(kept));
        ++stats->perCandidateKernels;
      }
      ++i;
    } while (percent > s.distanceStartPercent && i < s.numOfBasis);
    if (index.empty()) return 0;
  }
  if (stats) stats->perCandidateSeconds = Seconds(started);

  if (index.empty()) return 0;
  started = Clock::now();
  if (stats) stats->distanceCandidates = static_cast<int>(index.size());
  const bool energy = EnergyBoundPays(s, index.size());
  if (energy) ComputeWindowSums(s);
  const EnergyBound energyBound(s);
  const std::size_t count = index.size();
  if (findDistance != 0) {
    // The best window whatever its distance; the first one on ties. The
    // window with the smallest bound is measured first (it is most likely
    // the answer), then every other one that its bounds do not rule out:
    // an earlier window must come out at most equal, a later one below.
    const std::size_t seed =
        static_cast<std::size_t>(std::min_element(bound.begin(), bound.end()) - bound.begin());
    std::size_t bestN = seed;
    std::int64_t best = WindowDistance<false>(s, index[seed] / wc, index[seed] % wc,
                                              std::numeric_limits<std::int64_t>::max());
    for (std::size_t n = 0; n < count; ++n) {
      if (n == bestN) continue;
      const bool earlier = n < bestN;
      const std::int64_t target = best * p2;
      if (earlier ? bound[n] > target : bound[n] >= target) continue;
      const std::int32_t w = index[n];
      if (energy && energyBound.Exceeds(w, target, !earlier)) continue;
      const std::int64_t d = earlier ? WindowDistance<false>(s, w / wc, w % wc, best)
                                     : WindowDistance<true>(s, w / wc, w % wc, best);
      if (d < best || (d == best && earlier)) {
        best = d;
        bestN = n;
      }
    }
    s.matches[0] = Match{index[bestN] / wc, index[bestN] % wc, best};
    s.numOfMatches = 1;
  } else {
    const std::int64_t accept = a * a * p2;
    for (std::size_t n = 0; n < count; ++n) {
      const std::int32_t w = index[n];
      if (energy && energyBound.Exceeds(w, accept * p2, false)) continue;
      const std::int64_t d = WindowDistance<false>(s, w / wc, w % wc, accept);
      if (d <= accept) s.matches[s.numOfMatches++] = Match{w / wc, w % wc, d};
    }
  }
  if (stats) stats->distanceSeconds = Seconds(started);
  return s.numOfMatches;
}

}  // namespace viren::wh
