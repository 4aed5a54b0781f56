// Position updates at the simulation's rate (one every 10 ms) through
// viren-bridge and a Mosquitto broker on the loopback, for 60 s: does every
// update reach a watcher, how late, and does a backlog build up?
//
// The writer plays VIREN: it registers the four blocks itself and writes a
// new Position record every 10 ms, its x counting the updates. A watcher
// subscribed to viren/bench/position notes when each arrives. The peer is
// the same stream published straight to the broker by one MQTT client, the
// least any bridge could cost.
//
//   VIREN_BENCH_BRIDGE_SECONDS=60 (default) sets the length of each run;
//   VIREN_BENCH_BRIDGE_CONF="poll_interval_ms = 10" gives the bridge settings.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <mosquitto.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BridgeMessages.h"
#include "BrokerProcess.h"
#include "FlatJson.h"
#include "api/InterfaceRecords.h"
#include "api/ShmTable.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr auto kStep = 10ms;  // the simulation's step

int RunSeconds() {
  const char* text = std::getenv("VIREN_BENCH_BRIDGE_SECONDS");
  const int s = text ? std::atoi(text) : 60;
  return s > 0 ? s : 60;
}

// Receives viren/bench/position and notes when each update (its x) arrived.
class Watcher {
 public:
  Watcher(int port, int updates) : arrived_(static_cast<std::size_t>(updates)) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(client_, &Watcher::OnMessage);
    ok_ = mosquitto_connect(client_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
          mosquitto_subscribe(client_, nullptr, "viren/bench/#", 0) == MOSQ_ERR_SUCCESS &&
          mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
  }
  ~Watcher() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
    mosquitto_lib_cleanup();
  }
  bool ok() const { return ok_; }
  bool online() const { return online_.load(); }
  std::vector<Clock::time_point> Arrivals() {
    std::lock_guard lock(mutex_);
    return arrived_;
  }

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* w = static_cast<Watcher*>(self);
    const auto now = Clock::now();
    const std::string topic = m->topic;
    const std::string_view payload(static_cast<const char*>(m->payload),
                                   static_cast<std::size_t>(m->payloadlen));
    if (topic == "viren/bench/online") {
      w->online_.store(payload == "true");
      return;
    }
    if (topic != "viren/bench/position") return;
    const auto json = viren::bridge::ParseFlatJsonObject(payload);
    if (!json.members) return;
    const auto* x = viren::bridge::FindMember(*json.members, "x");
    if (!x || !x->isInteger || x->integer < 1) return;
    std::lock_guard lock(w->mutex_);
    const auto index = static_cast<std::size_t>(x->integer - 1);
    if (index < w->arrived_.size() && w->arrived_[index] == Clock::time_point{}) {
      w->arrived_[index] = now;
    }
  }

  mosquitto* client_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> online_{false};
  std::mutex mutex_;
  std::vector<Clock::time_point> arrived_;
};

// Writes update i (x = i + 1) at start + i * 10 ms; the time each went out.
template <typename Write>
std::vector<Clock::time_point> WriteUpdates(int updates, Write write) {
  std::vector<Clock::time_point> written(static_cast<std::size_t>(updates));
  const auto start = Clock::now();
  for (int i = 0; i < updates; ++i) {
    std::this_thread::sleep_until(start + i * kStep);
    written[static_cast<std::size_t>(i)] = Clock::now();
    write(i + 1);
  }
  return written;
}

void Report(benchmark::State& state, const std::vector<Clock::time_point>& written,
            const std::vector<Clock::time_point>& arrived) {
  std::vector<double> latencyMs;
  double worstBehind = 0;
  std::size_t newest = 0;  // updates written so far, as of each arrival
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (arrived[i] == Clock::time_point{}) continue;
    latencyMs.push_back(std::chrono::duration<double, std::milli>(arrived[i] - written[i]).count());
    while (newest < written.size() && written[newest] <= arrived[i]) ++newest;
    // How many newer updates had been written when this one arrived.
    worstBehind = std::max(worstBehind, static_cast<double>(newest - i - 1));
  }
  std::sort(latencyMs.begin(), latencyMs.end());
  const auto at = [&](double q) {
    return latencyMs.empty() ? -1.0
                             : latencyMs[static_cast<std::size_t>(q * (latencyMs.size() - 1))];
  };
  // Backlog: were the late updates of the run as prompt as the early ones?
  const std::size_t tenth = latencyMs.size() / 10;
  state.counters["written"] = static_cast<double>(written.size());
  state.counters["delivered"] = static_cast<double>(latencyMs.size());
  state.counters["p50_ms"] = at(0.5);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = at(1.0);
  state.counters["most_behind_updates"] = worstBehind;
  if (tenth > 0) {
    double first = 0, last = 0;
    std::vector<double> byTime;
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (arrived[i] != Clock::time_point{}) {
        byTime.push_back(
            std::chrono::duration<double, std::milli>(arrived[i] - written[i]).count());
      }
    }
    for (std::size_t i = 0; i < tenth; ++i) {
      first += byTime[i];
      last += byTime[byTime.size() - 1 - i];
    }
    state.counters["first_tenth_mean_ms"] = first / static_cast<double>(tenth);
    state.counters["last_tenth_mean_ms"] = last / static_cast<double>(tenth);
  }
}

void RemoveShm(const std::string& prefix) {
  if (DIR* dir = opendir("/dev/shm")) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.rfind(prefix, 0) == 0) shm_unlink(("/" + name).c_str());
    }
    closedir(dir);
  }
}

void BM_PositionsThroughBridge(benchmark::State& state) {
  const int updates = RunSeconds() * 100;
  for (auto _ : state) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("viren-bench-bridge-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    viren::test::BrokerProcess broker(folder);
    const std::string prefix = "vbench" + std::to_string(getpid()) + "_";
    viren::api::ShmTable server(viren::api::ShmTableOptions{prefix});
    bool ready = broker.Start() && server.ShmAttachTable();
    for (const auto& b : viren::api::kInterfaceBlocks) {
      ready = ready && server.ShmCreateBlock(b.name, b.mutexName, 12, 1) >= 0;
    }
    if (!ready) {
      state.SkipWithError("mosquitto or the shared-memory blocks could not be set up");
      break;
    }
    std::ofstream(folder + "/bridge.conf")
        << (std::getenv("VIREN_BENCH_BRIDGE_CONF") ? std::getenv("VIREN_BENCH_BRIDGE_CONF") : "");
    const std::string url = broker.url();
    const std::string conf = folder + "/bridge.conf";
    const char* argv[] = {VIREN_BRIDGE_PATH, "--broker",   url.c_str(), "--name",       "bench",
                          "--config",        conf.c_str(), "--prefix",  prefix.c_str(), nullptr};
    pid_t bridge = -1;
    posix_spawn(&bridge, VIREN_BRIDGE_PATH, nullptr, nullptr, const_cast<char* const*>(argv),
                environ);
    Watcher watcher(broker.port(), updates);
    const auto giveUp = Clock::now() + 10s;
    while (!watcher.online() && Clock::now() < giveUp) std::this_thread::sleep_for(10ms);
    if (!watcher.ok() || !watcher.online()) {
      state.SkipWithError("the bridge did not come online");
    } else {
      const auto started = Clock::now();
      const auto written = WriteUpdates(updates, [&](int x) {
        const viren::api::QuadRecord p{viren::api::RECORD_NEW,
                                       {static_cast<std::int16_t>(x), 240, 0, 180}};
        server.ShmWriteRecord(1, viren::api::EncodeQuad(p), 1, 0, 1000);
      });
      std::this_thread::sleep_for(1s);  // stragglers
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
      Report(state, written, watcher.Arrivals());
    }
    kill(bridge, SIGTERM);
    rusage usage{};
    wait4(bridge, nullptr, 0, &usage);
    const double cpuS = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    state.counters["bridge_cpu_s"] = cpuS;
    server.ShmReleaseAll();
    RemoveShm(prefix);
    std::filesystem::remove_all(folder);
  }
}

// The peer: the same stream published by one MQTT client straight to the
// broker, with the bridge's JSON, QoS and retain flag.
void BM_PositionsStraightToBroker(benchmark::State& state) {
  const int updates = RunSeconds() * 100;
  for (auto _ : state) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("viren-bench-peer-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    viren::test::BrokerProcess broker(folder);
    if (!broker.Start()) {
      state.SkipWithError("mosquitto did not start");
      break;
    }
    Watcher watcher(broker.port(), updates);
    mosquitto_lib_init();
    mosquitto* publisher = mosquitto_new(nullptr, true, nullptr);
    mosquitto_int_option(publisher, MOSQ_OPT_TCP_NODELAY, 1);
    if (!watcher.ok() || mosquitto_connect(publisher, "127.0.0.1", broker.port(), 30) != 0 ||
        mosquitto_loop_start(publisher) != 0) {
      state.SkipWithError("cannot connect to the broker");
    } else {
      const auto started = Clock::now();
      const auto written = WriteUpdates(updates, [&](int x) {
        const std::string json = viren::bridge::PositionJson(
            {viren::api::RECORD_NEW, {static_cast<std::int16_t>(x), 240, 0, 180}}, 0);
        mosquitto_publish(publisher, nullptr, "viren/bench/position", static_cast<int>(json.size()),
                          json.data(), 0, true);
      });
      std::this_thread::sleep_for(1s);
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
      Report(state, written, watcher.Arrivals());
    }
    mosquitto_disconnect(publisher);
    mosquitto_loop_stop(publisher, true);
    mosquitto_destroy(publisher);
    mosquitto_lib_cleanup();
    std::filesystem::remove_all(folder);
  }
}

BENCHMARK(BM_PositionsThroughBridge)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PositionsStraightToBroker)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
