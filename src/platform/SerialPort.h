#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace viren {

// One serial port on a POSIX terminal device, raw 8-bit, with the result codes
// and time-out behaviour the relay board and the infrared transmitter rely on.
//
// Not thread safe: one owner at a time (the relay board serialises its
// exchanges, the infrared sending thread owns its port while it runs).
class SerialPort {
 public:
  enum class Sharing { Exclusive, Shared };
  enum Parity : int { PARITY_NONE = 0, PARITY_ODD = 1, PARITY_EVEN = 2 };
  enum StopBits : int { STOP_ONE = 0, STOP_ONE_HALF = 1, STOP_TWO = 2 };

  // Open result codes. -2 and -3 belong to settings a terminal device does not
  // have (event mask, driver queue sizes) and are never produced here.
  static constexpr int kOpenOk = 0;
  static constexpr int kCannotOpen = -1;
  static constexpr int kEventMaskFailed = -2;
  static constexpr int kQueueSizeFailed = -3;
  static constexpr int kTimeoutsFailed = -4;
  static constexpr int kLineStateFailed = -5;

  // Total write time-out per byte written.
  static constexpr std::chrono::milliseconds kWriteTimeoutPerByte{20};

  SerialPort() = default;
  ~SerialPort() { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens `path` (an already open port is closed first) and applies raw mode
  // with the given line settings; other terminal settings keep the values the
  // driver reports. Reads never wait. On any failure after the device opened,
  // it is closed again. stopBits 1 (one and a half) is taken as two.
  int Open(const std::string& path, int baud, int dataBits, int parity, int stopBits,
           Sharing sharing = Sharing::Exclusive);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  // Why the last Open returned kCannotOpen: its errno (EACCES, EBUSY, ENOENT...).
  int openError() const { return openError_; }
  const std::string& path() const { return path_; }

  // Bytes in the input queue; -1 when the device cannot be asked (closed,
  // hung up).
  int BytesWaiting() const;

  // Whatever has arrived, up to `count` bytes, without waiting; 0 when
  // nothing, -1 on a device error.
  int Read(void* buffer, std::size_t count);
  // Waits up to `timeout` for the first byte, then returns what has arrived
  // (up to `count`); 0 when the time ran out.
  int ReadFor(void* buffer, std::size_t count, std::chrono::milliseconds timeout);
  // Writes within kWriteTimeoutPerByte x count; returns the bytes written
  // (fewer on a time-out), -1 when nothing could be written.
  int Write(const void* buffer, std::size_t count);

  // Modem lines. A pseudo-terminal has none: that counts as done.
  bool SetRts(bool on);
  bool SetDtr(bool on);

 private:
  bool SetModemLine(int bit, bool on);

  int fd_ = -1;
  int openError_ = 0;
  std::string path_;
};

}  // namespace viren
