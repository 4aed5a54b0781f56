#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace viren {

// An auto-reset event made by a Clock: one waiter is let through per Set and
// the event closes again. Every timed sleep of the driving program and the
// simulation goes through one of these, so that the clock decides what a
// millisecond is.
class ClockEvent {
 public:
  virtual ~ClockEvent() = default;
  virtual void Set() = 0;
  virtual void Reset() = 0;
  // True when the event was set, false when the time ran out. A negative
  // timeout counts as 0.
  virtual bool WaitFor(std::chrono::milliseconds timeout) = 0;
  virtual void Wait() = 0;
};

// The time base of every timer, wait and simulation step.
//
// Threads that sleep on clock events are started through StartThread, and a
// thread that waits for another one to end (a join) does so inside Blocking,
// so that a virtual clock knows who is waiting for whom.
class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since the clock was made.
  virtual std::int64_t NowMs() const = 0;
  virtual std::unique_ptr<ClockEvent> MakeEvent() = 0;
  virtual std::thread StartThread(std::function<void()> body) = 0;
  // Runs `wait`, which blocks until other clock threads have done something
  // (typically std::thread::join).
  virtual void Blocking(const std::function<void()>& wait) = 0;
  // A virtual clock only moves when every thread sleeps: a loop that never
  // sleeps for a positive time would hold it still.
  virtual bool IsVirtual() const { return false; }

  void SleepFor(std::chrono::milliseconds duration);
  void Join(std::thread& thread);
};

// Wall-clock time from std::chrono::steady_clock; threads run freely.
class RealClock final : public Clock {
 public:
  RealClock();
  std::int64_t NowMs() const override;
  std::unique_ptr<ClockEvent> MakeEvent() override;
  std::thread StartThread(std::function<void()> body) override;
  void Blocking(const std::function<void()>& wait) override { wait(); }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Simulated time for headless runs and tests. The thread that makes the clock
// and every thread started through StartThread take turns: exactly one of
// them runs at a time, and it runs until it sleeps on a clock event or ends.
// The next to run is the one woken first (by a Set, in the order of the Sets);
// when nobody is woken and nobody is inside Blocking, time jumps to the
// earliest pending time-out. A whole run therefore takes no longer than the
// machine needs to compute it and gives the same result every time.
//
// Other threads may Set and Reset events at any moment; they must not wait
// on them (such a wait falls back to wall-clock time and is not ordered).
class VirtualClock final : public Clock {
 public:
  VirtualClock();
  ~VirtualClock() override;

  std::int64_t NowMs() const override;
  std::unique_ptr<ClockEvent> MakeEvent() override;
  std::thread StartThread(std::function<void()> body) override;
  void Blocking(const std::function<void()>& wait) override;
  bool IsVirtual() const override { return true; }

 private:
  class Event;
  friend class Event;

  enum class Phase { Runnable, Running, Waiting, Blocking };
  struct Participant {
    Phase phase = Phase::Runnable;
    Event* waitingOn = nullptr;
    std::int64_t deadline = -1;  // -1: no time-out
    std::uint64_t sequence = 0;  // orders equal deadlines
    bool signalled = false;      // result of the last wait
  };
  struct EventState {
    bool signalled = false;
    std::deque<int> waiters;
  };

  int CurrentId() const;  // -1 for a thread outside the clock
  void DispatchLocked();
  void AcquireLocked(std::unique_lock<std::mutex>& lock, int id);
  void MakeRunnableLocked(int id);

  bool EventWaitFor(Event& event, std::int64_t timeoutMs);
  void EventSet(Event& event);
  void EventReset(Event& event);

  mutable std::mutex mutex_;
  std::condition_variable turn_;
  std::condition_variable outsiders_;
  std::map<int, Participant> participants_;
  std::map<std::thread::id, int> ids_;
  std::deque<int> runQueue_;
  int holder_ = -1;
  int nextId_ = 0;
  std::uint64_t nextSequence_ = 0;
  std::int64_t now_ = 0;
};

}  // namespace viren
