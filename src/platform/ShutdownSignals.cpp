#include "platform/ShutdownSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace viren {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler can reach nothing but what is set up for it here.
std::atomic<int> gWriteFd{-1};
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

extern "C" void OnShutdownSignal(int signal) {
  const int saved = errno;
  const int fd = gWriteFd.load();
  if (fd >= 0) {
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to end: nothing is lost.
    [[maybe_unused]] const ssize_t n = ::write(fd, &number, 1);
  }
  errno = saved;
}

}  // namespace

ShutdownSignals::ShutdownSignals() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
  readFd_ = fds[0];
  writeFd_ = fds[1];
  gWriteFd = writeFd_;
  struct sigaction action {};
  action.sa_handler = OnShutdownSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &action, &gPrevious[i]);
}

ShutdownSignals::~ShutdownSignals() {
  if (readFd_ < 0) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  gWriteFd = -1;
  ::close(writeFd_);
  ::close(readFd_);
}

int ShutdownSignals::TakeSignal() {
  if (readFd_ < 0) return 0;
  unsigned char number = 0;
  return ::read(readFd_, &number, 1) == 1 ? number : 0;
}

}  // namespace viren
