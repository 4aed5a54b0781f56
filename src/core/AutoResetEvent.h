#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace viren {

// An event that lets exactly one waiter through per Set and then closes again,
// like the auto-reset events the driving and simulation threads sleep on.
// Thread safe.
class AutoResetEvent {
 public:
  void Set() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_one();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }

  // Returns true when the event was set, false when the time ran out.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
  }

  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

}  // namespace viren
