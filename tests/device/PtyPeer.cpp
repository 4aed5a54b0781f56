#include "PtyPeer.h"

#include <sys/ioctl.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace viren::test {

PtyPeer::PtyPeer() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no ptsname");
  path_ = name;
  keepSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  // Raw from the start: no echo, no newline translation, whoever opens it.
  if (keepSlave_ >= 0 && ::tcgetattr(keepSlave_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(keepSlave_, TCSANOW, &tio);
  }
}

void PtyPeer::Start() {
  thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
  Stop();
  if (master_ >= 0) ::close(master_);
  if (keepSlave_ >= 0) ::close(keepSlave_);
}

void PtyPeer::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

std::string PtyPeer::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool PtyPeer::vanished() const {
  std::lock_guard lock(mutex_);
  return vanished_;
}

bool PtyPeer::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, done);
}

bool PtyPeer::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return received_.size() >= count; }, timeout);
}

bool PtyPeer::WaitVanished(std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return vanished_; }, timeout);
}

void PtyPeer::SendAfter(std::string bytes, std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  SendAfterLocked(std::move(bytes), delay);
}

void PtyPeer::VanishAfter(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  VanishAfterLocked(delay);
}

void PtyPeer::SendAfterLocked(std::string bytes, std::chrono::milliseconds delay) {
  actions_.push_back({Clock::now() + delay, false, std::move(bytes)});
  std::stable_sort(actions_.begin(), actions_.end(),
                   [](const Action& a, const Action& b) { return a.due < b.due; });
}

void PtyPeer::VanishAfterLocked(std::chrono::milliseconds delay) {
  actions_.push_back({Clock::now() + delay, true, {}});
  std::stable_sort(actions_.begin(), actions_.end(),
                   [](const Action& a, const Action& b) { return a.due < b.due; });
}

void PtyPeer::RunDueActions() {
  while (!actions_.empty() && actions_.front().due <= Clock::now()) {
    Action a = std::move(actions_.front());
    actions_.pop_front();
    if (vanished_) continue;
    if (a.vanish) {
      // The board is unplugged: its side closes. The slave stays held until
      // the peer goes, so the kernel cannot hand this terminal's number to a
      // test running beside this one while our board still reconnects to it.
      ::close(master_);
      master_ = -1;
      vanished_ = true;
      changed_.notify_all();
      continue;
    }
    std::size_t done = 0;
    while (done < a.bytes.size()) {
      const ssize_t n = ::write(master_, a.bytes.data() + done, a.bytes.size() - done);
      if (n > 0)
        done += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        break;
    }
  }
}

void PtyPeer::Run() {
  char buf[512];
  for (;;) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      RunDueActions();
      fd = master_;
    }
    if (fd < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    // Only this thread closes the master, so fd stays valid here.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2) <= 0 || !(p.revents & POLLIN)) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) continue;
    std::lock_guard lock(mutex_);
    received_.append(buf, static_cast<std::size_t>(n));
    OnBytes(std::string_view(buf, static_cast<std::size_t>(n)));
    changed_.notify_all();
  }
}

bool PtyPeer::exclusivelyLocked() const {
  int locked = 0;
  return keepSlave_ >= 0 && ::ioctl(keepSlave_, TIOCGEXCL, &locked) == 0 && locked != 0;
}

}  // namespace viren::test
