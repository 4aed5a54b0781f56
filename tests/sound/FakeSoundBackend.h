#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sound/SoundBackend.h"

namespace viren::test {

// A sound back end without audio for the list and slot logic: it records every
// load, plays "forever" until stopped, and fails the calls a test names.
// Thread safe.
class FakeSoundBackend : public SoundBackend {
 public:
  struct Script {
    std::mutex mutex;
    std::vector<std::string> loads;  // paths, in order
    int playerCount = 0;
    int failLoader = 0;  // codes (0: succeed)
    int failCreatePlayer = 0;
    int failInitAudio = 0;
    int failUnload = 0;
    int failStop = 0;
    std::string failLoadOf;  // a load of a path containing this fails
    // Called at the start of every load, outside the script's lock.
    std::function<void(const std::string&)> onLoad;
  };

  explicit FakeSoundBackend(std::shared_ptr<Script> script) : script_(std::move(script)) {}

  int CreateLoader() override;
  int CreatePlayer(std::unique_ptr<SoundPlayer>* player) override;
  int LoadSegment(const std::string& path, std::unique_ptr<SoundSegment>* segment) override;
  SoundErrorText DescribeError(int code) const override;

 private:
  std::shared_ptr<Script> script_;
};

// A one-shot gate a test opens from another thread.
class Gate {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

}  // namespace viren::test
