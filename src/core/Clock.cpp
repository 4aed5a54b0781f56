#include "core/Clock.h"

#include <algorithm>
#include <limits>

#include "core/AutoResetEvent.h"

namespace viren {

void Clock::SleepFor(std::chrono::milliseconds duration) {
  auto event = MakeEvent();
  event->WaitFor(duration);
}

void Clock::Join(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    // A thread that ends its own run cannot wait for itself; it is finished
    // the moment it returns.
    thread.detach();
    return;
  }
  Blocking([&thread] { thread.join(); });
}

// ---------------------------------------------------------------- RealClock

namespace {

class RealEvent final : public ClockEvent {
 public:
  void Set() override { event_.Set(); }
  void Reset() override { event_.Reset(); }
  bool WaitFor(std::chrono::milliseconds timeout) override {
    return event_.WaitFor(std::max(timeout, std::chrono::milliseconds(0)));
  }
  void Wait() override { event_.Wait(); }

 private:
  AutoResetEvent event_;
};

}  // namespace

RealClock::RealClock() : start_(std::chrono::steady_clock::now()) {}

std::int64_t RealClock::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start_)
      .count();
}

std::unique_ptr<ClockEvent> RealClock::MakeEvent() {
  return std::make_unique<RealEvent>();
}

std::thread RealClock::StartThread(std::function<void()> body) {
  return std::thread(std::move(body));
}

// ------------------------------------------------------------- VirtualClock

class VirtualClock::Event final : public ClockEvent {
 public:
  explicit Event(VirtualClock& clock) : clock_(clock) {}
  void Set() override { clock_.EventSet(*this); }
  void Reset() override { clock_.EventReset(*this); }
  bool WaitFor(std::chrono::milliseconds timeout) override {
    return clock_.EventWaitFor(*this, std::max<std::int64_t>(timeout.count(), 0));
  }
  void Wait() override { clock_.EventWaitFor(*this, -1); }

  EventState state;  // guarded by the clock's mutex

 private:
  VirtualClock& clock_;
};

VirtualClock::VirtualClock() {
  std::lock_guard lock(mutex_);
  const int id = nextId_++;
  participants_[id].phase = Phase::Running;
  ids_[std::this_thread::get_id()] = id;
  holder_ = id;
}

VirtualClock::~VirtualClock() = default;

std::int64_t VirtualClock::NowMs() const {
  std::lock_guard lock(mutex_);
  return now_;
}

std::unique_ptr<ClockEvent> VirtualClock::MakeEvent() {
  return std::make_unique<Event>(*this);
}

int VirtualClock::CurrentId() const {
  auto it = ids_.find(std::this_thread::get_id());
  return it == ids_.end() ? -1 : it->second;
}

void VirtualClock::MakeRunnableLocked(int id) {
  Participant& p = participants_[id];
  p.phase = Phase::Runnable;
  p.waitingOn = nullptr;
  p.deadline = -1;
  runQueue_.push_back(id);
}

// Hands the turn to the next thread; called with no holder.
void VirtualClock::DispatchLocked() {
  if (holder_ != -1) return;
  if (!runQueue_.empty()) {
    holder_ = runQueue_.front();
    runQueue_.pop_front();
    participants_[holder_].phase = Phase::Running;
    turn_.notify_all();
    return;
  }
  // Someone is busy outside the clock (joining a thread): time stands still
  // until it comes back.
  int next = -1;
  for (auto& [id, p] : participants_) {
    if (p.phase == Phase::Blocking || p.phase == Phase::Runnable) return;
    if (p.phase != Phase::Waiting || p.deadline < 0) continue;
    if (next == -1) {
      next = id;
      continue;
    }
    const Participant& best = participants_[next];
    if (p.deadline < best.deadline || (p.deadline == best.deadline && p.sequence < best.sequence))
      next = id;
  }
  if (next == -1) return;  // everybody sleeps without a time-out: idle until a Set
  Participant& p = participants_[next];
  now_ = std::max(now_, p.deadline);
  auto& waiters = p.waitingOn->state.waiters;
  waiters.erase(std::remove(waiters.begin(), waiters.end(), next), waiters.end());
  p.signalled = false;
  p.waitingOn = nullptr;
  p.deadline = -1;
  p.phase = Phase::Running;
  holder_ = next;
  turn_.notify_all();
}

void VirtualClock::AcquireLocked(std::unique_lock<std::mutex>& lock, int id) {
  turn_.wait(lock, [&] { return holder_ == id; });
}

bool VirtualClock::EventWaitFor(Event& event, std::int64_t timeoutMs) {
  std::unique_lock lock(mutex_);
  const int id = CurrentId();
  if (id < 0) {
    // A thread outside the clock: wall-clock time, no ordering.
    auto ready = [&] { return event.state.signalled; };
    if (timeoutMs < 0)
      outsiders_.wait(lock, ready);
    else if (!outsiders_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
      return false;
    event.state.signalled = false;
    return true;
  }
  if (event.state.signalled) {
    event.state.signalled = false;
    return true;
  }
  Participant& p = participants_[id];
  p.phase = Phase::Waiting;
  p.waitingOn = &event;
  p.deadline = timeoutMs < 0 ? -1 : now_ + timeoutMs;
  p.sequence = nextSequence_++;
  p.signalled = false;
  event.state.waiters.push_back(id);
  if (holder_ == id) holder_ = -1;
  DispatchLocked();
  AcquireLocked(lock, id);
  return participants_[id].signalled;
}

void VirtualClock::EventSet(Event& event) {
  std::lock_guard lock(mutex_);
  if (!event.state.waiters.empty()) {
    const int id = event.state.waiters.front();
    event.state.waiters.pop_front();
    participants_[id].signalled = true;
    MakeRunnableLocked(id);
  } else {
    event.state.signalled = true;
  }
  outsiders_.notify_all();
  DispatchLocked();
}

void VirtualClock::EventReset(Event& event) {
  std::lock_guard lock(mutex_);
  event.state.signalled = false;
}

std::thread VirtualClock::StartThread(std::function<void()> body) {
  int id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    participants_[id];  // Runnable
    runQueue_.push_back(id);
    DispatchLocked();
  }
  return std::thread([this, id, body = std::move(body)] {
    {
      std::unique_lock lock(mutex_);
      ids_[std::this_thread::get_id()] = id;
      AcquireLocked(lock, id);
    }
    body();
    std::lock_guard lock(mutex_);
    ids_.erase(std::this_thread::get_id());
    participants_.erase(id);
    runQueue_.erase(std::remove(runQueue_.begin(), runQueue_.end(), id), runQueue_.end());
    if (holder_ == id) holder_ = -1;
    DispatchLocked();
  });
}

void VirtualClock::Blocking(const std::function<void()>& wait) {
  int id;
  {
    std::lock_guard lock(mutex_);
    id = CurrentId();
    if (id >= 0) {
      participants_[id].phase = Phase::Blocking;
      if (holder_ == id) holder_ = -1;
      DispatchLocked();
    }
  }
  wait();
  if (id < 0) return;
  std::unique_lock lock(mutex_);
  participants_[id].phase = Phase::Runnable;
  runQueue_.push_back(id);
  DispatchLocked();
  AcquireLocked(lock, id);
}

}  // namespace viren
