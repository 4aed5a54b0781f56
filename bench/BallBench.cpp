// The ball search (projection-kernel matcher) against the exhaustive search
// on seeded synthetic frames with the pattern cut from a known place.
//
// Peers in the same run: exhaustive integer SSD built scalar (vectorisation
// switched off for that function) and vectorised (the compiler's own vector
// code at -O3), and, when OpenCV is installed, cv::matchTemplate(TM_SQDIFF)
// single-threaded. The matcher is timed through BallMatcher::FindBall, that
// is with the grey conversion of the 24-bit frame included; the peers get the
// grey frame ready-made.
//
// Before any timing, a correctness gate: on every case the matcher's window
// must be the exhaustive SSD minimum whenever that minimum lies within the
// threshold; the program stops with status 1 otherwise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ball/BallMatcher.h"
#include "ball/PatternMatcher.h"

#ifdef VIREN_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using viren::BallMatcher;
using viren::Rect;

struct Case {
  std::string name;
  int width = 0;
  int height = 0;
  int p = 0;
  int threshold = 75;                 // rejectThreshold's default
  std::vector<std::uint8_t> grey;     // top-down
  std::vector<std::uint8_t> frame;    // bottom-up BGR
  std::vector<std::uint8_t> pattern;  // P x P
  int plantedRow = -1;
  int plantedCol = -1;
};

std::vector<std::uint8_t> Textured(int w, int h, std::mt19937& rng) {
  // A cluttered table top: a slow gradient under many small objects of every
  // grey, with fine texture.
  std::vector<std::uint8_t> g(static_cast<std::size_t>(w) * h);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> v(g.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<std::size_t>(y) * w + x] = 90 + 40.0 * x / w + 30.0 * y / h;
  const int objects = w * h / 150;
  for (int n = 0; n < objects; ++n) {
    const double cx = u(rng) * w, cy = u(rng) * h, r = 2 + u(rng) * 9, grey = u(rng) * 255;
    for (int y = std::max(0, int(cy - r)); y < std::min(h, int(cy + r) + 1); ++y)
      for (int x = std::max(0, int(cx - r)); x < std::min(w, int(cx + r) + 1); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r)
          v[static_cast<std::size_t>(y) * w + x] = grey;
  }
  std::normal_distribution<double> fine(0.0, 4.0);
  for (std::size_t i = 0; i < g.size(); ++i)
    g[i] = static_cast<std::uint8_t>(std::clamp(v[i] + fine(rng), 0.0, 255.0));
  return g;
}

std::vector<std::uint8_t> ToFrame(const std::vector<std::uint8_t>& grey, int w, int h) {
  std::vector<std::uint8_t> f(grey.size() * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* px = f.data() + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
      px[0] = px[1] = px[2] = grey[static_cast<std::size_t>(y) * w + x];
    }
  return f;
}

std::vector<std::uint8_t> CutSquare(const std::vector<std::uint8_t>& g, int w, int left, int top,
                                    int p) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(p) * p);
  for (int y = 0; y < p; ++y)
    std::copy_n(g.data() + static_cast<std::size_t>(top + y) * w + left, p,
                out.data() + static_cast<std::size_t>(y) * p);
  return out;
}

// input: "s0", "s5", "s10", "s20" (noise sigma after cutting), "absent",
// "flat" (flat frame, textured pattern), "flatsame" (flat frame and pattern:
// every window survives every bound, the worst case).
Case MakeCase(int w, int h, int p, const std::string& input, int threshold, unsigned seed) {
  Case c;
  c.name = std::to_string(w) + "x" + std::to_string(h) + "/P" + std::to_string(p) + "/" + input +
           "/a" + std::to_string(threshold);
  c.threshold = threshold;
  c.width = w;
  c.height = h;
  c.p = p;
  std::mt19937 rng(seed);
  if (input == "flat" || input == "flatsame") {
    c.grey.assign(static_cast<std::size_t>(w) * h, 128);
    if (input == "flatsame") {
      c.pattern.assign(static_cast<std::size_t>(p) * p, 128);
    } else {
      const auto other = Textured(w, h, rng);
      c.pattern = CutSquare(other, w, w / 3, h / 3, p);
    }
  } else {
    c.grey = Textured(w, h, rng);
    if (input == "absent") {
      const auto other = Textured(w, h, rng);
      c.pattern = CutSquare(other, w, w / 2, h / 2, p);
    } else {
      c.plantedCol = static_cast<int>(rng() % (w - p + 1));
      c.plantedRow = static_cast<int>(rng() % (h - p + 1));
      c.pattern = CutSquare(c.grey, w, c.plantedCol, c.plantedRow, p);
      const double sigma = std::stod(input.substr(1));
      std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
      if (sigma > 0)
        for (auto& v : c.grey)
          v = static_cast<std::uint8_t>(std::clamp(v + noise(rng), 0.0, 255.0));
    }
  }
  c.frame = ToFrame(c.grey, w, h);
  return c;
}

struct Best {
  int row = 0;
  int col = 0;
  std::int64_t distance = INT64_MAX;
};

// The exhaustive search, one body for both builds.
#define VIREN_SSD_BODY                                                                           \
  Best best;                                                                                     \
  for (int r = 0; r + c.p <= c.height; ++r)                                                      \
    for (int col = 0; col + c.p <= c.width; ++col) {                                             \
      std::int64_t d = 0;                                                                        \
      for (int y = 0; y < c.p; ++y) {                                                            \
        const std::uint8_t* a = c.grey.data() + static_cast<std::size_t>(r + y) * c.width + col; \
        const std::uint8_t* b = c.pattern.data() + static_cast<std::size_t>(y) * c.p;            \
        std::int32_t s = 0;                                                                      \
        for (int x = 0; x < c.p; ++x) {                                                          \
          const std::int32_t e = static_cast<std::int32_t>(a[x]) - b[x];                         \
          s += e * e;                                                                            \
        }                                                                                        \
        d += s;                                                                                  \
      }                                                                                          \
      if (d < best.distance) best = Best{r, col, d};                                             \
    }                                                                                            \
  return best;

__attribute__((noinline, optimize("no-tree-vectorize", "no-tree-slp-vectorize"))) Best
ExhaustiveScalar(const Case& c) {
  VIREN_SSD_BODY
}

__attribute__((noinline, optimize("O3"))) Best ExhaustiveVector(const Case& c){VIREN_SSD_BODY}
#ifdef VIREN_BENCH_OPENCV
Best OpenCvSqDiff(const Case& c, cv::Mat& result) {
  const cv::Mat image(c.height, c.width, CV_8UC1, const_cast<std::uint8_t*>(c.grey.data()));
  const cv::Mat templ(c.p, c.p, CV_8UC1, const_cast<std::uint8_t*>(c.pattern.data()));
  cv::matchTemplate(image, templ, result, cv::TM_SQDIFF);
  double minValue = 0;
  cv::Point at;
  cv::minMaxLoc(result, &minValue, nullptr, &at, nullptr);
  return Best{at.y, at.x, static_cast<std::int64_t>(std::llround(minValue))};
}
#endif

std::vector<Case>& Cases() {
  static std::vector<Case> cases;
  return cases;
}

bool Gate(const Case& c, std::string& report) {
  BallMatcher matcher;
  Rect rect;
  viren::wh::SearchStats stats;
  // The split is taken from a second search: the first one pays for the
  // set-up and for touching fresh memory.
  matcher.FindBall(c.frame.data(), c.width, c.height, static_cast<std::size_t>(c.width) * 3,
                   c.pattern.data(), c.p, c.threshold, rect);
  const int found =
      matcher.FindBall(c.frame.data(), c.width, c.height, static_cast<std::size_t>(c.width) * 3,
                       c.pattern.data(), c.p, c.threshold, rect, &stats);
  const Best best = ExhaustiveVector(c);
  const bool within = best.distance <= std::int64_t{c.threshold} * c.threshold * c.p * c.p;
  bool ok = true;
  if (within) ok = found == 1 && rect.top == best.row && rect.left == best.col;
  char line[512];
  auto share = [&stats](std::size_t k) {
    const auto& v = stats.candidatesAfterKernel;
    const int n = v.empty() ? 0 : (k < v.size() ? v[k] : v.back());
    return 100.0 * n / stats.windows;
  };
  const double total = stats.kernelZeroSeconds + stats.topDownSeconds + stats.perCandidateSeconds +
                       stats.distanceSeconds;
  auto part = [total](double s) { return total > 0 ? 100.0 * s / total : 0.0; };
  std::snprintf(line, sizeof line,
                "| %-24s | %s | %s | %6.2f | %6.3f | %6.3f | %6.3f | %6.3f | %6.3f | %2d+%-2d | "
                "%6d (%6d)%s | "
                "%4.0f/%4.0f/%4.0f/%4.0f | %6.0f |\n",
                c.name.c_str(), found ? "found " : "none  ", within ? "yes" : "no ", share(0),
                share(1), share(2), share(4), share(8), share(16), stats.topDownKernels,
                stats.perCandidateKernels, stats.distanceCandidates, stats.distancesMeasured,
                stats.correlated ? "f" : " ", part(stats.kernelZeroSeconds),
                part(stats.topDownSeconds), part(stats.perCandidateSeconds),
                part(stats.distanceSeconds), total * 1e6);
  report += line;
  if (!ok)
    std::fprintf(stderr, "GATE FAILED %s: matcher %d (%d,%d), exhaustive (%d,%d) d=%lld\n",
                 c.name.c_str(), found, rect.top, rect.left, best.row, best.col,
                 static_cast<long long>(best.distance));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef VIREN_BENCH_OPENCV
  cv::setNumThreads(1);
#endif
  struct Size {
    int w, h, p;
  };
  const Size sizes[] = {{320, 240, 32}, {320, 240, 16}, {640, 480, 64}};
  const char* inputs[] = {"s0", "s5", "s10", "s20", "absent", "flat", "flatsame"};
  unsigned seed = 7;
  for (const int threshold : {20, 75})
    for (const Size& s : sizes)
      for (const char* input : inputs)
        Cases().push_back(MakeCase(s.w, s.h, s.p, input, threshold, ++seed));

  std::string report =
      "| case | matcher | min within | %left k0 | k1 | k2 | k4 | k8 | k16 | kernels td+pc | "
      "distances (measured; f: FFT cross terms) | time % k0/td/pc/dist | search µs "
      "|\n|---|---|---|---:|---:|---:|---:|---:|---:|---|---:|---|---:|\n";
  bool allOk = true;
  for (const Case& c : Cases()) allOk = Gate(c, report) && allOk;
  std::fputs(report.c_str(), stdout);
  if (!allOk) return 1;
  std::puts("correctness gate: passed on every case");

  for (const Case& c : Cases()) {
    benchmark::RegisterBenchmark(("viren/" + c.name).c_str(), [&c](benchmark::State& state) {
      BallMatcher matcher;
      Rect rect;
      for (auto _ : state) {
        benchmark::DoNotOptimize(matcher.FindBall(c.frame.data(), c.width, c.height,
                                                  static_cast<std::size_t>(c.width) * 3,
                                                  c.pattern.data(), c.p, c.threshold, rect));
      }
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("ssd_vector/" + c.name).c_str(), [&c](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(ExhaustiveVector(c));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("ssd_scalar/" + c.name).c_str(), [&c](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(ExhaustiveScalar(c));
    })->Unit(benchmark::kMicrosecond);
#ifdef VIREN_BENCH_OPENCV
    benchmark::RegisterBenchmark(("opencv/" + c.name).c_str(), [&c](benchmark::State& state) {
      cv::Mat result;
      for (auto _ : state) benchmark::DoNotOptimize(OpenCvSqDiff(c, result));
    })->Unit(benchmark::kMicrosecond);
#endif
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
