#include "ball/PatternMatcher.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace viren::wh {

namespace {

// Anything larger is treated as an allocation that cannot be had, before the
// allocator is asked (a lying size must not reach it).
constexpr std::int64_t kMaxCells = std::int64_t{1} << 28;

[[noreturn]] void Fail(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  // Other threads may be mid-frame: leave without running destructors.
  std::_Exit(1);
}

template <class T>
std::unique_ptr<T[]> AllocArray(std::int64_t count, const char* failLine) {
  if (count < 0 || count > kMaxCells) Fail(failLine);
  std::unique_ptr<T[]> p(new (std::nothrow)
                             T[static_cast<std::size_t>(std::max<std::int64_t>(count, 1))]);
  if (!p) Fail(failLine);
  return p;
}

// Sign of level L for kernel k, from T = (+1, -1, +1, -1, -1, +1, -1, +1).
constexpr std::int8_t kSignTable[8] = {1, -1, 1, -1, -1, 1, -1, 1};

// The level passes are built for AVX2 and for plain x86-64; the processor
// picks at load time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(VIREN_NO_CPU_DISPATCH)
#define VIREN_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VIREN_VECTOR_CLONES
#endif

// Level L+1 from level L over every position.
VIREN_VECTOR_CLONES void ComputeLevel(Branch& b, int level, int sign) {
  const Matrix& in = *b.matrices[level];
  Matrix& out = *b.matrices[level + 1];
  const int d = b.delta[level];
  const int cols = out.cols;
  for (int r = 0; r < out.rows; ++r) {
    const std::int32_t* __restrict a = in.rowTable[r];
    const std::int32_t* __restrict s =
        b.horizontal[level] ? in.rowTable[r] + d : in.rowTable[r + d];
    std::int32_t* __restrict o = out.rowTable[r];
    if (sign > 0) {
      for (int c = 0; c < cols; ++c) o[c] = a[c] + s[c];
    } else {
      for (int c = 0; c < cols; ++c) o[c] = a[c] - s[c];
    }
  }
}

std::int32_t ValueAt(Branch& b, int levels, int row, int col, int kernel) {
  Matrix& m = *b.matrices[levels];
  if (levels == 0)
    return b.sourceWidened ? m.rowTable[row][col]
                           : b.sourceBytes[static_cast<std::size_t>(row) * m.cols + col];
  const std::size_t pos = static_cast<std::size_t>(row) * m.cols + col;
  std::uint32_t& code = b.cache[levels][pos];
  const int holder =
      (code >> 16) == b.epoch ? static_cast<int>(code & 0xFFFF) : b.phaseHolds[levels];
  if (holder >= 0 && b.PathCode(holder, levels) == b.PathCode(kernel, levels))
    return m.rowTable[row][col];
  const int below = levels - 1;
  const int d = b.delta[below];
  const std::int32_t first = ValueAt(b, below, row, col, kernel);
  const std::int32_t second = b.horizontal[below] ? ValueAt(b, below, row, col + d, kernel)
                                                  : ValueAt(b, below, row + d, col, kernel);
  const std::int32_t value = b.Sign(below, kernel) > 0 ? first + second : first - second;
  m.rowTable[row][col] = value;
  code = (b.epoch << 16) | static_cast<std::uint32_t>(kernel);
  return value;
}

void EnsureLevelZero(Branch& b) {
  if (b.sourceWidened) return;
  Matrix& m = *b.matrices[0];
  const std::uint8_t* __restrict from = b.sourceBytes;
  std::int32_t* __restrict to = m.cellValues.get();
  for (int i = 0; i < m.size; ++i) to[i] = from[i];
  b.sourceWidened = true;
}

// Box sums boxCols wide and boxRows high (powers of two) of a rows x cols
// source (of its values squared with kSquares): row sums by doubling in
// `scratch` (rows x cols), then a running sum down the columns into `out`
// (outRows x outCols, a row every outCols values).
// Row sums of plain values fit 16 bits (at most 128 x 255), which doubles the
// lanes of the row pass; squares take 32.
template <bool kSquares, class T>
[[gnu::always_inline]] inline void BoxSumsBody(const T* __restrict source, int rows, int cols,
                                               int boxCols, int boxRows,
                                               std::int32_t* __restrict scratch,
                                               std::int32_t* __restrict out, int outRows,
                                               int outCols) {
  using Sum = std::conditional_t<kSquares, std::int32_t, std::uint16_t>;
  Sum* __restrict sums = reinterpret_cast<Sum*>(scratch);
  auto value = [](std::int32_t v) { return static_cast<Sum>(kSquares ? v * v : v); };
  for (int r = 0; r < rows; ++r) {
    const T* __restrict a = source + static_cast<std::size_t>(r) * cols;
    Sum* __restrict h = sums + static_cast<std::size_t>(r) * cols;
    if (boxCols == 1) {
      for (int c = 0; c < cols; ++c) h[c] = value(a[c]);
      continue;
    }
    // h[c] = a[c] + a[c + 1], then each step doubles the width.
    for (int c = 0; c + 1 < cols; ++c) h[c] = static_cast<Sum>(value(a[c]) + value(a[c + 1]));
    for (int width = 2; width < boxCols; width *= 2) {
      const int valid = cols - 2 * width + 1;
      for (int c = 0; c < valid; ++c) h[c] = static_cast<Sum>(h[c] + h[c + width]);
    }
  }
  auto rowOf = [sums, cols](int r) { return sums + static_cast<std::size_t>(r) * cols; };
  {
    std::int32_t* __restrict o = out;
    const Sum* __restrict h = rowOf(0);
    for (int c = 0; c < outCols; ++c) o[c] = h[c];
    for (int i = 1; i < boxRows; ++i) {
      const Sum* __restrict hi = rowOf(i);
      for (int c = 0; c < outCols; ++c) o[c] += hi[c];
    }
  }
  for (int r = 1; r < outRows; ++r) {
    const std::int32_t* __restrict above = out + static_cast<std::size_t>(r - 1) * outCols;
    const Sum* __restrict enter = rowOf(r + boxRows - 1);
    const Sum* __restrict leave = rowOf(r - 1);
    std::int32_t* __restrict o = out + static_cast<std::size_t>(r) * outCols;
    for (int c = 0; c < outCols; ++c)
      o[c] = above[c] + static_cast<std::int32_t>(enter[c]) - static_cast<std::int32_t>(leave[c]);
  }
}

VIREN_VECTOR_CLONES void BoxSumsOfBytes(const std::uint8_t* source, int rows, int cols, int boxCols,
                                        int boxRows, bool squares, std::int32_t* scratch,
                                        std::int32_t* out) {
  const int outRows = rows - boxRows + 1;
  const int outCols = cols - boxCols + 1;
  if (squares)
    BoxSumsBody<true>(source, rows, cols, boxCols, boxRows, scratch, out, outRows, outCols);
  else
    BoxSumsBody<false>(source, rows, cols, boxCols, boxRows, scratch, out, outRows, outCols);
}

VIREN_VECTOR_CLONES void BoxSumsOfValues(const std::int32_t* source, int rows, int cols,
                                         int boxCols, int boxRows, std::int32_t* scratch,
                                         std::int32_t* out) {
  BoxSumsBody<false>(source, rows, cols, boxCols, boxRows, scratch, out, rows - boxRows + 1,
                     cols - boxCols + 1);
}

void ForgetLevels(Branch& b) {
  for (std::size_t level = 1; level < b.holds.size(); ++level) b.holds[level] = -1;
}

}  // namespace

bool SizesSupported(int sourceRows, int sourceCols, int patternSize) {
  return patternSize >= 1 && patternSize <= kMaxPatternSize &&
         std::has_single_bit(static_cast<unsigned>(patternSize)) && sourceRows >= patternSize &&
         sourceCols >= patternSize &&
         static_cast<std::int64_t>(sourceRows) * sourceCols <= kMaxSourcePixels;
}

std::unique_ptr<Image> allocImage(int rows, int cols, const std::uint8_t* pixels) {
  std::unique_ptr<Image> image(new (std::nothrow) Image);
  if (!image) Fail("ERROR in allocImage: can't allocate image.");
  image->rows = rows;
  image->cols = cols;
  image->pixels = pixels;
  return image;
}

std::unique_ptr<Matrix> allocMatrix(int rows, int cols) {
  std::unique_ptr<Matrix> m(new (std::nothrow) Matrix);
  if (!m) Fail("ERROR in allocMatrix: can't allocate matrix.");
  const std::int64_t size = static_cast<std::int64_t>(rows) * cols;
  if (rows < 0 || cols < 0) Fail("ERROR in allocMatrix: can't allocate cellValues array.");
  m->cellValues =
      AllocArray<std::int32_t>(size, "ERROR in allocMatrix: can't allocate cellValues array.");
  m->rowTable = AllocArray<std::int32_t*>(
      rows, "ERROR in allocMatrix: can't allocate cellValues rows mapping.");
  m->rows = rows;
  m->cols = cols;
  m->size = static_cast<int>(size);
  for (int r = 0; r < rows; ++r)
    m->rowTable[r] = m->cellValues.get() + static_cast<std::size_t>(r) * cols;
  return m;
}

std::unique_ptr<Branch> allocBranch(int rows, int cols, int patternSize, int numKernels) {
  std::unique_ptr<Branch> b(new (std::nothrow) Branch);
  if (!b) Fail("ERROR in allocBranch: can't allocate branch.");
  const int depth = 2 * std::countr_zero(static_cast<unsigned>(patternSize));
  b->depth = depth;
  b->numKernels = numKernels;
  try {
    b->matrices.resize(static_cast<std::size_t>(depth) + 1);
    b->holds.assign(static_cast<std::size_t>(depth) + 1, -1);
    b->phaseHolds.assign(static_cast<std::size_t>(depth) + 1, -1);
  } catch (const std::bad_alloc&) {
    Fail("ERROR in allocBranch: can't allocate matrices array mapping.");
  }
  try {
    b->horizontal.resize(depth);
    b->delta.resize(depth);
    b->signs.resize(static_cast<std::size_t>(depth) * numKernels);
    b->cache.resize(static_cast<std::size_t>(depth) + 1);
  } catch (const std::bad_alloc&) {
    Fail("ERROR in allocBranch: can't allocate branch data.");
  }
  int levelRows = rows;
  int levelCols = cols;
  b->matrices[0] = allocMatrix(levelRows, levelCols);
  b->holds[0] = 0;  // the source serves every kernel
  b->boxScratch = AllocArray<std::int32_t>(static_cast<std::int64_t>(rows) * cols,
                                           "ERROR in allocBranch: can't allocate branch data.");
  for (int level = 0; level < depth; ++level) {
    b->horizontal[level] = level % 2 == 0;
    b->delta[level] = 1 << (level / 2);
    for (int k = 0; k < numKernels; ++k)
      b->signs[static_cast<std::size_t>(level) * numKernels + k] =
          kSignTable[(k >> (depth - 1 - level)) & 7];
    if (b->horizontal[level])
      levelCols -= b->delta[level];
    else
      levelRows -= b->delta[level];
    b->matrices[level + 1] = allocMatrix(levelRows, levelCols);
    b->cache[level + 1] =
        AllocArray<std::uint32_t>(static_cast<std::int64_t>(levelRows) * levelCols,
                                  "ERROR in allocBranch: can't allocate branch data.");
    std::memset(b->cache[level + 1].get(), 0,
                sizeof(std::uint32_t) * static_cast<std::size_t>(levelRows) * levelCols);
  }
  return b;
}

std::unique_ptr<WHSetup> createWHSetup(int sourceRows, int sourceCols, int patternSize,
                                       int numOfBasis) {
  std::unique_ptr<WHSetup> s(new (std::nothrow) WHSetup);
  if (!s) Fail("ERROR in createWHSetup: can't allocate setup.");
  s->sourceRows = sourceRows;
  s->sourceCols = sourceCols;
  s->patternSize = patternSize;
  // Only P^2 kernels exist; a setting beyond that, or below one, is held to them.
  s->numOfBasis = std::clamp(numOfBasis, 1, patternSize * patternSize);
  s->boundKernels = std::max(s->numOfBasis, std::min(patternSize * patternSize, 64));
  s->branch = allocBranch(sourceRows, sourceCols, patternSize, s->boundKernels);
  if (!s->branch) Fail("ERROR in createWHSetup: can't allocate branch.");
  const std::int64_t windows =
      static_cast<std::int64_t>(s->WindowRows()) * static_cast<std::int64_t>(s->WindowCols());
  s->matches = AllocArray<Match>(windows, "ERROR in createWHSetup: can't allocate matches area.");
  const char* scratchLine = "ERROR in createWHSetup: can't allocate setup.";
  s->windowBound = AllocArray<double>(windows, scratchLine);
  s->windowBoundNext = AllocArray<double>(windows, scratchLine);
  s->windowAlive = AllocArray<std::uint8_t>(windows, scratchLine);
  s->windowSum = AllocArray<std::int32_t>(windows, scratchLine);
  s->windowSquares = AllocArray<std::int32_t>(windows, scratchLine);
  try {
    s->patternProjections.assign(s->boundKernels, 0);
    s->candidateIndex.reserve(static_cast<std::size_t>(windows));
    s->candidateBound.reserve(static_cast<std::size_t>(windows));
  } catch (const std::bad_alloc&) {
    Fail("ERROR in createWHSetup: can't allocate setup.");
  }
  return s;
}

void destroyImage(std::unique_ptr<Image>& image) {
  image.reset();
}
void destroyMatrix(std::unique_ptr<Matrix>& matrix) {
  matrix.reset();
}
void destroyBranch(std::unique_ptr<Branch>& branch) {
  branch.reset();
}
void destroyWHSetup(std::unique_ptr<WHSetup>& setup) {
  setup.reset();
}

void setBottomUpStartPercent(WHSetup& setup, float percent) {
  setup.bottomUpStartPercent = percent;
}
void setDistanceStartPercent(WHSetup& setup, float percent) {
  setup.distanceStartPercent = percent;
}

void setCorrelationStartRatio(WHSetup& setup, double ratio) {
  setup.correlationStartRatio = ratio;
}

void setSourceImage(WHSetup& setup, const Image& image) {
  setup.sourceImage = allocImage(image.rows, image.cols, image.pixels);
}

void setPatternImage(WHSetup& setup, const Image& image) {
  const int p = setup.patternSize;
  setup.patternBytes.assign(image.pixels, image.pixels + static_cast<std::size_t>(p) * p);
  setup.patternImage = allocImage(p, p, setup.patternBytes.data());
  setup.correlationHasPattern = false;
  setup.patternSum = 0;
  setup.patternSquares = 0;
  for (const std::uint8_t v : setup.patternBytes) {
    setup.patternSum += v;
    setup.patternSquares += static_cast<std::int64_t>(v) * v;
  }
  std::unique_ptr<Branch> tree = allocBranch(p, p, p, setup.boundKernels);
  Matrix& level0 = *tree->matrices[0];
  for (int i = 0; i < p * p; ++i) level0.cellValues[i] = setup.patternBytes[i];
  for (int k = 0; k < setup.boundKernels; ++k) {
    computeKernelTopDown(*tree, k);
    setup.patternProjections[k] = tree->matrices[tree->depth]->cellValues[0];
  }
}

void reloadSource(WHSetup& setup) {
  Branch& b = *setup.branch;
  b.sourceBytes = setup.sourceImage->pixels;
  b.sourceWidened = false;
  ForgetLevels(b);
}

void computeBoxSums(Branch& b, int level) {
  const int boxCols = 1 << ((level + 1) / 2);
  const int boxRows = 1 << (level / 2);
  const Matrix& source = *b.matrices[0];
  Matrix& out = *b.matrices[level];
  if (level == 0) {
    EnsureLevelZero(b);
  } else if (!b.sourceWidened) {
    BoxSumsOfBytes(b.sourceBytes, source.rows, source.cols, boxCols, boxRows, false,
                   b.boxScratch.get(), out.cellValues.get());
  } else {
    BoxSumsOfValues(source.cellValues.get(), source.rows, source.cols, boxCols, boxRows,
                    b.boxScratch.get(), out.cellValues.get());
  }
  b.holds[level] = 0;
}

void computeWindowEnergy(WHSetup& setup) {
  Branch& b = *setup.branch;
  const int p = setup.patternSize;
  BoxSumsOfBytes(setup.sourceImage->pixels, setup.sourceRows, setup.sourceCols, p, p, false,
                 b.boxScratch.get(), setup.windowSum.get());
  BoxSumsOfBytes(setup.sourceImage->pixels, setup.sourceRows, setup.sourceCols, p, p, true,
                 b.boxScratch.get(), setup.windowSquares.get());
}

void computeKernelUpTo(Branch& b, int kernel, int top) {
  int from = top;
  while (from > 0 && !b.Holds(from, kernel)) --from;
  // Nothing held above the source: box sums at the highest level the kernel
  // shares with kernel 0 cost one pass instead of one pass per level.
  if (from == 0) {
    from = std::min(top, b.depth - static_cast<int>(std::bit_width(static_cast<unsigned>(kernel))));
    if (from >= 2 || (from == 1 && !b.sourceWidened))
      computeBoxSums(b, from);
    else
      from = 0;
  }
  if (from == 0) EnsureLevelZero(b);
  for (int level = from; level < top; ++level) {
    ComputeLevel(b, level, b.Sign(level, kernel));
    b.holds[level + 1] = kernel;
  }
}

void computeKernelTopDown(Branch& b, int kernel) {
  computeKernelUpTo(b, kernel, b.depth);
}

void computeKernelZeroFrom(Branch& b, int level) {
  level = std::clamp(level, 0, b.depth);
  ForgetLevels(b);
  computeBoxSums(b, level);
  computeKernelUpTo(b, 0, b.depth);
}

void beginPerCandidatePhase(Branch& b) {
  if (++b.epoch > 0xFFFF) {
    // The epoch lives in 16 bits: start over with every entry old.
    for (int level = 1; level <= b.depth; ++level)
      std::memset(b.cache[level].get(), 0,
                  sizeof(std::uint32_t) * static_cast<std::size_t>(b.matrices[level]->size));
    b.epoch = 1;
  }
  b.phaseHolds = b.holds;
  // From here the levels hold values of several kernels: the next whole-source
  // computation starts afresh.
  ForgetLevels(b);
}

std::int32_t computeKernelForWindow(Branch& branch, int kernel, int row, int col) {
  return ValueAt(branch, branch.depth, row, col, kernel);
}

VIREN_VECTOR_CLONES void ConvertToGrey(const std::uint8_t* picture, int pictureHeight,
                                       std::size_t stride, int left, int top, int cols, int rows,
                                       std::uint8_t* out) {
  for (int i = 0; i < rows; ++i) {
    const std::uint8_t* __restrict from =
        picture + static_cast<std::size_t>(pictureHeight - 1 - (top + i)) * stride +
        static_cast<std::size_t>(left) * 3;
    std::uint8_t* __restrict to = out + static_cast<std::size_t>(i) * cols;
    for (int j = 0; j < cols; ++j) {
      const unsigned blue = from[3 * j];
      const unsigned green = from[3 * j + 1];
      const unsigned red = from[3 * j + 2];
      to[j] = static_cast<std::uint8_t>((77 * red + 150 * green + 29 * blue) >> 8);
    }
  }
}

}  // namespace viren::wh
