#include "device/CRoboQ.h"

#include <sys/resource.h>
#include <unistd.h>

#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "device/CRelayBoard.h"
#include "device/ComPortMap.h"
#include "device/RoboQFrame.h"
#include "settings/Settings.h"

namespace viren {

CRoboQ::CRoboQ(Settings& settings, EngineState& state, std::atomic<int>& speedLevel,
               CRelayBoard& relay, RoboQTimings timings)
    : settings_(settings),
      state_(state),
      speedLevel_(speedLevel),
      relay_(relay),
      timings_(timings) {}

CRoboQ::~CRoboQ() {
  RoboQClose();
}

std::string CRoboQ::portPath() const {
  std::lock_guard lock(controlMutex_);
  return path_;
}

bool CRoboQ::RoboQOpen() {
  std::lock_guard lock(controlMutex_);
  // A transmitter still open (COM change) is stopped and closed first.
  StopSenderLocked();
  port_.Close();
  SetOpen(false);
  relay_.MarkNotConnected();
  if (!state_.controlRoboQ) return false;

  band_ = settings_.ReadInt(keys::ROBOQ_BAND) & 3;
  channel_ = settings_.ReadInt(keys::ROBOQ_CH);
  speedLevel_ = 2;
  direction_ = 0;
  const int number = settings_.ReadInt(keys::COM_NO);
  if (number == 0) return false;
  path_ = ResolveComDevice(settings_, number);
  if (path_.empty()) return false;
  if (port_.Open(path_, 115200, 8, SerialPort::PARITY_NONE, SerialPort::STOP_ONE,
                 SerialPort::Sharing::Shared) != SerialPort::kOpenOk)
    return false;
  port_.SetDtr(false);
  port_.SetRts(false);
  answering_ = true;
  SetOpen(true);
  return true;
}

void CRoboQ::RoboQClose() {
  std::lock_guard lock(controlMutex_);
  if (!open_) return;
  // The thread sends its stop frame and ends before the port goes away, also
  // while the relay board is reconnecting.
  StopSenderLocked();
  port_.Close();
  SetOpen(false);
}

void CRoboQ::SetOpen(bool open) {
  open_ = open;
  if (ConnectionListener* listener = listener_.load()) listener->DeviceConnectionChanged();
}

void CRoboQ::StopSenderLocked() {
  sending_ = false;
  if (!sender_.joinable()) return;
  {
    std::lock_guard lock(pauseMutex_);
    closing_ = true;
  }
  pauseCv_.notify_all();
  sender_.join();
  std::lock_guard lock(pauseMutex_);
  closing_ = false;
}

bool CRoboQ::RoboQOutput(int code) {
  if (!open_) return true;
  if (relay_.reconnectingFlag().IsSet()) return false;
  switch (code) {
    case DRIVE_STOP:
      sending_ = false;
      break;
    case DRIVE_FORWARD: {
      std::lock_guard lock(controlMutex_);
      if (!open_ || sending_) break;
      // The previous sender may still be finishing its stop frame; it ends
      // before the next one starts, so two never transmit at once.
      if (sender_.joinable()) sender_.join();
      sending_ = true;
      sender_ = std::thread([this] { RoboQSendLoop(); });
      break;
    }
    case DRIVE_STRAIGHT:
      direction_ = 0;
      break;
    case DRIVE_LEFT:
      direction_ = 2;
      break;
    case DRIVE_RIGHT:
      direction_ = 1;
      break;
    case DRIVE_TURBO_ON:
      speedLevel_ = 3;
      break;
    case DRIVE_TURBO_OFF:
      speedLevel_ = 2;
      break;
    default:
      break;
  }
  return true;
}

bool CRoboQ::PauseFor(std::chrono::milliseconds duration) {
  std::unique_lock lock(pauseMutex_);
  return !pauseCv_.wait_for(lock, duration, [this] { return closing_; });
}

void CRoboQ::RoboQSendLoop() {
  // Frames should leave on time even when the analysis keeps the machine
  // busy; without the right to raise priority the thread runs as it is.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -10);
  const int now = ++active_;
  for (int seen = maxActive_.load(); now > seen && !maxActive_.compare_exchange_weak(seen, now);) {
  }
  const auto interval = std::chrono::milliseconds(settings_.ReadInt(keys::ROBOQ_INTERVAL));
  while (sending_) {
    const auto start = std::chrono::steady_clock::now();
    const bool sent = BuildRoboQFrame(band_, speedLevel_, direction_);
    answering_ = sent;
    if (interval.count() > 0) {
      const auto rest = interval - std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start);
      if (rest.count() > 0 && !PauseFor(rest)) break;
    } else if (!sent && !PauseFor(timings_.ackTimeout)) {
      // A transmitter that does not answer is not hammered back to back.
      break;
    }
  }
  BuildRoboQFrame(band_, 0, 1);
  --active_;
}

bool CRoboQ::AwaitAck() {
  std::uint8_t ack = 0;
  return port_.ReadFor(&ack, 1, timings_.ackTimeout) > 0;
}

bool CRoboQ::BuildRoboQFrame(int band, int speed, int direction) {
  const RoboQPattern pattern = BuildRoboQPattern(RoboQCode(speed, direction, band));
  // Late acknowledgements of an aborted frame are not this frame's.
  std::uint8_t drop[64];
  while (port_.Read(drop, sizeof drop) > 0) {
  }
  const std::uint8_t transmit = 't';
  const std::uint8_t channel = RoboQChannelByte(channel_);
  if (port_.Write(&transmit, 1) != 1 || !AwaitAck()) return false;
  if (port_.Write(&channel, 1) != 1 || !AwaitAck()) return false;
  if (port_.Write(pattern.bytes.data(), pattern.bytes.size()) !=
      static_cast<int>(pattern.bytes.size()))
    return false;
  return AwaitAck();
}

}  // namespace viren
