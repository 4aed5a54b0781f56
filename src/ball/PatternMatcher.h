#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ball/PatternCorrelation.h"

// Walsh-Hadamard projection-kernel pattern matching over grey pictures.
//
// The pattern and every window of the source are projected onto the kernels
// in a fixed order; after each kernel the accumulated squared difference of
// projections is a lower bound of (pattern size^2 x) the true distance, so
// windows whose bound passes the threshold are dropped early and only the few
// survivors get a full distance.
//
// The records keep the names the matcher's error lines use. An allocation the
// matcher cannot get prints its fixed line to standard output and ends the
// process with status 1; no allocation failure is ever returned to a caller.
// None of this is thread safe: the owner (BallMatcher) serialises the calls.

namespace viren::wh {

// Rows of bytes, not owned.
struct Image {
  int rows = 0;
  int cols = 0;
  const std::uint8_t* pixels = nullptr;
};

// rows x cols 32-bit values, row after row, with a row table into them.
struct Matrix {
  int rows = 0;
  int cols = 0;
  int size = 0;
  std::unique_ptr<std::int32_t[]> cellValues;
  std::unique_ptr<std::int32_t*[]> rowTable;
};

// The kernel tree for one source size and pattern size P, depth D = 2 log2 P.
// Level L+1 is made from level L: horizontally (L even) or vertically (L odd)
// with offset delta(L) = 2^(L / 2), so the last level holds one value per
// window (top-left corner (r, c)).
struct Branch {
  int depth = 0;                                  // D
  int numKernels = 0;                             // kernels with signs in the table
  std::vector<std::unique_ptr<Matrix>> matrices;  // D + 1; level 0 is the source
  std::vector<std::uint8_t> horizontal;           // per level
  std::vector<int> delta;                         // per level
  std::vector<std::int8_t> signs;                 // [level * numKernels + kernel]
  // Per level: the kernel whose values (after that many levels) the whole
  // level holds, -1 when it holds nothing usable. Two kernels share a level
  // by the path codes below, so a level serves every kernel that shares it.
  std::vector<int> holds;
  // Per level and position: which kernel's values the level holds there, for
  // the per-candidate computation; (epoch << 16 | kernel). An entry of an
  // older epoch holds the values of phaseHolds[level], what the level held
  // when the current per-candidate phase began.
  std::vector<std::unique_ptr<std::uint32_t[]>> cache;
  std::uint32_t epoch = 0;
  std::vector<int> phaseHolds;
  // The source may be kept as bytes (reloadSource): level 0 is then widened
  // only when a level pass needs it.
  const std::uint8_t* sourceBytes = nullptr;
  bool sourceWidened = true;
  // Row sums of the box-sum passes: as large as the source.
  std::unique_ptr<std::int32_t[]> boxScratch;

  int Sign(int level, int kernel) const { return signs[level * numKernels + kernel]; }
  // Two kernels share the values after `levels` levels when these are equal.
  int PathCode(int kernel, int levels) const { return kernel >> (depth - levels); }
  // Whether level `levels` holds kernel's values.
  bool Holds(int levels, int kernel) const {
    return holds[levels] >= 0 && PathCode(holds[levels], levels) == PathCode(kernel, levels);
  }
};

// One window found: its top-left corner and its full distance (sum of
// squared grey differences).
struct Match {
  int row = 0;
  int col = 0;
  std::int64_t distance = 0;
};

// How far a search got, for measurements. Filled only when asked for.
struct SearchStats {
  int windows = 0;
  std::vector<int> candidatesAfterKernel;  // [k]: candidates left after kernel k
  int topDownKernels = 0;                  // kernels computed over the whole source
  int perCandidateKernels = 0;
  int distanceCandidates = 0;  // windows that reached the distance phase
  int distancesMeasured = 0;   // of those, the ones whose distance was (partly) summed
  bool correlated = false;     // the cross terms came from the FFT correlation
  // The best window was within the threshold after the first kernels: the
  // rest of the phase rule was not needed (the counts stop there).
  bool settledEarly = false;
  double kernelZeroSeconds = 0;
  double topDownSeconds = 0;
  double perCandidateSeconds = 0;
  double distanceSeconds = 0;
};

struct WHSetup {
  int sourceRows = 0;
  int sourceCols = 0;
  int patternSize = 0;
  int numOfBasis = 0;
  // Kernels with signs and pattern projections: numOfBasis, and at least
  // the first 64 (or all P^2) that the distance phase may use to sharpen
  // bounds.
  int boundKernels = 0;
  std::unique_ptr<Image> sourceImage;
  std::unique_ptr<Image> patternImage;           // over patternBytes
  std::vector<std::uint8_t> patternBytes;        // the pattern's own copy, P x P
  std::vector<std::int32_t> patternProjections;  // one per kernel below boundKernels
  std::unique_ptr<Branch> branch;                // over the source; level 0 is the source matrix
  float bottomUpStartPercent = 10.0f;
  float distanceStartPercent = 2.0f;
  // The distance phase takes every window's cross term from one FFT
  // correlation when the open candidates hold more than this many times the
  // source's pixels (their distances would cost more than the transforms).
  double correlationStartRatio = 256.0;
  // With only the best window wanted, settle it from the first kernels when
  // it is within the threshold (the rule's further kernels cannot change
  // it). Off, every kernel the rule approves is applied (tests of the rule).
  bool settleEarly = true;
  // Made by the first search that needs it, kept for the set-up's life.
  std::unique_ptr<CrossCorrelation> correlation;
  bool correlationHasPattern = false;
  std::unique_ptr<Match[]> matches;  // room for every window
  int numOfMatches = 0;
  // Scratch of the search: candidate windows (row-major index) and their
  // accumulated bounds, kept in visiting order.
  std::vector<std::int32_t> candidateIndex;
  std::vector<std::int64_t> candidateBound;
  // Scratch of the whole-source phase, one entry per window: the accumulated
  // bound (exact while the window lives, see PatternSearch.cpp) and whether
  // the window is still a candidate.
  std::unique_ptr<double[]> windowBound;
  std::unique_ptr<double[]> windowBoundNext;  // the passes read one and write the other
  std::unique_ptr<std::uint8_t[]> windowAlive;
  // Scratch of the distance phase: every window's grey sum and sum of squared
  // greys.
  std::unique_ptr<std::int32_t[]> windowSum;
  std::unique_ptr<std::int32_t[]> windowSquares;
  // The pattern's grey sum and sum of squared greys.
  std::int64_t patternSum = 0;
  std::int64_t patternSquares = 0;

  int WindowRows() const { return sourceRows - patternSize + 1; }
  int WindowCols() const { return sourceCols - patternSize + 1; }
  int Windows() const { return WindowRows() * WindowCols(); }
};

// Whether the matcher can work with a pattern of side `patternSize` over a
// source of rows x cols: a power of two from 1 to 128 that fits the source,
// and a source of at most kMaxSourcePixels.
inline constexpr int kMaxPatternSize = 128;
inline constexpr std::int64_t kMaxSourcePixels = 2048LL * 2048;
bool SizesSupported(int sourceRows, int sourceCols, int patternSize);

std::unique_ptr<Image> allocImage(int rows, int cols, const std::uint8_t* pixels);
std::unique_ptr<Matrix> allocMatrix(int rows, int cols);
// The tree for a rows x cols source and pattern side `patternSize`, with the
// signs of `numKernels` kernels.
std::unique_ptr<Branch> allocBranch(int rows, int cols, int patternSize, int numKernels);
// numOfBasis is held to 1 .. patternSize^2 (the kernels that exist). The
// caller checks SizesSupported first.
std::unique_ptr<WHSetup> createWHSetup(int sourceRows, int sourceCols, int patternSize,
                                       int numOfBasis);
void destroyImage(std::unique_ptr<Image>& image);
void destroyMatrix(std::unique_ptr<Matrix>& matrix);
void destroyBranch(std::unique_ptr<Branch>& branch);
void destroyWHSetup(std::unique_ptr<WHSetup>& setup);

void setBottomUpStartPercent(WHSetup& setup, float percent);
void setDistanceStartPercent(WHSetup& setup, float percent);
// See WHSetup::correlationStartRatio; 0 takes the correlation whenever a
// window is left open, a negative value never.
void setCorrelationStartRatio(WHSetup& setup, double ratio);
// The source the searches run over: `image` must be sourceRows x sourceCols
// and stay valid; its bytes are read afresh by every search.
void setSourceImage(WHSetup& setup, const Image& image);
// The pattern (P x P bytes, copied): computes its projections.
void setPatternImage(WHSetup& setup, const Image& image);

// Takes the bytes of the source image as the tree's source (level 0 is
// widened to 32 bits only when a level pass needs it) and forgets every
// level the tree held.
void reloadSource(WHSetup& setup);

// Kernel k over the whole source: recomputes only the levels that differ from
// what the tree holds. The last level then holds k's projection of every
// window.
void computeKernelTopDown(Branch& branch, int kernel);
// The levels of kernel k up to `top` only (levels above are left as they
// are). Starts from the highest level that already holds k's values; when
// none does, from box sums at the highest level k shares with kernel 0, made
// in one pass from the source (bytes or level 0).
void computeKernelUpTo(Branch& branch, int kernel, int top);
// Level `level` for kernel 0 (box sums) in one pass from the source (bytes
// when the tree has them, else level 0, which must hold grey values 0..255).
void computeBoxSums(Branch& branch, int level);
// Kernel 0 over the whole source when only kernels below 2^(D - level) will
// follow: level `level` (box sums) is made from the source in one pass and the
// levels below it are left stale; the levels above as computeKernelTopDown
// makes them.
void computeKernelZeroFrom(Branch& branch, int level);
// Every window's grey sum and sum of squared greys (windowSum,
// windowSquares), from the source image.
void computeWindowEnergy(WHSetup& setup);
// Starts a per-candidate phase: every level is taken to hold the values it
// holds now.
void beginPerCandidatePhase(Branch& branch);
// Kernel k's projection of the window at (row, col) alone, bottom-up through
// the cache; equals what computeKernelTopDown gives there.
std::int32_t computeKernelForWindow(Branch& branch, int kernel, int row, int col);

// The search with threshold a (root-mean-square grey difference per pixel).
// findDistance non-zero: only the best window (whatever its distance, once it
// passed the projection bounds); zero: every window within a, in row-major
// order. Returns the number of matches (also in setup.numOfMatches).
int whPatternMatch(WHSetup& setup, int threshold, int findDistance, SearchStats* stats = nullptr);

// Grey from a 24-bit bottom-up picture (blue, green, red): output row i (top
// of the picture first) takes picture row top + i, columns left .. left +
// cols - 1; grey = (77 red + 150 green + 29 blue) >> 8. The caller keeps the
// rectangle inside the picture; `stride` is the picture's bytes per row.
void ConvertToGrey(const std::uint8_t* picture, int pictureHeight, std::size_t stride, int left,
                   int top, int cols, int rows, std::uint8_t* out);

}  // namespace viren::wh
