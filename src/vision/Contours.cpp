#include "vision/Contours.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace viren {
namespace {

// The erosion loops are plain byte loops that the compiler vectorizes; where
// the processor has AVX2 they run twice as wide.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VIREN_WIDE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define VIREN_WIDE_LOOP
#endif

// Horizontal 3-pixel minimum of one row; the end columns stay 0 because the
// image's outermost columns are 0 by the time this runs.
VIREN_WIDE_LOOP void HorizontalMin(const std::uint8_t* __restrict row, std::uint8_t* __restrict out,
                                   int width) {
  out[0] = 0;
  out[width - 1] = 0;
  for (int c = 1; c < width - 1; ++c) out[c] = std::min(std::min(row[c - 1], row[c]), row[c + 1]);
}

// Vertical minimum of three horizontal-minimum rows into a 0/1 row; returns
// whether anything in it is set.
VIREN_WIDE_LOOP bool VerticalMin(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b,
                                 const std::uint8_t* __restrict c, std::uint8_t* __restrict out,
                                 int width) {
  std::uint8_t any = 0;
  for (int x = 0; x < width; ++x) {
    const std::uint8_t v = std::min(std::min(a[x], b[x]), c[x]) != 0 ? 1 : 0;
    out[x] = v;
    any |= v;
  }
  return any != 0;
}

void ClearBorder(std::uint8_t* image, int width, int height) {
  std::memset(image, 0, static_cast<size_t>(width));
  std::memset(image + static_cast<size_t>(height - 1) * width, 0, static_cast<size_t>(width));
  for (int r = 1; r < height - 1; ++r) {
    image[static_cast<size_t>(r) * width] = 0;
    image[static_cast<size_t>(r) * width + width - 1] = 0;
  }
}

// A pixel stays set when it and its eight neighbours are set. Works in place
// with three rows of horizontal minima taken before their rows are rewritten.
void Erode(std::uint8_t* image, int width, int height, VectorizeScratch& scratch) {
  scratch.rowMins.resize(static_cast<size_t>(width) * 3);
  std::uint8_t* mins[3] = {scratch.rowMins.data(), scratch.rowMins.data() + width,
                           scratch.rowMins.data() + 2 * width};
  auto row = [&](int r) { return image + static_cast<size_t>(r) * width; };
  HorizontalMin(row(0), mins[0], width);
  HorizontalMin(row(1), mins[1], width);
  for (int r = 1; r < height - 1; ++r) {
    std::uint8_t* above = mins[(r + 1) % 3];
    HorizontalMin(row(r + 1), above, width);
    scratch.rowSet[r] = VerticalMin(mins[(r - 1) % 3], mins[r % 3], above, row(r), width);
  }
  // Interior rows next to the border see the cleared border rows: nothing
  // survives there, and the columns next to the border likewise.
}

void MarkSetRows(const std::uint8_t* image, int width, int height, VectorizeScratch& scratch) {
  for (int r = 1; r < height - 1; ++r) {
    const std::uint8_t* p = image + static_cast<size_t>(r) * width;
    std::uint8_t any = 0;
    for (int c = 0; c < width; ++c) any |= p[c];
    scratch.rowSet[r] = any != 0;
  }
}

// Bit j: pixel p[j] is 1 and one of its four direct neighbours is 0 (a
// boundary pixel where a trace may start), for the first `count` (<= 16)
// pixels from p; `w` is the row length. Reads p[-1] .. p[count] and the rows
// above and below.
std::uint32_t StartCandidates(const std::uint8_t* p, int w, int count) {
#if defined(__SSE2__)
  if (count == 16) {
    auto load = [](const std::uint8_t* q) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i centre = load(p);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(centre, zero)) == 0xFFFF) return 0;
    const __m128i open = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(load(p - 1), zero), _mm_cmpeq_epi8(load(p + 1), zero)),
        _mm_or_si128(_mm_cmpeq_epi8(load(p - w), zero), _mm_cmpeq_epi8(load(p + w), zero)));
    const __m128i one = _mm_cmpeq_epi8(centre, _mm_set1_epi8(1));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_and_si128(one, open)));
  }
#endif
  std::uint32_t bits = 0;
  for (int j = 0; j < count; ++j)
    if (p[j] == 1 && (p[j - 1] == 0 || p[j + 1] == 0 || p[j - w] == 0 || p[j + w] == 0))
      bits |= std::uint32_t{1} << j;
  return bits;
}

}  // namespace

int VectorizeImage(std::uint8_t* image, int width, int height, int& total, int* counts,
                   Point* vertices, int maxContours, int maxPoints, bool erode,
                   VectorizeScratch& scratch) {
  total = 0;
  if (image == nullptr || width < 3 || height < 3) return 0;
  if (maxPoints < 2) return -1;  // not even a one-pixel chain fits

  ClearBorder(image, width, height);
  scratch.rowSet.assign(static_cast<size_t>(height), 0);
  if (erode)
    Erode(image, width, height, scratch);
  else
    MarkSetRows(image, width, height, scratch);
  return TraceContours(image, width, height, total, counts, vertices, maxContours, maxPoints,
                       scratch);
}

int TraceContours(std::uint8_t* image, int width, int height, int& total, int* counts,
                  Point* vertices, int maxContours, int maxPoints, VectorizeScratch& scratch) {
  total = 0;
  if (image == nullptr || width < 3 || height < 3) return 0;
  if (maxPoints < 2) return -1;
  if (scratch.chain.size() < static_cast<size_t>(maxPoints)) scratch.chain.resize(maxPoints);
  std::int32_t* chain = scratch.chain.data();

  // Offsets of the eight directions: 0 right, then turning through the rows
  // below (memory row - 1), left, and the rows above.
  const int w = width;
  const int step[8] = {1, -w + 1, -w, -w - 1, -1, w - 1, w, w + 1};
  int kept = 0;

  for (int r = 1; r < height - 1; ++r) {
    if (!scratch.rowSet[r]) continue;
    const std::uint8_t* rowStart = image + static_cast<size_t>(r) * w;
    for (int block = 1; block < width - 1; block += 16) {
      // The pixels of this block that can start a trace, in column order.
      // Whether a pixel has a background neighbour never changes while
      // tracing (marks only turn set pixels into other set values), so the
      // mask stays true; a pixel traced meanwhile is no longer 1.
      std::uint32_t starts = StartCandidates(rowStart + block, w, std::min(16, width - 1 - block));
      for (; starts != 0; starts &= starts - 1) {
        const int c = block + std::countr_zero(starts);
        const int s = r * w + c;
        if (image[s] != 1) continue;
        int d0;
        if (image[s + w] == 0)
          d0 = 6;
        else if (image[s - 1] == 0)
          d0 = 4;
        else if (image[s - w] == 0)
          d0 = 2;
        else if (image[s + 1] == 0)
          d0 = 0;
        else
          continue;  // inside a region

        int n = 0;
        bool isolated = true;
        for (int k = 0; k < 8; ++k)
          if (image[s + step[k]] != 0) {
            isolated = false;
            break;
          }
        if (isolated) {
          chain[n++] = s;
          image[s] = 2;
        } else {
          int cur = s;
          int d = (d0 - 4) & 7;
          int firstDir = -1;
          for (;;) {
            chain[n++] = cur;
            image[cur] = 3;
            if (n >= maxPoints - 1) {
              total = 0;
              return -1;
            }
            d = (d - 4) & 7;
            do {
              d = (d + 1) & 7;
            } while (image[cur + step[d]] == 0);
            if (firstDir >= 0 && cur == s && d == firstDir) break;
            if (firstDir < 0) firstDir = d;
            cur += step[d];
          }
        }

        // Vertices: the first two points, every point where the step changes,
        // and the last point.
        auto isTurn = [&](int i) { return chain[i] - chain[i - 1] != chain[i + 1] - chain[i]; };
        int vertexCount = 1;
        if (n >= 3) {
          vertexCount = 3;
          for (int i = 2; i <= n - 2; ++i) vertexCount += isTurn(i) ? 1 : 0;
        }
        if (kept >= maxContours - 1 || vertexCount < 4 || total + vertexCount >= maxPoints)
          continue;

        Point* out = vertices + total;
        auto put = [&](int offset) { *out++ = Point{offset % w, height - 1 - offset / w}; };
        put(chain[0]);
        put(chain[1]);
        for (int i = 2; i <= n - 2; ++i)
          if (isTurn(i)) put(chain[i]);
        put(chain[n - 1]);
        counts[kept++] = vertexCount;
        total += vertexCount;
      }
    }
  }
  return kept;
}

int VectorizeImage(std::uint8_t* image, int width, int height, int& total, int* counts,
                   Point* vertices, int maxContours, int maxPoints, bool erode) {
  VectorizeScratch scratch;
  return VectorizeImage(image, width, height, total, counts, vertices, maxContours, maxPoints,
                        erode, scratch);
}

Point PolygonCentroid(const Point* points, int count) {
  if (points == nullptr || count < 3) return Point{-1, -1};
  // Exact integer sums of twice the triangle areas, so that a centroid on a
  // whole pixel comes out as that pixel and not one less after truncation.
  const std::int64_t x0 = points[0].x;
  const std::int64_t y0 = points[0].y;
  std::int64_t area2 = 0;
  std::int64_t sumX = 0;
  std::int64_t sumY = 0;
  for (int i = 1; i <= count - 2; ++i) {
    const std::int64_t xi = points[i].x, yi = points[i].y;
    const std::int64_t xj = points[i + 1].x, yj = points[i + 1].y;
    std::int64_t a2 = (xi - x0) * (yj - y0) - (yi - y0) * (xj - x0);
    if (a2 < 0) a2 = -a2;
    area2 += a2;
    sumX += a2 * (x0 + xi + xj);
    sumY += a2 * (y0 + yi + yj);
  }
  if (area2 == 0) {
    std::int64_t sx = 0, sy = 0;
    for (int i = 0; i < count; ++i) {
      sx += points[i].x;
      sy += points[i].y;
    }
    return Point{static_cast<std::int32_t>(sx / count), static_cast<std::int32_t>(sy / count)};
  }
  return Point{static_cast<std::int32_t>(sumX / (3 * area2)),
               static_cast<std::int32_t>(sumY / (3 * area2))};
}

Point CombineCentroids(const Point* vertices, const int* counts, int contourCount,
                       Point* centroids) {
  if (contourCount <= 0) return Point{-1, -1};
  const Point* p = vertices;
  for (int k = 0; k < contourCount; ++k) {
    centroids[k] = PolygonCentroid(p, counts[k]);
    p += counts[k];
  }
  if (contourCount == 1) return centroids[0];
  if (contourCount == 2)
    return Point{(centroids[0].x + centroids[1].x) / 2, (centroids[0].y + centroids[1].y) / 2};
  return PolygonCentroid(centroids, contourCount);
}

}  // namespace viren
