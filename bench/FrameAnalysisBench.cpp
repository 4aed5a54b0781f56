// The frame analysis measured on synthetic frame pairs: difference test,
// erosion, contour tracing and centroids, against the cost of merely reading
// both frames and, when OpenCV is present, against the same steps in OpenCV.
//
// Inputs (seeded, so every run sees the same frames):
//   a  textured table, noise sigma 5, one to three car-sized blobs moving
//   b  stress: noise sigma 20 and many small moving blobs, up to the limits
//      of 31 contours and 4096 vertices
//   c  nothing moves: the frame equals its reference
// "hot" repeats one pair (it stays in the caches); "cold" walks through more
// pairs than the last-level cache holds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "settings/Settings.h"
#include "vision/CFrameAnalyser.h"
#include "vision/Contours.h"
#include "vision/PixelTests.h"

#ifdef VIREN_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {
std::atomic<long> gAllocations{0};
}

// The replacements pair malloc with free; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using viren::Point;

constexpr int kDiffLevel = 90;
constexpr std::size_t kColdBytes = 96u << 20;  // three times a 32 MB last-level cache

struct Pair {
  std::vector<std::uint8_t> frame;
  std::vector<std::uint8_t> reference;
};

struct Scene {
  int width = 0;
  int height = 0;
  std::vector<Pair> pairs;  // hot: one; cold: many copies in separate memory
};

enum Input { kTypical, kStress, kEmpty };
const char* kInputNames[] = {"a", "b", "c"};

std::uint8_t Clamp(double v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

std::vector<std::uint8_t> Table(int w, int h) {
  std::vector<std::uint8_t> f(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        f[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
            Clamp(110 + 40 * std::sin(x * 0.05 + c) * std::cos(y * 0.07) + (x * 31 + y * 17) % 23);
  return f;
}

void AddNoise(std::vector<std::uint8_t>& f, double sigma, std::mt19937& rng) {
  std::normal_distribution<double> noise(0.0, sigma);
  for (auto& b : f) b = Clamp(b + noise(rng));
}

// A car-like blob: a body of one colour with a dark band across it.
void DrawBlob(std::vector<std::uint8_t>& f, int w, int h, int x0, int y0, int bw, int bh,
              const std::uint8_t colour[3]) {
  for (int y = std::max(0, y0); y < std::min(h, y0 + bh); ++y)
    for (int x = std::max(0, x0); x < std::min(w, x0 + bw); ++x) {
      const bool band = x - x0 >= bw / 2 && x - x0 < bw / 2 + bw / 5;
      for (int c = 0; c < 3; ++c)
        f[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
            band ? static_cast<std::uint8_t>(colour[c] / 4) : colour[c];
    }
}

Pair MakePair(Input input, int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  const std::vector<std::uint8_t> table = Table(w, h);
  Pair p{table, table};
  if (input == kEmpty) {
    AddNoise(p.frame, 5.0, rng);
    p.reference = p.frame;
    return p;
  }
  const int scale = w / 320;
  const bool stress = input == kStress;
  const int blobs = stress ? 40 : 1 + static_cast<int>(rng() % 3);
  std::uniform_int_distribution<int> step(stress ? 3 : 4, stress ? 6 : 8);
  for (int k = 0; k < blobs; ++k) {
    const int bw = (stress ? 8 + static_cast<int>(rng() % 7) : 40) * scale / (stress ? 1 : 2);
    const int bh = (stress ? 8 + static_cast<int>(rng() % 7) : 28) * scale / (stress ? 1 : 2);
    const int x = 10 + static_cast<int>(rng() % static_cast<unsigned>(w - bw - 30));
    const int y = 10 + static_cast<int>(rng() % static_cast<unsigned>(h - bh - 30));
    const std::uint8_t colour[3] = {static_cast<std::uint8_t>(rng() % 64),
                                    static_cast<std::uint8_t>(rng() % 64),
                                    static_cast<std::uint8_t>(192 + rng() % 64)};
    const int dx = (rng() % 2 ? 1 : -1) * step(rng);
    const int dy = (rng() % 2 ? 1 : -1) * step(rng);
    DrawBlob(p.reference, w, h, x, y, bw, bh, colour);
    DrawBlob(p.frame, w, h, x + dx, y + dy, bw, bh, colour);
  }
  AddNoise(p.frame, stress ? 20.0 : 5.0, rng);
  AddNoise(p.reference, stress ? 20.0 : 5.0, rng);
  return p;
}

const Scene& GetScene(int w, int h, Input input, bool cold) {
  static std::map<std::string, std::unique_ptr<Scene>> scenes;
  const std::string key = std::to_string(w) + kInputNames[input] + (cold ? "c" : "h");
  auto& slot = scenes[key];
  if (!slot) {
    slot = std::make_unique<Scene>();
    slot->width = w;
    slot->height = h;
    const Pair pair = MakePair(input, w, h, 1234u + static_cast<unsigned>(input) * 7u + w);
    const std::size_t bytes = pair.frame.size() * 2;
    const std::size_t count = cold ? (kColdBytes + bytes - 1) / bytes : 1;
    slot->pairs.assign(count, pair);  // same content, separate memory
  }
  return *slot;
}

// --- this program's analysis --------------------------------------------------
struct VirenWork {
  std::vector<std::uint8_t> diff;
  viren::VectorizeScratch scratch;
  std::vector<Point> vertices = std::vector<Point>(viren::kMaxVertices);
  std::vector<int> counts = std::vector<int>(viren::kMaxContours);
  std::vector<Point> centroids = std::vector<Point>(viren::kMaxContours);
  int kept = 0;
  int total = 0;
};

// Difference test and erosion in one pass, then the trace (what the analysis
// does unless the marker or the difference view needs the image before its
// erosion).
Point RunViren(const Pair& p, int w, int h, VirenWork& work) {
  const std::size_t pixels = static_cast<std::size_t>(w) * h;
  work.diff.resize(pixels);
  work.scratch.rowBits.resize(viren::DifferenceErodeScratchWords(w));
  work.scratch.rowSet.resize(static_cast<std::size_t>(h));
  viren::DifferenceErode(p.frame.data(), const_cast<std::uint8_t*>(p.reference.data()), w, h,
                         viren::DifferenceThreshold(kDiffLevel, w), work.diff.data(),
                         work.scratch.rowSet.data(), work.scratch.rowBits.data(), false);
  work.kept = viren::TraceContours(work.diff.data(), w, h, work.total, work.counts.data(),
                                   work.vertices.data(), viren::kMaxContours, viren::kMaxVertices,
                                   work.scratch);
  return viren::CombineCentroids(work.vertices.data(), work.counts.data(), work.kept,
                                 work.centroids.data());
}

// The same as separate steps: the difference image written whole, then eroded
// in place (the earlier way, still taken when the marker test or the
// difference view needs the image before its erosion).
Point RunTwoPass(const Pair& p, int w, int h, VirenWork& work) {
  const std::size_t pixels = static_cast<std::size_t>(w) * h;
  work.diff.resize(pixels);
  viren::DifferenceTest(p.frame.data(), p.reference.data(), pixels,
                        viren::DifferenceThreshold(kDiffLevel, w), work.diff.data());
  work.kept = viren::VectorizeImage(work.diff.data(), w, h, work.total, work.counts.data(),
                                    work.vertices.data(), viren::kMaxContours, viren::kMaxVertices,
                                    true, work.scratch);
  return viren::CombineCentroids(work.vertices.data(), work.counts.data(), work.kept,
                                 work.centroids.data());
}

// --- the floor: reading both frames once ---------------------------------------
std::uint64_t ReadBoth(const Pair& p) {
  const std::size_t words = p.frame.size() / 8;
  std::uint64_t sum = 0;
  const std::uint8_t* a = p.frame.data();
  const std::uint8_t* b = p.reference.data();
  for (std::size_t i = 0; i < words; ++i) {
    std::uint64_t x, y;
    std::memcpy(&x, a + 8 * i, 8);
    std::memcpy(&y, b + 8 * i, 8);
    sum += x ^ y;
  }
  return sum;
}

#ifdef VIREN_BENCH_OPENCV
// --- the same steps in OpenCV, single-threaded ---------------------------------
struct CvWork {
  cv::Mat d3, channels[3], any, binary, eroded;
  cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Point2d> centroids;
};

cv::Point2d RunOpenCv(const Pair& p, int w, int h, CvWork& work) {
  const cv::Mat frame(h, w, CV_8UC3, const_cast<std::uint8_t*>(p.frame.data()));
  const cv::Mat reference(h, w, CV_8UC3, const_cast<std::uint8_t*>(p.reference.data()));
  cv::absdiff(frame, reference, work.d3);
  cv::split(work.d3, work.channels);
  cv::max(work.channels[0], work.channels[1], work.any);
  cv::max(work.any, work.channels[2], work.any);
  const int t = viren::DifferenceThreshold(kDiffLevel, w);
  cv::threshold(work.any, work.binary, t - 1, 1, cv::THRESH_BINARY);  // >= t
  work.binary.row(0).setTo(0);
  work.binary.row(h - 1).setTo(0);
  work.binary.col(0).setTo(0);
  work.binary.col(w - 1).setTo(0);
  cv::erode(work.binary, work.eroded, work.kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
            cv::Scalar(0));
  cv::findContours(work.eroded, work.contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  work.centroids.clear();
  cv::Point2d sum(0, 0);
  for (const auto& c : work.contours) {
    const cv::Moments m = cv::moments(c);
    if (m.m00 != 0) work.centroids.emplace_back(m.m10 / m.m00, m.m01 / m.m00);
  }
  for (const auto& c : work.centroids) sum += c;
  return work.centroids.empty() ? sum : sum / static_cast<double>(work.centroids.size());
}

// Corners of a closed contour given as points on straight 8-direction runs:
// the points where the direction changes, whatever point the trace began at.
std::vector<std::pair<int, int>> Corners(std::vector<std::pair<int, int>> pts) {
  pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
  if (pts.size() > 1 && pts.front() == pts.back()) pts.pop_back();
  const std::size_t n = pts.size();
  if (n < 2) return pts;
  auto dir = [](std::pair<int, int> a, std::pair<int, int> b) {
    return std::pair<int, int>{(b.first > a.first) - (b.first < a.first),
                               (b.second > a.second) - (b.second < a.second)};
  };
  std::vector<std::pair<int, int>> corners;
  for (std::size_t i = 0; i < n; ++i) {
    const auto& prev = pts[(i + n - 1) % n];
    const auto& next = pts[(i + 1) % n];
    if (dir(prev, pts[i]) != dir(pts[i], next)) corners.push_back(pts[i]);
  }
  std::sort(corners.begin(), corners.end());
  corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
  return corners;
}

// Both must see the same eroded image, and every contour kept here must be a
// contour OpenCV found, corner for corner.
bool CheckAgainstOpenCv(int w, int h, Input input, bool twoPass) {
  const Pair& p = GetScene(w, h, input, false).pairs[0];
  VirenWork mine;
  CvWork theirs;
  if (twoPass)
    RunTwoPass(p, w, h, mine);
  else
    RunViren(p, w, h, mine);
  RunOpenCv(p, w, h, theirs);
  long differing = 0;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)
      differing += (mine.diff[static_cast<std::size_t>(r) * w + c] != 0) !=
                   (theirs.eroded.at<std::uint8_t>(r, c) != 0);
  std::set<std::vector<std::pair<int, int>>> cvCorners;
  for (const auto& c : theirs.contours) {
    std::vector<std::pair<int, int>> pts;
    for (const auto& q : c) pts.emplace_back(q.x, q.y);
    cvCorners.insert(Corners(pts));
  }
  int matched = 0;
  const Point* v = mine.vertices.data();
  for (int k = 0; k < std::max(mine.kept, 0); ++k) {
    std::vector<std::pair<int, int>> pts;
    for (int i = 0; i < mine.counts[k]; ++i) pts.emplace_back(v[i].x, h - 1 - v[i].y);
    v += mine.counts[k];
    matched += cvCorners.count(Corners(pts)) != 0;
  }
  const bool ok = differing == 0 && mine.kept >= 0 && matched == mine.kept;
  std::printf(
      "check %s %dx%d input %s: eroded images %s (%ld pixels differ); %d of %d contours "
      "match OpenCV's corner for corner (OpenCV found %zu)%s\n",
      twoPass ? "two-pass" : "one-pass", w, h, kInputNames[input],
      differing == 0 ? "equal" : "DIFFER", differing, matched, mine.kept, theirs.contours.size(),
      ok ? "" : "  <-- MISMATCH");
  return ok;
}
#endif

// --- benchmark cases -------------------------------------------------------------
void AllocationCounter(benchmark::State& state, long before) {
  state.counters["allocs/frame"] = benchmark::Counter(
      static_cast<double>(gAllocations.load() - before) / static_cast<double>(state.iterations()));
}

void BM_Floor(benchmark::State& state, int w, int h, Input input, bool cold) {
  const Scene& scene = GetScene(w, h, input, cold);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadBoth(scene.pairs[i]));
    if (++i == scene.pairs.size()) i = 0;
  }
}

void BM_Viren(benchmark::State& state, int w, int h, Input input, bool cold) {
  const Scene& scene = GetScene(w, h, input, cold);
  VirenWork work;
  RunViren(scene.pairs[0], w, h, work);  // sizes the scratch once
  const long before = gAllocations.load();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RunViren(scene.pairs[i], w, h, work));
    if (++i == scene.pairs.size()) i = 0;
  }
  AllocationCounter(state, before);
  state.counters["contours"] = work.kept;
}

void BM_TwoPass(benchmark::State& state, int w, int h, Input input, bool cold) {
  const Scene& scene = GetScene(w, h, input, cold);
  VirenWork work;
  RunTwoPass(scene.pairs[0], w, h, work);
  const long before = gAllocations.load();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RunTwoPass(scene.pairs[i], w, h, work));
    if (++i == scene.pairs.size()) i = 0;
  }
  AllocationCounter(state, before);
}

#ifdef VIREN_BENCH_OPENCV
void BM_OpenCv(benchmark::State& state, int w, int h, Input input, bool cold) {
  const Scene& scene = GetScene(w, h, input, cold);
  CvWork work;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RunOpenCv(scene.pairs[i], w, h, work));
    if (++i == scene.pairs.size()) i = 0;
  }
  state.counters["contours"] = static_cast<double>(work.contours.size());
}
#endif

// The whole per-frame entry as the capture calls it, the reference copy
// included: frames alternate between the two of a pair.
void BM_AnalyseFrame(benchmark::State& state, int w, int h, Input input) {
  Pair pair = GetScene(w, h, input, false).pairs[0];
  viren::CarState car;
  viren::EngineState engine;
  engine.captureRunning = true;
  viren::CFrameAnalyser analyser(car, engine);
  // Default settings without files: DIFF_LEVEL 90, every frame analysed.
  viren::Settings settings;
  settings.SetPaths("/nonexistent", "/nonexistent/VIREN.ini", "/nonexistent/option.ini");
  analyser.LoadAnalysisSettings(settings);
  std::uint8_t* frames[2] = {pair.frame.data(), pair.reference.data()};
  for (int k = 0; k < 4; ++k) analyser.AnalyseFrame(frames[k % 2], pair.frame.size(), w, h);
  const long before = gAllocations.load();
  int k = 0;
  for (auto _ : state) {
    analyser.AnalyseFrame(frames[k], pair.frame.size(), w, h);
    k ^= 1;
  }
  AllocationCounter(state, before);
}

// Keeps the median CPU time of every case for the table at the end. CPU time,
// not wall time: on a shared machine the wall clock also counts the time other
// processes held the core.
struct Summary : benchmark::ConsoleReporter {
  std::map<std::string, double> medianUs;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median")
        medianUs[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& name) const {
    auto it = medianUs.find(name);
    return it == medianUs.end() ? 0.0 : it->second;
  }
};

std::string Name(const char* impl, int w, int h, int input, bool cold) {
  return std::string(impl) + "/" + std::to_string(w) + "x" + std::to_string(h) + "/" +
         kInputNames[input] + "/" + (cold ? "cold" : "hot");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const int sizes[2][2] = {{320, 240}, {640, 480}};
  bool checked = true;
#ifdef VIREN_BENCH_OPENCV
  cv::setNumThreads(1);
  for (const auto& s : sizes)
    for (int input = 0; input < 3; ++input)
      for (bool twoPass : {false, true})
        checked &= CheckAgainstOpenCv(s[0], s[1], static_cast<Input>(input), twoPass);
  if (!checked) {
    std::printf("OpenCV and this program disagree; timings would compare different work.\n");
    return 1;
  }
#else
  std::printf("OpenCV not built in: no peer comparison (scripts/install-bench-deps.sh)\n");
#endif

  for (const auto& s : sizes)
    for (int input = 0; input < 3; ++input)
      for (bool cold : {false, true}) {
        const int w = s[0], h = s[1];
        const auto in = static_cast<Input>(input);
        auto configure = [](benchmark::internal::Benchmark* b) {
          b->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
        };
        configure(benchmark::RegisterBenchmark(
            Name("floor", w, h, input, cold).c_str(),
            [=](benchmark::State& st) { BM_Floor(st, w, h, in, cold); }));
        configure(benchmark::RegisterBenchmark(
            Name("viren", w, h, input, cold).c_str(),
            [=](benchmark::State& st) { BM_Viren(st, w, h, in, cold); }));
        configure(benchmark::RegisterBenchmark(
            Name("twopass", w, h, input, cold).c_str(),
            [=](benchmark::State& st) { BM_TwoPass(st, w, h, in, cold); }));
#ifdef VIREN_BENCH_OPENCV
        configure(benchmark::RegisterBenchmark(
            Name("opencv", w, h, input, cold).c_str(),
            [=](benchmark::State& st) { BM_OpenCv(st, w, h, in, cold); }));
#endif
      }
  for (const auto& s : sizes) {
    const int w = s[0], h = s[1];
    benchmark::RegisterBenchmark(
        ("AnalyseFrame/" + std::to_string(w) + "x" + std::to_string(h) + "/a/hot").c_str(),
        [=](benchmark::State& st) { BM_AnalyseFrame(st, w, h, kTypical); })
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }

  Summary summary;
  benchmark::RunSpecifiedBenchmarks(&summary);

  std::printf("\nMedian CPU time per frame (us) and ratios\n");
  std::printf("%-22s %9s %9s %9s %9s %12s %12s\n", "case", "floor", "twopass", "viren", "opencv",
              "viren/floor", "opencv/viren");
  for (const auto& s : sizes)
    for (int input = 0; input < 3; ++input)
      for (bool cold : {false, true}) {
        const std::string label = std::to_string(s[0]) + "x" + std::to_string(s[1]) + " " +
                                  kInputNames[input] + " " + (cold ? "cold" : "hot");
        const double floor = summary.Get(Name("floor", s[0], s[1], input, cold));
        const double mine = summary.Get(Name("viren", s[0], s[1], input, cold));
        const double before = summary.Get(Name("twopass", s[0], s[1], input, cold));
        const double peer = summary.Get(Name("opencv", s[0], s[1], input, cold));
        if (mine == 0.0) continue;  // filtered out
        char peerText[32] = "-", ratioText[32] = "-";
        if (peer > 0) {
          std::snprintf(peerText, sizeof peerText, "%.1f", peer);
          std::snprintf(ratioText, sizeof ratioText, "%.2f", peer / mine);
        }
        std::printf("%-22s %9.1f %9.1f %9.1f %9s %12.2f %12s\n", label.c_str(), floor, before, mine,
                    peerText, floor > 0 ? mine / floor : 0.0, ratioText);
      }
  for (const auto& s : sizes) {
    const std::string name =
        "AnalyseFrame/" + std::to_string(s[0]) + "x" + std::to_string(s[1]) + "/a/hot";
    if (const double us = summary.Get(name); us > 0)
      std::printf("%-22s %9.1f  (whole per-frame entry, reference copy included)\n",
                  (std::to_string(s[0]) + "x" + std::to_string(s[1]) + " AnalyseFrame").c_str(),
                  us);
  }
  benchmark::Shutdown();
  return 0;
}
