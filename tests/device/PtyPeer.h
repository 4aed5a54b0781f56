#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace viren::test {

// The far end of a serial line for tests: a pseudo-terminal whose master side
// is served on a thread of its own. The code under test opens devicePath()
// like any serial device. Every byte that arrives is recorded; replies are
// written now or later, and the device can vanish (the master closes and the
// device path disappears).
class PtyPeer {
 public:
  using Clock = std::chrono::steady_clock;

  PtyPeer();
  virtual ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& devicePath() const { return path_; }
  // Every byte received so far.
  std::string received() const;
  // Waits until `done` holds (checked under the peer's lock after each event).
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout);
  bool WaitVanished(std::chrono::milliseconds timeout);
  // Writes `bytes` to the line after `delay` (peer thread).
  void SendAfter(std::string bytes, std::chrono::milliseconds delay);
  // The device goes away after `delay`.
  void VanishAfter(std::chrono::milliseconds delay);
  bool vanished() const;
  // Whether somebody holds the line's exclusive lock (TIOCEXCL): then nobody
  // but root can open it.
  bool exclusivelyLocked() const;
  // Ends the peer thread; derived classes call it first in their destructor.
  void Stop();

 protected:
  // Starts serving the line; derived classes call it last in their
  // constructor, so the peer thread never sees a half-built fake.
  void Start();
  // Called on the peer thread, with the peer's lock held, for each chunk.
  virtual void OnBytes(std::string_view bytes) = 0;
  // Queue actions from OnBytes (lock already held).
  void SendAfterLocked(std::string bytes, std::chrono::milliseconds delay);
  void VanishAfterLocked(std::chrono::milliseconds delay);

  mutable std::mutex mutex_;

 private:
  struct Action {
    Clock::time_point due;
    bool vanish;
    std::string bytes;
  };
  void Run();
  void RunDueActions();  // lock held

  int master_ = -1;
  int keepSlave_ = -1;  // keeps the line up while the code under test re-opens
  std::string path_;
  std::string received_;
  std::deque<Action> actions_;
  bool stop_ = false;
  bool vanished_ = false;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace viren::test
