#include "core/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace viren {
namespace {

using std::chrono::milliseconds;

TEST(VirtualClock, SleepAdvancesTimeWithoutWaiting) {
  VirtualClock clock;
  const auto wallStart = std::chrono::steady_clock::now();
  clock.SleepFor(milliseconds(3600 * 1000));
  EXPECT_EQ(clock.NowMs(), 3600 * 1000);
  EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
}

TEST(VirtualClock, ThreadsTakeTurnsInTimeOrder) {
  VirtualClock clock;
  std::vector<std::string> log;  // only the thread holding the turn writes
  auto worker = [&](std::string name, int periodMs, int count) {
    return clock.StartThread([&, name, periodMs, count] {
      auto event = clock.MakeEvent();
      for (int i = 0; i < count; ++i) {
        event->WaitFor(milliseconds(periodMs));
        log.push_back(name + "@" + std::to_string(clock.NowMs()));
      }
    });
  };
  std::thread a = worker("a", 30, 3);
  std::thread b = worker("b", 40, 2);
  clock.SleepFor(milliseconds(1000));
  clock.Join(a);
  clock.Join(b);
  const std::vector<std::string> expected{"a@30", "b@40", "a@60", "b@80", "a@90"};
  EXPECT_EQ(log, expected);
}

TEST(VirtualClock, SetWakesWaiterBeforeTimeMoves) {
  VirtualClock clock;
  auto ping = clock.MakeEvent();
  auto pong = clock.MakeEvent();
  std::vector<std::int64_t> seen;
  std::thread t = clock.StartThread([&] {
    for (int i = 0; i < 3; ++i) {
      ping->Wait();
      seen.push_back(clock.NowMs());
      pong->Set();
    }
  });
  for (int i = 0; i < 3; ++i) {
    clock.SleepFor(milliseconds(10));
    ping->Set();
    EXPECT_TRUE(pong->WaitFor(milliseconds(5000)));
  }
  clock.Join(t);
  EXPECT_EQ(seen, (std::vector<std::int64_t>{10, 20, 30}));
  EXPECT_EQ(clock.NowMs(), 30);
}

TEST(VirtualClock, TimeoutReportsFalseAndSignalStaysForNextWait) {
  VirtualClock clock;
  auto event = clock.MakeEvent();
  EXPECT_FALSE(event->WaitFor(milliseconds(250)));
  EXPECT_EQ(clock.NowMs(), 250);
  event->Set();
  EXPECT_TRUE(event->WaitFor(milliseconds(250)));  // auto-reset: consumed here
  EXPECT_EQ(clock.NowMs(), 250);
  EXPECT_FALSE(event->WaitFor(milliseconds(0)));
  event->Set();
  event->Reset();
  EXPECT_FALSE(event->WaitFor(milliseconds(1)));
}

TEST(VirtualClock, OutsideThreadCanWakeASleeper) {
  VirtualClock clock;
  auto event = clock.MakeEvent();
  std::atomic<bool> woke{false};
  std::thread sleeper = clock.StartThread([&] {
    event->Wait();
    woke = true;
  });
  std::thread outsider([&] { event->Set(); });
  outsider.join();  // not a clock thread: a plain join is fine for it
  clock.Join(sleeper);
  EXPECT_TRUE(woke);
}

TEST(RealClock, EventsWaitRealTime) {
  RealClock clock;
  auto event = clock.MakeEvent();
  const auto start = clock.NowMs();
  EXPECT_FALSE(event->WaitFor(milliseconds(20)));
  EXPECT_GE(clock.NowMs() - start, 19);
  std::thread t = clock.StartThread([&] { event->Set(); });
  EXPECT_TRUE(event->WaitFor(milliseconds(5000)));
  clock.Join(t);
}

}  // namespace
}  // namespace viren
