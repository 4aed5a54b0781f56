// The search of the projection-kernel matcher: the kernels the phase rule
// applies, over every window or for the candidates alone, then the full
// distances of the survivors.
//
// What makes it fast, without changing a single answer:
// - kernels go four at a time: 4q .. 4q + 3 share the tree's level D - 2,
//   and the last two levels are done in registers, fused with the bound
//   update and the candidate counts (one pass over every window per quad);
//   a level the tree does not hold is made from the highest level that
//   serves, or as box sums straight from the grey bytes;
// - with few candidates, a quad's level D - 2 is made over the source and
//   the candidates take their four values from it;
// - the distance phase skips every window whose lower bound proves that it
//   cannot beat (or, without the flag, cannot be within) the current answer,
//   and stops a distance as soon as it can no longer win. The bounds are the
//   accumulated projection differences (P^2 x distance is the sum over all
//   P^2 kernels), sharpened for the open candidates by further kernels, and,
//   for the many-window case, the energy outside kernel 0: with s = window
//   sum, q = sum of squares, P^2 x distance >= d0^2 + (sqrt(Rp) -
//   sqrt(Rw))^2 where Rw = P^2 q - s^2, Rp likewise for the pattern and d0
//   the difference of the sums. That bound is exact on flat windows, which
//   is where the projections alone reject nothing.
// - when the open windows' distances would sum far more pixels than the
//   source has (hundreds of times), every window's cross term
//   sum(pattern x window) comes from one FFT correlation: distance = window
//   squares - 2 cross + pattern squares to within a proven rounding margin,
//   and only the windows that could still be the answer (within that margin
//   of the best exact distance) get an exact one.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

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
#if defined(__x86_64__) && defined(__GNUC__) && !defined(VIREN_NO_CPU_DISPATCH)
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

// Four kernels 4q .. 4q + 3 share the tree's level D - 2 (the box sums of the
// window's four quarters, with signs); the last two levels combine the values
// a = M(r, c), b = M(r, c + h), c = M(r + h, c), e = M(r + h, c + h), h = P/2,
// as (a +- b) +- (c +- e). Which combination kernel 4q + t takes follows from
// its signs at those levels, T[(k >> 1) & 7] and T[k & 7]: it depends on q & 3.
constexpr int kT[8] = {1, -1, 1, -1, -1, 1, -1, 1};
constexpr int Combination(int variant, int t) {
  const int k = 4 * variant + t;
  return (kT[(k >> 1) & 7] < 0 ? 2 : 0) + (kT[k & 7] < 0 ? 1 : 0);
}

struct QuadArgs {
  const std::int32_t* level = nullptr;  // level D - 2 of the quad's kernels
  int levelCols = 0;
  int windowRows = 0;
  int windowCols = 0;
  int half = 0;                  // P / 2
  std::int32_t projection[4]{};  // the pattern's, per kernel of the quad
  const double* in = nullptr;    // bounds before the quad (none: start at 0)
  double* out = nullptr;         // bounds after it; a dead window ends above limit
  double limit = 0;
};

// The first n kernels of a quad over every window: the accumulated bound of
// each window and, per kernel, how many windows are still within `limit`.
// A bound above the limit only grows, so "alive after kernel t" is "bound
// after kernel t <= limit"; living bounds stay exact (below 2^47).
template <int kVariant, int kCount, bool kStart>
[[gnu::always_inline]] inline void QuadBody(const QuadArgs& q, std::int64_t* aliveOut) {
  std::int32_t pk[4];
  for (int t = 0; t < 4; ++t) pk[t] = q.projection[t];
  std::int64_t alive[4] = {0, 0, 0, 0};
  const int h = q.half;
  for (int r = 0; r < q.windowRows; ++r) {
    const std::int32_t* __restrict top = q.level + static_cast<std::size_t>(r) * q.levelCols;
    const std::int32_t* __restrict bottom = top + static_cast<std::size_t>(h) * q.levelCols;
    const double* __restrict in =
        kStart ? nullptr : q.in + static_cast<std::size_t>(r) * q.windowCols;
    double* __restrict out = q.out + static_cast<std::size_t>(r) * q.windowCols;
    for (int c = 0; c < q.windowCols; ++c) {
      const std::int32_t upperSum = top[c] + top[c + h];
      const std::int32_t upperDiff = top[c] - top[c + h];
      const std::int32_t lowerSum = bottom[c] + bottom[c + h];
      const std::int32_t lowerDiff = bottom[c] - bottom[c + h];
      const std::int32_t value[4] = {upperSum + lowerSum, upperSum - lowerSum,
                                     upperDiff + lowerDiff, upperDiff - lowerDiff};
      double bound = kStart ? 0.0 : in[c];
#pragma GCC unroll 4
      for (int t = 0; t < kCount; ++t) {
        // |value - projection| < 2^31: both are at most 255 P^2 < 2^22.
        const double d = value[Combination(kVariant, t)] - pk[t];
        bound += d * d;
        alive[t] += bound <= q.limit;
      }
      out[c] = bound;
    }
  }
  for (int t = 0; t < kCount; ++t) aliveOut[t] = alive[t];
}

template <int kVariant, int kCount>
[[gnu::always_inline]] inline void QuadStart(const QuadArgs& q, std::int64_t* alive) {
  if (q.in == nullptr)
    QuadBody<kVariant, kCount, true>(q, alive);
  else
    QuadBody<kVariant, kCount, false>(q, alive);
}

template <int kVariant>
[[gnu::always_inline]] inline void QuadCount(const QuadArgs& q, int count, std::int64_t* alive) {
  switch (count) {
    case 1:
      QuadStart<kVariant, 1>(q, alive);
      break;
    case 2:
      QuadStart<kVariant, 2>(q, alive);
      break;
    case 3:
      QuadStart<kVariant, 3>(q, alive);
      break;
    default:
      QuadStart<kVariant, 4>(q, alive);
      break;
  }
}

VIREN_VECTOR_CLONES void QuadPass(const QuadArgs& q, int variant, int count, std::int64_t* alive) {
  switch (variant & 3) {
    case 0:
      QuadCount<0>(q, count, alive);
      break;
    case 1:
      QuadCount<1>(q, count, alive);
      break;
    case 2:
      QuadCount<2>(q, count, alive);
      break;
    default:
      QuadCount<3>(q, count, alive);
      break;
  }
}

// The windows whose bound is within `limit`, in order. Blocks of windows
// that are all out are skipped with one vectorised test; few windows are in.
// The bounds are never negative (nor NaN), and non-negative doubles order
// like their bit patterns read as integers: four lanes at a time.
using Lanes = std::int64_t __attribute__((vector_size(32)));
[[gnu::always_inline]] inline bool AnyWithin(const double* bounds, std::int64_t limitBits) {
  const Lanes limit = {limitBits, limitBits, limitBits, limitBits};
  Lanes any = {0, 0, 0, 0};
  for (int k = 0; k < 16; k += 4) {
    Lanes bits;
    std::memcpy(&bits, bounds + k, sizeof bits);
    any |= bits <= limit;
  }
  return (any[0] | any[1] | any[2] | any[3]) != 0;
}

VIREN_VECTOR_CLONES void CollectCandidates(const double* bounds, int windows, double limit,
                                           std::vector<std::int32_t>& index,
                                           std::vector<std::int64_t>& bound) {
  const std::int64_t limitBits = std::bit_cast<std::int64_t>(limit);
  int w = 0;
  for (; w + 16 <= windows; w += 16) {
    if (!AnyWithin(bounds + w, limitBits)) continue;
    // Without branches: each window is written, and kept by moving on.
    std::int32_t keptIndex[16];
    std::int64_t keptBound[16];
    int kept = 0;
    for (int k = 0; k < 16; ++k) {
      keptIndex[kept] = w + k;
      keptBound[kept] = static_cast<std::int64_t>(bounds[w + k]);
      kept += bounds[w + k] <= limit;
    }
    index.insert(index.end(), keptIndex, keptIndex + kept);
    bound.insert(bound.end(), keptBound, keptBound + kept);
  }
  for (; w < windows; ++w)
    if (bounds[w] <= limit) {
      index.push_back(w);
      bound.push_back(static_cast<std::int64_t>(bounds[w]));
    }
}

// Kernels i .. i + count - 1 (inside one quad) for single windows: the
// quad's level D - 2 is made over the source first, then each window takes
// its four values from there.
class CandidateQuad {
 public:
  CandidateQuad(WHSetup& s, int i, int count) : count_(count), wc_(s.WindowCols()) {
    Branch& b = *s.branch;
    computeKernelUpTo(b, i, b.depth - 2);
    level_ = b.matrices[b.depth - 2].get();
    h_ = s.patternSize / 2;
    const int first = i - i % 4;
    for (int t = 0; t < count; ++t) {
      projection_[t] = s.patternProjections[i + t];
      combination_[t] = Combination((first / 4) & 3, i + t - first);
    }
  }
  // The squared differences to the pattern, kernel by kernel.
  void Squares(std::int32_t w, std::int64_t* square) const {
    const std::int32_t* top = level_->rowTable[w / wc_] + w % wc_;
    const std::int32_t* bottom = top + static_cast<std::size_t>(h_) * level_->cols;
    const std::int64_t upperSum = top[0] + top[h_], upperDiff = top[0] - top[h_];
    const std::int64_t lowerSum = bottom[0] + bottom[h_], lowerDiff = bottom[0] - bottom[h_];
    const std::int64_t all[4] = {upperSum + lowerSum, upperSum - lowerSum, upperDiff + lowerDiff,
                                 upperDiff - lowerDiff};
    for (int t = 0; t < count_; ++t) {
      const std::int64_t d = all[combination_[t]] - projection_[t];
      square[t] = d * d;
    }
  }
  int Count() const { return count_; }

 private:
  int count_;
  int wc_;
  const Matrix* level_ = nullptr;
  int h_ = 0;
  std::int64_t projection_[4]{};
  int combination_[4]{};
};

// Once the rule has stopped, more kernels can still sharpen the bounds of
// the candidates (never which windows are candidates): while the distances
// left open would cost clearly more than a quad's level passes, and a quad
// still rules out a fair share, the open candidates (bound <= target) take
// the next quad's kernels into their bounds. Returns the kernel after the
// last one taken.
int TightenBounds(WHSetup& s, int next, std::int64_t target) {
  const auto& index = s.candidateIndex;
  auto& bound = s.candidateBound;
  const std::int64_t p2 = static_cast<std::int64_t>(s.patternSize) * s.patternSize;
  const std::int64_t pixels = static_cast<std::int64_t>(s.sourceRows) * s.sourceCols;
  std::size_t open = 0;
  for (const std::int64_t v : bound) open += v <= target;
  // With very many open windows (flat pictures) the candidate-wise quads
  // cost more than they can save.
  while (next < s.boundKernels && static_cast<std::int64_t>(open) * p2 >= 4 * pixels &&
         open * 8 <= static_cast<std::size_t>(s.Windows())) {
    const CandidateQuad quad(s, next, std::min(4 - next % 4, s.boundKernels - next));
    std::size_t stillOpen = 0;
    for (std::size_t n = 0; n < index.size(); ++n) {
      if (bound[n] > target) continue;
      std::int64_t square[4];
      quad.Squares(index[n], square);
      for (int t = 0; t < quad.Count(); ++t) bound[n] += square[t];
      stillOpen += bound[n] <= target;
    }
    next += quad.Count();
    const bool pays = (open - stillOpen) * 8 >= open;
    open = stillOpen;
    if (!pays) break;
  }
  return next;
}

// Which kernels the search applies, and in which phase: kernel 0 always;
// kernel i over the whole source while the candidates after kernel i - 1
// are above bottomUpStartPercent, then per candidate while they are above
// distanceStartPercent (entering that phase with no candidate means no
// match). How a kernel's values are computed is another matter: the rule
// only decides which kernels count.
class PhaseRule {
 public:
  PhaseRule(const WHSetup& s, SearchStats* stats) : s_(s), stats_(stats) {}

  bool Applies(int i, std::size_t aliveBefore) {
    if (phase_ == Phase::kDone || i >= s_.numOfBasis) {
      phase_ = Phase::kDone;
      return false;
    }
    const float percent =
        static_cast<float>(static_cast<double>(aliveBefore) * 100.0 / s_.Windows());
    if (phase_ == Phase::kTopDown) {
      if (percent > s_.bottomUpStartPercent) {
        if (stats_) ++stats_->topDownKernels;
        return true;
      }
      if (!(percent > s_.distanceStartPercent)) {
        phase_ = Phase::kDone;
        return false;
      }
      if (aliveBefore == 0) {
        phase_ = Phase::kDone;
        noMatch_ = true;
        return false;
      }
      phase_ = Phase::kPerCandidate;
    }
    if (percent > s_.distanceStartPercent) {
      if (stats_) ++stats_->perCandidateKernels;
      return true;
    }
    phase_ = Phase::kDone;
    return false;
  }
  void Record(std::size_t alive) {
    ++recorded_;
    if (stats_) stats_->candidatesAfterKernel.push_back(static_cast<int>(alive));
  }
  bool NoMatch() const { return noMatch_; }
  int Applied() const { return recorded_; }  // kernels 0 .. Applied() - 1

 private:
  enum class Phase { kTopDown, kPerCandidate, kDone };
  const WHSetup& s_;
  SearchStats* stats_;
  Phase phase_ = Phase::kTopDown;
  bool noMatch_ = false;
  int recorded_ = 0;
};

// Sum of squared grey differences of the window at (row, col). Gives up once
// the partial sum passes `limit` (reaches it, with kStopAtEqual) and returns
// that partial sum, which then already says the window cannot win.
template <bool kStopAtEqual>
[[gnu::always_inline]] inline std::int64_t WindowDistance(const WHSetup& s, int row, int col,
                                                          std::int64_t limit) {
  const int p = s.patternSize;
  const std::uint8_t* pattern = s.patternBytes.data();
  const std::uint8_t* source = s.sourceImage->pixels;
  std::int64_t sum = 0;
  // The limit is tested every few rows (blocks of about 256 pixels).
  const int testEvery = p >= 16 ? 256 / p - 1 : 0;
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
    if ((i & testEvery) == testEvery && (kStopAtEqual ? sum >= limit : sum > limit)) return sum;
  }
  return sum;
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
    return Exceeds(s_.windowSum[w], s_.windowSquares[w], target, orEqual);
  }
  // The same from the window's own grey sum and sum of squared greys.
  bool Exceeds(std::int64_t sum, std::int64_t squares, std::int64_t target, bool orEqual) const {
    const std::int64_t windowResidual = p2_ * squares - sum * sum;
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

// The share of the open candidates (bound <= target) that the energy bound
// would rule out (windows that tie count as ruled out, as the later ones
// are): tried on up to 32 of them, their sums taken straight from the
// source. The bound is used when it rules out a fair share (a quarter).
double EnergyBoundShare(const WHSetup& s, const EnergyBound& energy, std::int64_t target) {
  const auto& index = s.candidateIndex;
  const auto& bound = s.candidateBound;
  std::size_t open = 0;
  for (const std::int64_t v : bound) open += v <= target;
  const std::size_t step = std::max<std::size_t>(1, open / 32);
  const int p = s.patternSize;
  const int wc = s.WindowCols();
  int tried = 0;
  int ruledOut = 0;
  std::size_t seen = 0;
  for (std::size_t n = 0; n < index.size() && tried < 32; ++n) {
    if (bound[n] > target || seen++ % step != 0) continue;
    const int row = index[n] / wc;
    const int col = index[n] % wc;
    std::int64_t sum = 0;
    std::int64_t squares = 0;
    for (int i = 0; i < p; ++i) {
      const std::uint8_t* a =
          s.sourceImage->pixels + static_cast<std::size_t>(row + i) * s.sourceCols + col;
      std::int32_t rowSum = 0;
      std::int32_t rowSquares = 0;
      for (int j = 0; j < p; ++j) {
        rowSum += a[j];
        rowSquares += a[j] * a[j];
      }
      sum += rowSum;
      squares += rowSquares;
    }
    ++tried;
    ruledOut += energy.Exceeds(sum, squares, target, true);
  }
  return tried > 0 ? static_cast<double>(ruledOut) / tried : 0.0;
}

// The FFT correlation costs two transforms of the source; it pays once the
// open candidates' distances would sum clearly more pixels.
// `open` is the windows the bounds leave open, `likelyOpen` an estimate of
// those the energy bound leaves too. A ratio of 0 takes the correlation
// whenever a window is open.
bool CorrelationPays(const WHSetup& s, std::size_t open, double likelyOpen) {
  if (s.correlationStartRatio < 0 || open == 0) return false;
  if (s.correlationStartRatio == 0) return true;
  const double p2 = static_cast<double>(s.patternSize) * s.patternSize;
  const double pixels = static_cast<double>(s.sourceRows) * s.sourceCols;
  return likelyOpen * p2 >= s.correlationStartRatio * pixels;
}

// Every window's approximate distance from the FFT cross terms and the
// window energies (computeWindowEnergy first): squares - 2 cross + pattern
// squares, off from the exact distance by at most `margin`.
class ApproximateDistance {
 public:
  explicit ApproximateDistance(WHSetup& s) : s_(s) {
    if (!s.correlation)
      s.correlation = CrossCorrelation::Make(s.sourceRows, s.sourceCols, s.patternSize);
    if (!s.correlationHasPattern) {
      s.correlation->SetPattern(s.patternBytes.data());
      s.correlationHasPattern = true;
    }
    double error = 0;
    cross_ = s.correlation->Compute(s.sourceImage->pixels, error);
    // Twice the cross term's error, and one for the roundings of the sum
    // (its terms stay below 2^34, so each rounding is below 2^-18).
    margin_ = 2 * error + 1;
    patternSquares_ = static_cast<double>(s.patternSquares);
  }
  double Value(std::int32_t w) const {
    return static_cast<double>(s_.windowSquares[w]) - 2 * cross_[w] + patternSquares_;
  }
  // Whether window w's exact distance is surely above `limit`.
  bool Exceeds(std::int32_t w, std::int64_t limit) const {
    return Value(w) > static_cast<double>(limit) + margin_;
  }

 private:
  const WHSetup& s_;
  const double* cross_ = nullptr;
  double margin_ = 0;
  double patternSquares_ = 0;
};

// What helps the distances of the `open` windows against `target` (a
// bound's scale, distance x P^2): the window-energy bound when a sample
// shows it rules out a quarter of them, and the FFT cross terms when the
// distances would still cost more than the correlation.
void ChooseDistanceAids(WHSetup& s, const EnergyBound& energyBound, std::size_t open,
                        std::int64_t target, bool& energy, bool& correlated,
                        std::optional<ApproximateDistance>& approximate) {
  double share = 0;
  if (EnergyBoundPays(s, open)) share = EnergyBoundShare(s, energyBound, target);
  energy = share >= 0.25;
  if (energy) computeWindowEnergy(s);
  correlated = CorrelationPays(s, open, static_cast<double>(open) * (energy ? 1 - share : 1));
  if (correlated) {
    if (!energy) computeWindowEnergy(s);
    energy = true;
    approximate.emplace(s);
  }
}

// Below an eighth of the windows as candidates, a quad goes to the
// candidates alone (its level D - 2 over the source, then four values each)
// instead of a pass over every window.
constexpr std::size_t kPerCandidateCost = 8;

// The full distances of the candidates (see whPatternMatch); fills the
// matches and counts the distances it had to sum.
VIREN_VECTOR_CLONES void DistancePhase(WHSetup& s, std::int64_t a, int findDistance, int nextKernel,
                                       int& measured, bool& correlated) {
  const auto& index = s.candidateIndex;
  const auto& bound = s.candidateBound;  // sharpened in place by TightenBounds
  const int wc = s.WindowCols();
  const std::int64_t p2 = static_cast<std::int64_t>(s.patternSize) * s.patternSize;
  const EnergyBound energyBound(s);
  const std::size_t count = index.size();
  bool energy = false;
  measured = findDistance != 0 ? 1 : 0;  // the first one below
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
    // The energy bound pays only when many windows are left that the
    // projections do not rule out against that first distance.
    TightenBounds(s, nextKernel, best * p2);
    // Open: what the loop below would measure against this first distance
    // (a later window must come out below it, an earlier one at most equal).
    std::size_t open = 0;
    for (std::size_t n = 0; n < count; ++n)
      open += n < bestN ? bound[n] <= best * p2 : (n > bestN && bound[n] < best * p2);
    std::optional<ApproximateDistance> approximate;
    ChooseDistanceAids(s, energyBound, open, best * p2, energy, correlated, approximate);
    if (approximate) {
      // Every open window's distance to within a small margin: only those
      // that could still be the answer get an exact one, the nearest first.
      std::size_t nearest = count;
      double nearestValue = 0;
      for (std::size_t n = 0; n < count; ++n) {
        if (n == bestN || bound[n] > best * p2) continue;
        const double v = approximate->Value(index[n]);
        if (nearest == count || v < nearestValue) {
          nearest = n;
          nearestValue = v;
        }
      }
      if (nearest != count) {
        ++measured;
        const std::int32_t w = index[nearest];
        const std::int64_t d =
            WindowDistance<false>(s, w / wc, w % wc, std::numeric_limits<std::int64_t>::max());
        if (d < best || (d == best && nearest < bestN)) {
          best = d;
          bestN = nearest;
        }
      }
    }
    for (std::size_t n = 0; n < count; ++n) {
      if (n == bestN) continue;
      const bool earlier = n < bestN;
      const std::int64_t target = best * p2;
      if (earlier ? bound[n] > target : bound[n] >= target) continue;
      const std::int32_t w = index[n];
      if (energy && energyBound.Exceeds(w, target, !earlier)) continue;
      // Above best by more than the margin: cannot win, not even as an
      // earlier window that ties.
      if (approximate && approximate->Exceeds(w, best)) continue;
      ++measured;
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
    TightenBounds(s, nextKernel, accept * p2);
    std::size_t open = 0;
    for (std::size_t n = 0; n < count; ++n) open += bound[n] <= accept * p2;
    std::optional<ApproximateDistance> approximate;
    ChooseDistanceAids(s, energyBound, open, accept * p2, energy, correlated, approximate);
    for (std::size_t n = 0; n < count; ++n) {
      const std::int32_t w = index[n];
      if (bound[n] > accept * p2) continue;
      if (energy && energyBound.Exceeds(w, accept * p2, false)) continue;
      if (approximate && approximate->Exceeds(w, accept)) continue;
      ++measured;
      const std::int64_t d = WindowDistance<false>(s, w / wc, w % wc, accept);
      if (d <= accept) s.matches[s.numOfMatches++] = Match{w / wc, w % wc, d};
    }
  }
}

// The window with the smallest bound (the first one on ties).
VIREN_VECTOR_CLONES int SmallestBound(const double* bounds, int windows) {
  int best = 0;
  for (int w = 1; w < windows; ++w)
    if (bounds[w] < bounds[best]) best = w;
  return best;
}

// With only the best window wanted, the answer needs the phase rule only when
// no window lies within the threshold: every window within it passes every
// kernel's bound, so the best window overall (the first one on ties) is then
// the rule's answer too, whatever kernels the rule would still apply. While
// the quads go over every window, the window with the smallest bound is
// measured; once one lies within the threshold, its distance d caps the
// answer and the rule is left: the quads go on only while they rule out a
// fair share of the windows within P^2 d (each time the window with the
// smallest bound is measured again, and a smaller distance lowers d), and
// the distance phase takes the rest.
class Settler {
 public:
  Settler(WHSetup& s, std::int64_t a)
      : s_(s),
        wc_(s.WindowCols()),
        windows_(s.Windows()),
        p2_(static_cast<std::int64_t>(s.patternSize) * s.patternSize),
        within_(a * a * p2_) {}

  // Measures the window with the smallest of `bounds` (unless measured
  // already); true once some window measured lies within the threshold.
  bool Try(const double* bounds) {
    const int seed = SmallestBound(bounds, windows_);
    if (seed != lastSeed_) {
      lastSeed_ = seed;
      ++measured_;
      best_ = std::min(best_, WindowDistance<false>(s_, seed / wc_, seed % wc_,
                                                    std::numeric_limits<std::int64_t>::max()));
    }
    return best_ <= within_;
  }

  // From a successful Try on q.out, with kernels below `next` in the bounds.
  void Settle(QuadArgs& q, int next, std::int64_t a, int& measured, bool& correlated) {
    Branch& b = *s_.branch;
    double* bounds = q.out;
    std::size_t open = static_cast<std::size_t>(windows_);
    while (next < s_.boundKernels && open * 8 >= static_cast<std::size_t>(windows_)) {
      const int count = std::min(4, s_.boundKernels - next);
      computeKernelUpTo(b, next, b.depth - 2);
      for (int t = 0; t < count; ++t) q.projection[t] = s_.patternProjections[next + t];
      q.limit = Target();
      q.in = bounds;
      q.out = bounds == s_.windowBound.get() ? s_.windowBoundNext.get() : s_.windowBound.get();
      std::int64_t after[4] = {0, 0, 0, 0};
      QuadPass(q, next / 4, count, after);
      bounds = q.out;
      next += count;
      const std::size_t stillOpen = static_cast<std::size_t>(after[count - 1]);
      const bool pays = (open - std::min(open, stillOpen)) * 8 >= open;
      open = stillOpen;
      if (!pays) break;
      Try(bounds);
    }
    s_.candidateIndex.clear();
    s_.candidateBound.clear();
    CollectCandidates(bounds, windows_, Target(), s_.candidateIndex, s_.candidateBound);
    DistancePhase(s_, a, 1, next, measured, correlated);
    measured += measured_;
  }

 private:
  double Target() const { return static_cast<double>(best_ * p2_); }  // exact: below 2^45

  WHSetup& s_;
  int wc_;
  int windows_;
  std::int64_t p2_;
  std::int64_t within_;
  std::int64_t best_ = std::numeric_limits<std::int64_t>::max();
  int lastSeed_ = -1;
  int measured_ = 0;
};

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
  auto& index = s.candidateIndex;
  auto& bound = s.candidateBound;
  index.clear();
  bound.clear();
  const std::int64_t limitB = a * a * p2 * p2;
  // Every bound of a living window is at most limitB + one squared
  // difference < 2^47, so the doubles below hold them exactly.
  const double limit = static_cast<double>(limitB);

  PhaseRule rule(s, stats);
  std::optional<Settler> settler;
  if (findDistance != 0 && s.settleEarly) settler.emplace(s, a);
  auto started = Clock::now();
  double* bounds = nullptr;  // the current per-window bounds
  std::size_t alive = static_cast<std::size_t>(windows);
  int i = 0;  // the next kernel to apply; -1 when the rule stopped
  if (b.depth < 2) {
    // P = 1: the only kernel is the pixel itself.
    computeKernelTopDown(b, 0);
    bounds = s.windowBound.get();
    alive = static_cast<std::size_t>(StartBounds(b.matrices[b.depth]->cellValues.get(), bounds,
                                                 windows, s.patternProjections[0],
                                                 static_cast<std::int32_t>(a * p2)));
    rule.Record(alive);
    i = rule.Applies(1, alive) ? 1 : -1;
  } else {
    const Matrix& level = *b.matrices[b.depth - 2];
    QuadArgs q;
    q.level = level.cellValues.get();
    q.levelCols = level.cols;
    q.windowRows = s.WindowRows();
    q.windowCols = wc;
    q.half = s.patternSize / 2;
    q.limit = limit;
    // Kernel i is applied (i = 0, or the rule said so): whole quads over every
    // window while the candidates are many.
    for (bool wholeSource = true; wholeSource;) {
      const int count = std::min(4, s.numOfBasis - i);
      computeKernelUpTo(b, i, b.depth - 2);
      for (int t = 0; t < count; ++t) q.projection[t] = s.patternProjections[i + t];
      q.in = bounds;
      q.out = bounds == s.windowBound.get() ? s.windowBoundNext.get() : s.windowBound.get();
      std::int64_t after[4] = {0, 0, 0, 0};
      QuadPass(q, i / 4, count, after);
      int applied = 1;
      while (applied < count &&
             rule.Applies(i + applied, static_cast<std::size_t>(after[applied - 1])))
        ++applied;
      // The rule stopped inside the quad: the bounds must not hold the
      // kernels it did not apply. Once per search at most.
      if (applied < count) QuadPass(q, i / 4, applied, after);
      for (int t = 0; t < applied; ++t) rule.Record(static_cast<std::size_t>(after[t]));
      bounds = q.out;
      alive = static_cast<std::size_t>(after[applied - 1]);
      i += applied;
      if (stats && i == applied) stats->kernelZeroSeconds = Seconds(started);
      if (applied < count || !rule.Applies(i, alive)) {
        wholeSource = false;
        i = -1;  // no kernel left to apply
      } else if (alive * kPerCandidateCost < static_cast<std::size_t>(windows)) {
        wholeSource = false;
      } else if (settler && alive * 2 >= static_cast<std::size_t>(windows) &&
                 std::has_single_bit(static_cast<unsigned>(i / 4)) && settler->Try(bounds)) {
        // Most windows are left, but one within the threshold is known: the
        // best one settles the answer without the rule's further kernels.
        // Tried after quads 1, 2, 4, 8... while most windows are left: each
        // try scans every window's bound, lost when none is within.
        started = Clock::now();
        int measured = 0;
        bool correlated = false;
        settler->Settle(q, i, a, measured, correlated);
        if (stats) {
          stats->settledEarly = true;
          stats->distanceCandidates = static_cast<int>(index.size());
          // The rule had approved kernel i already; it was not applied.
          if (stats->perCandidateKernels > 0)
            --stats->perCandidateKernels;
          else
            --stats->topDownKernels;
          stats->distancesMeasured = measured;
          stats->correlated = correlated;
          stats->distanceSeconds = Seconds(started);
        }
        return s.numOfMatches;
      }
    }
  }
  CollectCandidates(bounds, windows, limit, index, bound);
  if (stats) stats->topDownSeconds = Seconds(started) - stats->kernelZeroSeconds;
  if (rule.NoMatch()) return 0;

  // Kernels from i on (already approved by the rule) for the candidates
  // alone, a quad at a time: the quad's level D - 2 over the source (one or
  // two level passes, or a box-sum pass), then four values per candidate.
  // Keeps the candidates within limitB, in order.
  started = Clock::now();
  while (i > 0) {
    const CandidateQuad quad(s, i, std::min(4 - i % 4, s.numOfBasis - i));
    const int count = quad.Count();
    // The candidates left after each kernel of the quad, as if all applied.
    std::size_t after[4] = {0, 0, 0, 0};
    for (std::size_t n = 0; n < index.size(); ++n) {
      std::int64_t square[4];
      quad.Squares(index[n], square);
      std::int64_t sum = bound[n];
      for (int t = 0; t < count; ++t) {
        sum += square[t];
        after[t] += sum <= limitB;
      }
    }
    int applied = 1;
    while (applied < count && rule.Applies(i + applied, after[applied - 1])) ++applied;
    std::size_t kept = 0;
    for (std::size_t n = 0; n < index.size(); ++n) {
      std::int64_t square[4];
      quad.Squares(index[n], square);
      std::int64_t sum = bound[n];
      for (int t = 0; t < applied; ++t) sum += square[t];
      if (sum <= limitB) {
        index[kept] = index[n];
        bound[kept] = sum;
        ++kept;
      }
    }
    index.resize(kept);
    bound.resize(kept);
    for (int t = 0; t < applied; ++t) rule.Record(after[t]);
    i += applied;
    if (applied < count || !rule.Applies(i, kept)) i = -1;
  }
  if (stats) stats->perCandidateSeconds = Seconds(started);

  if (index.empty()) return 0;
  started = Clock::now();
  if (stats) stats->distanceCandidates = static_cast<int>(index.size());
  int measured = 0;
  bool correlated = false;
  DistancePhase(s, a, findDistance, rule.Applied(), measured, correlated);
  if (stats) {
    stats->distancesMeasured = measured;
    stats->correlated = correlated;
    stats->distanceSeconds = Seconds(started);
  }
  return s.numOfMatches;
}

}  // namespace viren::wh
