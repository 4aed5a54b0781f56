// From a camera frame to the relay command it causes, on the whole engine: a
// frame handed to the capture sink, its analysis, the driving thread woken by
// it taking its next step, the drive command carried by the relay board's
// sending thread to a board on a pseudo-terminal. The time is taken from the
// moment the frame is handed over to the moment the board has read the
// command's last byte.
//
// The program alternates "forward until moved 20" and "reverse until moved
// 20" (a jump back): the car, a blob on a textured table, goes round a circle
// 40 pixels a frame, so that every analysed frame ends a wait and sends one
// command. Beside it, in the same loop and on the same frames, the analysis
// alone (a frame analyser of its own, no peers).
//
// A measurement, not a timed test: median and 99th percentile over the
// frames (VIREN_BENCH_LATENCY_FRAMES, default 1000), frames handed over
// every VIREN_BENCH_LATENCY_GAP_MS (default 4 ms; a camera's 33 ms would only
// lengthen the run).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PtyPeer.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "core/UiHost.h"
#include "engine/CDriveSystem.h"
#include "engine/EngineFrames.h"
#include "program/EventRecord.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "vision/CFrameAnalyser.h"

namespace {
std::atomic<long> gAllocations{0};
// Set on the fake board's thread: what the board allocates to answer is not
// the program's.
thread_local bool tBoardThread = false;
}  // namespace

// The replacements pair malloc with free; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (!tBoardThread) gAllocations.fetch_add(1, std::memory_order_relaxed);
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

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int v = text ? std::atoi(text) : 0;
  return v > 0 ? v : fallback;
}

// The board: notes when each command's carriage return arrives and answers
// "OK" at once.
class TimedBoard : public viren::test::PtyPeer {
 public:
  TimedBoard() {
    arrivals_.reserve(1 << 16);
    Start();
  }
  ~TimedBoard() override { Stop(); }

  std::size_t count() const { return count_.load(); }
  Clock::time_point arrival(std::size_t n) const {
    std::lock_guard lock(mutex_);
    return arrivals_[n];
  }
  // Waits until more than `n` commands have arrived.
  bool WaitBeyond(std::size_t n, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return arrivals_.size() > n; }, timeout);
  }

 protected:
  void OnBytes(std::string_view bytes) override {
    tBoardThread = true;
    const Clock::time_point now = Clock::now();
    for (const char c : bytes)
      if (c == '\r') {
        arrivals_.push_back(now);
        count_.store(arrivals_.size());
        SendAfterLocked("\r\nOK\r\n", 0ms);
      }
  }

 private:
  std::vector<Clock::time_point> arrivals_;  // under the peer's lock
  std::atomic<std::size_t> count_{0};
};

class QuietUi : public viren::UiHost {
 public:
  viren::MsgAnswer Message(int id, const std::vector<std::string>&, viren::MsgIcon,
                           viren::MsgButtons) override {
    std::fprintf(stderr, "engine message %d\n", id);
    return viren::MsgAnswer::Ok;
  }
  bool AskAgreement() override { return true; }
  void PostCommand(int) override {}
  void RequestClose() override {}
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Start, forward until moved 20, reverse until moved 20, back to forward.
std::string ShuttleProgram() {
  viren::EventRecord r[3];
  r[0].kind = viren::EVENT_START;
  r[0].next = 1;
  r[1].kind = viren::EVENT_CAR;
  r[1].option = viren::CAR_FORWARD;
  r[1].value1 = 20;
  r[1].prev = 0;
  r[1].next = 2;
  r[2].kind = viren::EVENT_CAR;
  r[2].option = viren::CAR_REVERSE;
  r[2].value1 = 20;
  r[2].prev = 1;
  r[2].link = 1;
  for (int i = 0; i < 3; ++i) {
    r[i].x = static_cast<std::int16_t>(16 + 56 * i);
    r[i].y = 16;
  }
  return viren::EncodeProgramFile(r, 3);
}

std::uint8_t Clamp(double v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// Frames of a car going round a circle, 40 pixels (at 640 wide) a frame, on
// a textured table with noise sigma 5; each frame's noise its own.
std::vector<std::vector<std::uint8_t>> CircleFrames(int w, int h, int count) {
  std::vector<std::uint8_t> table(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        table[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
            Clamp(110 + 40 * std::sin(x * 0.05 + c) * std::cos(y * 0.07) + (x * 31 + y * 17) % 23);
  std::mt19937 rng(77);
  std::normal_distribution<double> noise(0.0, 5.0);
  const double radius = 0.3 * h;
  const double step = 40.0 * w / 640 / radius;
  const int bw = w / 16, bh = w / 23;
  std::vector<std::vector<std::uint8_t>> frames;
  for (int k = 0; k < count; ++k) {
    std::vector<std::uint8_t> f = table;
    const int cx = static_cast<int>(w / 2 + radius * std::cos(k * step));
    const int cy = static_cast<int>(h / 2 + radius * std::sin(k * step));
    for (int y = cy - bh / 2; y < cy + bh / 2; ++y)
      for (int x = cx - bw / 2; x < cx + bw / 2; ++x) {
        std::uint8_t* p = &f[(static_cast<std::size_t>(y) * w + x) * 3];
        p[0] = 30;
        p[1] = 40;
        p[2] = 220;
      }
    for (auto& b : f) b = Clamp(b + noise(rng));
    frames.push_back(std::move(f));
  }
  return frames;
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5));
  return v[i];
}

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

void BM_FrameToRelay(benchmark::State& state, int w, int h) {
  const int frameCount = EnvInt("VIREN_BENCH_LATENCY_FRAMES", 1000);
  const auto gap = std::chrono::milliseconds(EnvInt("VIREN_BENCH_LATENCY_GAP_MS", 4));
  setenv("VIREN_SHM_PREFIX", ("benchlat" + std::to_string(::getpid()) + "_").c_str(), 1);
  setenv("VIREN_AUDIO_SINK", "fakesink sync=true", 0);

  TimedBoard board;
  char pattern[] = "/tmp/viren-latency-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  WriteFile(dir + "/VIREN.ini", viren::ini::Update(ReadFile(VIREN_BENCH_DATA_DIR "/VIREN.ini"),
                                                   "USB", "COM_DEVICE1", board.devicePath()));
  WriteFile(dir + "/run.ntc", ShuttleProgram());
  WriteFile(dir + "/option.ini",
            "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=1\r\n[EVENT]\r\n"
            "FILE_NAME=" +
                dir + "/run.ntc\r\n");
  const auto frames = CircleFrames(w, h, 97);
  const std::size_t length = frames[0].size();

  QuietUi ui;
  auto engine = std::make_unique<viren::CDriveSystem>(ui, dir, "-s");
  engine->Start();
  if (!engine->engineReady() || !engine->state().deviceConnected) {
    state.SkipWithError("the engine did not come up with the board");
    return;
  }
  // No camera: the frames come from here, as from the capture's streaming
  // thread.
  engine->state().captureRunning = true;

  // The analysis alone, on the same frames.
  viren::CarState aloneCar;
  viren::EngineState aloneEngine;
  aloneEngine.captureRunning = true;
  viren::CFrameAnalyser alone(aloneCar, aloneEngine);
  viren::Settings defaults;
  defaults.SetPaths("/nonexistent", "/nonexistent/VIREN.ini", "/nonexistent/option.ini");
  alone.LoadAnalysisSettings(defaults);

  std::vector<std::uint8_t> buffer(length);
  viren::FrameSink& sink = engine->frames();
  if (engine->runner().StartAutoDriving() < 0) {
    state.SkipWithError("the program did not start");
    return;
  }
  // The start's stop, straight, turbo off and the first forward.
  board.WaitBeyond(3, 2s);
  std::this_thread::sleep_for(50ms);

  std::vector<double> latency, sinkReturn, analysis;
  latency.reserve(frameCount);
  sinkReturn.reserve(frameCount);
  analysis.reserve(frameCount);
  int missed = 0;
  long allocations = 0;
  const int warmUp = 20;
  for (auto _ : state) {
    const auto runStart = Clock::now();
    for (int k = 0; k < frameCount + warmUp; ++k) {
      const auto& frame = frames[static_cast<std::size_t>(k) % frames.size()];
      std::copy(frame.begin(), frame.end(), buffer.begin());
      const std::size_t before = board.count();
      const long allocBefore = gAllocations.load();
      const auto t0 = Clock::now();
      sink.AnalyseFrame(buffer.data(), length, w, h);
      const auto t1 = Clock::now();
      const bool arrived = board.WaitBeyond(before, 500ms);
      const long allocAfter = gAllocations.load();
      Clock::time_point t2{};
      if (arrived) t2 = board.arrival(before);
      // The analysis alone, on a copy of the same frame.
      std::copy(frame.begin(), frame.end(), buffer.begin());
      const auto a0 = Clock::now();
      alone.AnalyseFrame(buffer.data(), length, w, h);
      const auto a1 = Clock::now();
      if (k >= warmUp) {
        if (arrived)
          latency.push_back(Micros(t2 - t0));
        else
          ++missed;
        sinkReturn.push_back(Micros(t1 - t0));
        analysis.push_back(Micros(a1 - a0));
        allocations += allocAfter - allocBefore;
      }
      std::this_thread::sleep_for(gap);
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - runStart).count());
  }
  engine->runner().StopAutoDriving();
  engine->Shutdown();
  engine.reset();
  std::filesystem::remove_all(dir);
  unsetenv("VIREN_SHM_PREFIX");

  const double p50 = Percentile(latency, 0.5);
  state.counters["frames"] = static_cast<double>(frameCount);
  state.counters["missed"] = missed;
  state.counters["p50_us"] = p50;
  state.counters["p99_us"] = Percentile(latency, 0.99);
  state.counters["max_us"] = Percentile(latency, 1.0);
  state.counters["sink_p50_us"] = Percentile(sinkReturn, 0.5);
  state.counters["analysis_p50_us"] = Percentile(analysis, 0.5);
  state.counters["analysis_p99_us"] = Percentile(analysis, 0.99);
  state.counters["beyond_p50_us"] = p50 - Percentile(analysis, 0.5);
  state.counters["allocs/frame"] =
      static_cast<double>(allocations) / std::max<std::size_t>(1, sinkReturn.size());
}

}  // namespace

BENCHMARK_CAPTURE(BM_FrameToRelay, 320x240, 320, 240)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FrameToRelay, 640x480, 640, 480)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
