#include "vision/PixelTests.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VIREN_HAVE_AVX2_PATH 1
#endif

namespace viren {
namespace {

inline std::uint8_t AbsDiff(std::uint8_t a, std::uint8_t b) {
  return a > b ? static_cast<std::uint8_t>(a - b) : static_cast<std::uint8_t>(b - a);
}

// threshold in 1..255 here.
void DifferenceScalar(const std::uint8_t* __restrict frame, const std::uint8_t* __restrict ref,
                      std::size_t pixels, int threshold, std::uint8_t* __restrict out) {
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* f = frame + 3 * i;
    const std::uint8_t* r = ref + 3 * i;
    const int m = std::max({AbsDiff(f[0], r[0]), AbsDiff(f[1], r[1]), AbsDiff(f[2], r[2])});
    out[i] = m >= threshold ? 1 : 0;
  }
}

#ifdef VIREN_HAVE_AVX2_PATH
#define VIREN_AVX2 __attribute__((target("avx2")))

VIREN_AVX2 inline __m256i Load(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

VIREN_AVX2 inline __m256i AbsDiff(__m256i a, __m256i b) {
  return _mm256_sub_epi8(_mm256_max_epu8(a, b), _mm256_min_epu8(a, b));
}

// 32 pixels (96 bytes) a round. Each 128-bit lane holds 16 pixels in three
// registers; the per-pixel maximum of the three channel differences is formed
// with byte shifts inside the lane and gathered with one shuffle per register,
// so the lanes come out as 32 consecutive pixels.
// The largest of the three channel differences of each of 32 pixels, in
// pixel order, from their 96 bytes in c0..c2. The bytes are first regrouped so
// that each lane holds 48 consecutive bytes (16 pixels): lane 0 bytes 0..47,
// lane 1 48..95.
VIREN_AVX2 inline __m256i PixelMaxima(__m256i c0, __m256i c1, __m256i c2) {
  const __m256i idx0 = _mm256_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                        0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i idx1 =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                       -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m256i idx2 =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1,
                       -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m256i d0 = _mm256_permute2x128_si256(c0, c1, 0x30);
  const __m256i d1 = _mm256_permute2x128_si256(c0, c2, 0x21);
  const __m256i d2 = _mm256_permute2x128_si256(c1, c2, 0x30);
  const __m256i s0 = _mm256_max_epu8(
      d0, _mm256_max_epu8(_mm256_alignr_epi8(d1, d0, 1), _mm256_alignr_epi8(d1, d0, 2)));
  const __m256i s1 = _mm256_max_epu8(
      d1, _mm256_max_epu8(_mm256_alignr_epi8(d2, d1, 1), _mm256_alignr_epi8(d2, d1, 2)));
  const __m256i s2 =
      _mm256_max_epu8(d2, _mm256_max_epu8(_mm256_srli_si256(d2, 1), _mm256_srli_si256(d2, 2)));
  const __m256i g =
      _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(s0, idx0), _mm256_shuffle_epi8(s1, idx1)),
                      _mm256_shuffle_epi8(s2, idx2));
  return g;
}

VIREN_AVX2 std::size_t DifferenceAvx2(const std::uint8_t* frame, std::uint8_t* ref,
                                      std::size_t pixels, int threshold, std::uint8_t* out,
                                      bool keep) {
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(threshold));
  const __m256i one = _mm256_set1_epi8(1);
  std::size_t i = 0;
  for (; i + 32 <= pixels; i += 32) {
    const std::uint8_t* f = frame + 3 * i;
    std::uint8_t* r = ref + 3 * i;
    // Contiguous loads; the differences are then regrouped so that each lane
    // holds 48 consecutive bytes (16 pixels): lane 0 bytes 0..47, lane 1 48..95.
    const __m256i c0 = AbsDiff(Load(f), Load(r));
    const __m256i c1 = AbsDiff(Load(f + 32), Load(r + 32));
    const __m256i c2 = AbsDiff(Load(f + 64), Load(r + 64));
    const __m256i g = PixelMaxima(c0, c1, c2);
    const __m256i set = _mm256_cmpeq_epi8(_mm256_max_epu8(g, limit), g);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_and_si256(set, one));
    if (keep) {
      for (int k = 0; k < 3; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + 32 * k), Load(f + 32 * k));
    }
  }
  return i;
}

bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void Difference(const std::uint8_t* frame, std::uint8_t* ref, std::size_t pixels, int threshold,
                std::uint8_t* out, bool keep) {
  if (pixels == 0) return;
  if (threshold <= 0 || threshold > 255) {
    // Every difference is at least 0; none reaches 256.
    std::memset(out, threshold <= 0 ? 1 : 0, pixels);
    if (keep) std::memcpy(ref, frame, pixels * 3);
    return;
  }
  std::size_t done = 0;
#ifdef VIREN_HAVE_AVX2_PATH
  if (CpuHasAvx2()) done = DifferenceAvx2(frame, ref, pixels, threshold, out, keep);
#endif
  DifferenceScalar(frame + 3 * done, ref + 3 * done, pixels - done, threshold, out + done);
  if (keep) std::memcpy(ref + 3 * done, frame + 3 * done, (pixels - done) * 3);
}

// --- difference and erosion in one pass, on rows of bits -----------------------
// A row of the difference image is kept as bits, 32 pixels a word (bit j of
// word k is column 32 k + j); bits past the row's end are 0.

// Bits of one row's difference test; with `keep` the frame row replaces the
// reference row. threshold in 1..255.
void DifferenceBitsScalar(const std::uint8_t* frame, std::uint8_t* ref, int from, int width,
                          int threshold, std::uint32_t* bits, bool keep) {
  for (int i = from; i < width; ++i) {
    const std::uint8_t* f = frame + 3 * i;
    std::uint8_t* r = ref + 3 * i;
    const int m = std::max({AbsDiff(f[0], r[0]), AbsDiff(f[1], r[1]), AbsDiff(f[2], r[2])});
    if (m >= threshold) bits[i / 32] |= std::uint32_t{1} << (i % 32);
    if (keep) {
      r[0] = f[0];
      r[1] = f[1];
      r[2] = f[2];
    }
  }
}

#ifdef VIREN_HAVE_AVX2_PATH
// 32 pixels a round as DifferenceAvx2, but a round whose 96 bytes all differ
// by less than the threshold (most of a frame) is settled without the
// regrouping, and the result is a word of bits. Returns the pixels done.
VIREN_AVX2 int DifferenceBitsAvx2(const std::uint8_t* frame, std::uint8_t* ref, int width,
                                  int threshold, std::uint32_t* bits, bool keep) {
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(threshold));
  const __m256i below = _mm256_set1_epi8(static_cast<char>(threshold - 1));
  int i = 0;
  for (; i + 32 <= width; i += 32) {
    const std::uint8_t* f = frame + 3 * i;
    std::uint8_t* r = ref + 3 * i;
    const __m256i f0 = Load(f), f1 = Load(f + 32), f2 = Load(f + 64);
    const __m256i c0 = AbsDiff(f0, Load(r));
    const __m256i c1 = AbsDiff(f1, Load(r + 32));
    const __m256i c2 = AbsDiff(f2, Load(r + 64));
    if (keep) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(r), f0);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + 32), f1);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + 64), f2);
    }
    const __m256i over = _mm256_subs_epu8(_mm256_max_epu8(_mm256_max_epu8(c0, c1), c2), below);
    if (_mm256_testz_si256(over, over)) {
      bits[i / 32] = 0;
      continue;
    }
    const __m256i g = PixelMaxima(c0, c1, c2);
    const __m256i set = _mm256_cmpeq_epi8(_mm256_max_epu8(g, limit), g);
    bits[i / 32] = static_cast<std::uint32_t>(_mm256_movemask_epi8(set));
  }
  return i;
}

// 32 bytes of 0/1 from a word of bits.
VIREN_AVX2 void ExpandBitsAvx2(const std::uint32_t* bits, int words, std::uint8_t* out) {
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2,
                                          2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i select = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  const __m256i one = _mm256_set1_epi8(1);
  for (int k = 0; k < words; ++k) {
    // Without a branch: busy rows mix empty and full words unpredictably.
    const __m256i v = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits[k])), spread);
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(out + 32 * k),
        _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_and_si256(v, select), select), one));
  }
}
#endif

// The bits of a row whose columns each stay set only when they and both
// neighbours are set; columns 0, 1, width - 2 and width - 1 never do (the
// outermost columns are cleared before the erosion).
void RowMinimumBits(const std::uint32_t* in, std::uint32_t* out, int width) {
  const int words = (width + 31) / 32;
  std::uint32_t prev = 0;  // the last bit of the word before
  for (int k = 0; k + 1 < words; ++k) {
    const std::uint32_t x = in[k];
    out[k] = x & ((x << 1) | prev) & ((x >> 1) | (in[k + 1] << 31));
    prev = x >> 31;
  }
  const std::uint32_t x = in[words - 1];
  out[words - 1] = x & ((x << 1) | prev) & (x >> 1);
  for (const int c : {0, 1, width - 2, width - 1}) out[c / 32] &= ~(std::uint32_t{1} << (c % 32));
}

}  // namespace

int DifferenceThreshold(int diffLevel, int width) {
  // The threshold grows with the picture's width, which suits the 320- and
  // 640-wide cameras the level was tuned on; unbounded, the default level
  // asks for a difference above 255 from 2560 pixels on and no car is ever
  // found. Wider pictures are treated as 1280 wide (128 at the default
  // level, the contrast a car on a table still has), and no level asks for
  // more than the largest difference a byte can hold.
  const int w = std::min(width, kThresholdWidthLimit);
  return std::min((100 - diffLevel) * w / 100, 255);
}

void DifferenceTest(const std::uint8_t* frame, const std::uint8_t* reference, std::size_t pixels,
                    int threshold, std::uint8_t* out) {
  Difference(frame, const_cast<std::uint8_t*>(reference), pixels, threshold, out, false);
}

void DifferenceTestAndKeep(const std::uint8_t* frame, std::uint8_t* reference, std::size_t pixels,
                           int threshold, std::uint8_t* out) {
  Difference(frame, reference, pixels, threshold, out, true);
}

void MarkerTest(const std::uint8_t* frame, const std::uint8_t* diff, std::size_t pixels,
                int markerCheck, int markerLevel, std::uint8_t* out) {
  // Byte order in the frame: blue 0, green 1, red 2.
  const int main = markerCheck == 1 ? 2 : markerCheck == 2 ? 1 : 0;
  const int other1 = main == 0 ? 1 : 0;
  const int other2 = main == 2 ? 1 : 2;
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = frame + 3 * i;
    const int v = int{p[main]} - int{p[other1]} - int{p[other2]};
    out[i] = diff[i] != 0 && v > markerLevel ? 1 : 0;
  }
}

void DifferenceErode(const std::uint8_t* frame, std::uint8_t* reference, int width, int height,
                     int threshold, std::uint8_t* out, std::uint8_t* rowSet, std::uint32_t* rows,
                     bool keep, std::uint8_t* raw) {
  if (width <= 0 || height <= 0) return;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  if (width < 3 || height < 3) {
    if (raw != nullptr) Difference(frame, reference, w * h, threshold, raw, false);
    std::memset(rowSet, 0, h);
    std::memset(out, 0, w * h);
    if (keep) std::memcpy(reference, frame, w * h * 3);
    return;
  }
  // The outermost rows are cleared before the erosion, so rows 1 and
  // height - 2 (next to them) never survive; the reference still takes them.
  std::memset(out, 0, 2 * w);
  std::memset(out + (h - 2) * w, 0, 2 * w);
  for (const std::size_t r : {std::size_t{0}, std::size_t{1}, h - 2, h - 1}) rowSet[r] = 0;
  if (keep && raw == nullptr) {
    std::memcpy(reference, frame, w * 3);
    std::memcpy(reference + (h - 1) * w * 3, frame + (h - 1) * w * 3, w * 3);
  }
  const int words = (width + 31) / 32;
  std::uint32_t* diff = rows;
  std::uint32_t* mins[3] = {rows + words, rows + 2 * words, rows + 3 * words};
#ifdef VIREN_HAVE_AVX2_PATH
  const bool avx2 = CpuHasAvx2();
#endif
  auto differenceBits = [&](int r) {
    const std::size_t at = static_cast<std::size_t>(r) * w * 3;
    const std::uint8_t* f = frame + at;
    std::uint8_t* ref = reference + at;
    std::fill(diff, diff + words, 0u);
    if (threshold <= 0 || threshold > 255) {
      // Every difference is at least 0; none reaches 256.
      if (threshold <= 0)
        for (int c = 0; c < width; ++c) diff[c / 32] |= std::uint32_t{1} << (c % 32);
      if (keep) std::memcpy(ref, f, w * 3);
      return;
    }
    int done = 0;
#ifdef VIREN_HAVE_AVX2_PATH
    if (avx2) done = DifferenceBitsAvx2(f, ref, width, threshold, diff, keep);
#endif
    DifferenceBitsScalar(f, ref, done, width, threshold, diff, keep);
  };
  // 0/1 bytes of a row of bits.
  auto expand = [&](const std::uint32_t* bits, std::uint8_t* row) {
    int k = 0;
#ifdef VIREN_HAVE_AVX2_PATH
    if (avx2) {
      k = width / 32;
      ExpandBitsAvx2(bits, k, row);
    }
#endif
    for (int col = 32 * k; col < width; ++col) row[col] = (bits[col / 32] >> (col % 32)) & 1;
  };
  // The image before the erosion, when asked for, is written as each row's
  // test is done; the outermost rows are tested for it alone.
  auto rawRow = [&](int r) {
    if (raw != nullptr) expand(diff, raw + static_cast<std::size_t>(r) * w);
  };
  if (raw != nullptr) {
    differenceBits(0);
    rawRow(0);
  }
  // Three rows in flight: the minima of rows r - 2, r - 1 and r give row
  // r - 1 of the result, the only whole image written. Rows without a set
  // bit (most of a frame) are only noted as such.
  bool minsAny[3] = {false, false, false};
  for (int r = 1; r <= height - 2; ++r) {
    differenceBits(r);
    rawRow(r);
    std::uint32_t setBits = 0;
    for (int k = 0; k < words; ++k) setBits |= diff[k];
    minsAny[r % 3] = setBits != 0;
    if (setBits != 0) RowMinimumBits(diff, mins[r % 3], width);
    if (r < 3) continue;
    std::uint8_t* row = out + static_cast<std::size_t>(r - 1) * w;
    // A row left empty before (most of them) need not be written again.
    const bool written = rowSet[r - 1] != 0;
    rowSet[r - 1] = 0;
    std::uint32_t any = 0;
    std::uint32_t* eroded = diff;  // free again until the next row
    if (minsAny[0] && minsAny[1] && minsAny[2]) {
      const std::uint32_t* a = mins[(r - 2) % 3];
      const std::uint32_t* b = mins[(r - 1) % 3];
      const std::uint32_t* c = mins[r % 3];
      for (int k = 0; k < words; ++k) {
        eroded[k] = a[k] & b[k] & c[k];
        any |= eroded[k];
      }
    }
    if (any == 0) {
      if (written) std::memset(row, 0, w);
      continue;
    }
    rowSet[r - 1] = 1;
    expand(eroded, row);
  }
  if (raw != nullptr) {
    differenceBits(height - 1);
    rawRow(height - 1);
  }
}

}  // namespace viren
