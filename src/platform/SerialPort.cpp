#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace viren {

namespace {

bool BaudConstant(int baud, speed_t& out) {
  switch (baud) {
    case 1200:
      out = B1200;
      return true;
    case 2400:
      out = B2400;
      return true;
    case 4800:
      out = B4800;
      return true;
    case 9600:
      out = B9600;
      return true;
    case 19200:
      out = B19200;
      return true;
    case 38400:
      out = B38400;
      return true;
    case 57600:
      out = B57600;
      return true;
    case 115200:
      out = B115200;
      return true;
    case 230400:
      out = B230400;
      return true;
    default:
      return false;
  }
}

tcflag_t DataBitsFlag(int bits) {
  switch (bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

int SerialPort::Open(const std::string& path, int baud, int dataBits, int parity, int stopBits,
                     Sharing sharing) {
  Close();
  openError_ = 0;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    openError_ = errno;
    return kCannotOpen;
  }
  if (sharing == Sharing::Exclusive && ::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
    openError_ = errno;
    ::close(fd);
    return kCannotOpen;
  }

  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    ::close(fd);
    return kLineStateFailed;
  }
  // Reads return at once with whatever has arrived; writes are bounded by
  // Write itself, so the descriptor stays non-blocking.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::close(fd);
    return kTimeoutsFailed;
  }

  speed_t speed{};
  if (!BaudConstant(baud, speed)) {
    ::close(fd);
    return kLineStateFailed;
  }
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= DataBitsFlag(dataBits) | CREAD | CLOCAL;
  if (parity == PARITY_ODD) tio.c_cflag |= PARENB | PARODD;
  if (parity == PARITY_EVEN) tio.c_cflag |= PARENB;
  if (stopBits != STOP_ONE) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::close(fd);
    return kLineStateFailed;
  }
  fd_ = fd;
  path_ = path;
  return kOpenOk;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  // Leave the device openable for the next open, also by another process.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

int SerialPort::BytesWaiting() const {
  if (fd_ < 0) return -1;
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) return -1;
  return n;
}

int SerialPort::Read(void* buffer, std::size_t count) {
  if (fd_ < 0) return -1;
  if (count == 0) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, count);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

int SerialPort::ReadFor(void* buffer, std::size_t count, std::chrono::milliseconds timeout) {
  if (fd_ < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const int n = Read(buffer, count);
    if (n != 0) return n;
    pollfd p{fd_, POLLIN, 0};
    const int wait = RemainingMs(deadline);
    if (wait == 0) return 0;
    const int r = ::poll(&p, 1, wait);
    if (r < 0 && errno != EINTR) return -1;
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return -1;
    // A hang-up with nothing to read is a vanished device.
    if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) return -1;
  }
}

int SerialPort::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) return -1;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  const auto deadline =
      std::chrono::steady_clock::now() + kWriteTimeoutPerByte * static_cast<int>(count);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int wait = RemainingMs(deadline);
    if (wait == 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, wait) < 0 && errno != EINTR) break;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) break;
  }
  if (done == 0 && count > 0) return -1;
  return static_cast<int>(done);
}

bool SerialPort::SetModemLine(int bit, bool on) {
  if (fd_ < 0) return false;
  if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

bool SerialPort::SetRts(bool on) {
  return SetModemLine(TIOCM_RTS, on);
}
bool SerialPort::SetDtr(bool on) {
  return SetModemLine(TIOCM_DTR, on);
}

}  // namespace viren
