#include "ball/PatternMatcher.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Level L+1 from level L over every position.
void ComputeLevel(Branch& b, int level, int sign) {
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
  if (levels == 0) return m.rowTable[row][col];
  const std::size_t pos = static_cast<std::size_t>(row) * m.cols + col;
  std::uint32_t& code = b.cache[levels][pos];
  const int holder = (code >> 16) == b.epoch ? static_cast<int>(code & 0xFFFF) : b.phaseKernel;
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

std::int64_t WindowDistance(const WHSetup& s, int row, int col) {
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
  }
  return sum;
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
  s->branch = allocBranch(sourceRows, sourceCols, patternSize, s->numOfBasis);
  if (!s->branch) Fail("ERROR in createWHSetup: can't allocate branch.");
  const std::int64_t windows =
      static_cast<std::int64_t>(s->WindowRows()) * static_cast<std::int64_t>(s->WindowCols());
  s->matches = AllocArray<Match>(windows, "ERROR in createWHSetup: can't allocate matches area.");
  try {
    s->patternProjections.assign(s->numOfBasis, 0);
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

void setSourceImage(WHSetup& setup, const Image& image) {
  setup.sourceImage = allocImage(image.rows, image.cols, image.pixels);
}

void setPatternImage(WHSetup& setup, const Image& image) {
  const int p = setup.patternSize;
  setup.patternBytes.assign(image.pixels, image.pixels + static_cast<std::size_t>(p) * p);
  setup.patternImage = allocImage(p, p, setup.patternBytes.data());
  std::unique_ptr<Branch> tree = allocBranch(p, p, p, setup.numOfBasis);
  Matrix& level0 = *tree->matrices[0];
  for (int i = 0; i < p * p; ++i) level0.cellValues[i] = setup.patternBytes[i];
  for (int k = 0; k < setup.numOfBasis; ++k) {
    computeKernelTopDown(*tree, k);
    setup.patternProjections[k] = tree->matrices[tree->depth]->cellValues[0];
  }
}

void reloadSource(WHSetup& setup) {
  Matrix& m = *setup.branch->matrices[0];
  const std::uint8_t* __restrict from = setup.sourceImage->pixels;
  std::int32_t* __restrict to = m.cellValues.get();
  for (int i = 0; i < m.size; ++i) to[i] = from[i];
  setup.branch->currentKernel = -1;
}

void computeKernelTopDown(Branch& branch, int kernel) {
  int from = 0;
  if (branch.currentKernel >= 0)
    from = branch.depth - std::bit_width(static_cast<unsigned>(branch.currentKernel ^ kernel));
  for (int level = from; level < branch.depth; ++level)
    ComputeLevel(branch, level, branch.Sign(level, kernel));
  branch.currentKernel = kernel;
}

void beginPerCandidatePhase(Branch& branch) {
  if (++branch.epoch > 0xFFFF) {
    // The epoch lives in 16 bits: start over with every entry old.
    for (int level = 1; level <= branch.depth; ++level)
      std::memset(branch.cache[level].get(), 0,
                  sizeof(std::uint32_t) * static_cast<std::size_t>(branch.matrices[level]->size));
    branch.epoch = 1;
  }
  branch.phaseKernel = branch.currentKernel;
  // From here the levels hold values of several kernels: the next whole-source
  // computation starts from level 0.
  branch.currentKernel = -1;
}

std::int32_t computeKernelForWindow(Branch& branch, int kernel, int row, int col) {
  return ValueAt(branch, branch.depth, row, col, kernel);
}

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

  // Kernel 0: the window sums.
  auto started = Clock::now();
  computeKernelTopDown(b, 0);
  {
    const std::int32_t* last = b.matrices[b.depth]->cellValues.get();
    const std::int64_t p0 = s.patternProjections[0];
    const std::int64_t limit = a * p2;
    for (int w = 0; w < windows; ++w) {
      const std::int64_t diff = last[w] - p0;
      if (diff <= limit && diff >= -limit) {
        index.push_back(w);
        bound.push_back(diff * diff);
      }
    }
  }
  if (stats) {
    stats->candidatesAfterKernel.push_back(static_cast<int>(index.size()));
    stats->kernelZeroSeconds = Seconds(started);
  }
  float percent = percentOf(index.size());
  const std::int64_t limitB = a * a * p2 * p2;

  // Keeps the candidates whose bound stays within limitB, in order.
  auto filter = [&](auto projectionOf, int kernel) {
    const std::int64_t pk = s.patternProjections[kernel];
    std::size_t kept = 0;
    for (std::size_t n = 0; n < index.size(); ++n) {
      const std::int64_t diff = projectionOf(index[n]) - pk;
      const std::int64_t sum = bound[n] + diff * diff;
      if (sum <= limitB) {
        index[kept] = index[n];
        bound[kept] = sum;
        ++kept;
      }
    }
    index.resize(kept);
    bound.resize(kept);
    percent = percentOf(kept);
    if (stats) stats->candidatesAfterKernel.push_back(static_cast<int>(kept));
  };

  int i = 1;
  started = Clock::now();
  while (percent > s.bottomUpStartPercent && i < s.numOfBasis) {
    computeKernelTopDown(b, i);
    const std::int32_t* last = b.matrices[b.depth]->cellValues.get();
    filter([last](std::int32_t w) { return std::int64_t{last[w]}; }, i);
    ++i;
    if (stats) ++stats->topDownKernels;
  }
  if (stats) stats->topDownSeconds = Seconds(started);

  started = Clock::now();
  if (percent > s.distanceStartPercent && i < s.numOfBasis) {
    if (index.empty()) return 0;
    beginPerCandidatePhase(b);
    do {
      filter(
          [&b, wc, i](std::int32_t w) {
            return std::int64_t{computeKernelForWindow(b, i, w / wc, w % wc)};
          },
          i);
      ++i;
      if (stats) ++stats->perCandidateKernels;
    } while (percent > s.distanceStartPercent && i < s.numOfBasis);
    if (index.empty()) return 0;
  }
  if (stats) stats->perCandidateSeconds = Seconds(started);

  if (index.empty()) return 0;
  started = Clock::now();
  if (stats) stats->distanceCandidates = static_cast<int>(index.size());
  if (findDistance != 0) {
    // The best window whatever its distance; the first one on ties.
    std::int64_t best = INT64_MAX;
    for (const std::int32_t w : index) {
      const std::int64_t d = WindowDistance(s, w / wc, w % wc);
      if (d < best) {
        best = d;
        s.matches[0] = Match{w / wc, w % wc, d};
      }
    }
    s.numOfMatches = 1;
  } else {
    const std::int64_t accept = a * a * p2;
    for (const std::int32_t w : index) {
      const std::int64_t d = WindowDistance(s, w / wc, w % wc);
      if (d <= accept) s.matches[s.numOfMatches++] = Match{w / wc, w % wc, d};
    }
  }
  if (stats) stats->distanceSeconds = Seconds(started);
  return s.numOfMatches;
}

void ConvertToGrey(const std::uint8_t* picture, int pictureHeight, std::size_t stride, int left,
                   int top, int cols, int rows, std::uint8_t* out) {
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
