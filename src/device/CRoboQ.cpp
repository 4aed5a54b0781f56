#include "device/CRoboQ.h"

#include <algorithm>
#include <vector>

#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "core/UiHost.h"
#include "device/CRelayBoard.h"
#include "device/ComPortMap.h"
#include "device/RoboQFrame.h"
#include "platform/ThreadPriority.h"
#include "settings/Settings.h"

namespace viren {

namespace {

// Waits on the line are made in slices this long, so that closing the port
// is noticed.
constexpr std::chrono::milliseconds kWaitSlice{50};

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

}  // namespace

CRoboQ::CRoboQ(Settings& settings, EngineState& state, UiHost& ui, std::atomic<int>& speedLevel,
               CRelayBoard& relay, RoboQTimings timings)
    : settings_(settings),
      state_(state),
      ui_(ui),
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
  // A new line: nothing is owed from an earlier one.
  outOfStep_ = false;
  stillExpected_ = 0;
  reported_ = false;
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
  {
    std::lock_guard lock(runMutex_);
    sending_ = false;
  }
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
      if (!open_) break;
      {
        // A thread that has not decided to end goes on sending (after its
        // stop frame, if it was sending one): the caller never waits for a
        // slow transmitter.
        std::lock_guard run(runMutex_);
        if (running_) {
          sending_ = true;
          break;
        }
      }
      // The previous thread has decided to end; it is gone at once, so two
      // never transmit together.
      if (sender_.joinable()) sender_.join();
      {
        std::lock_guard run(runMutex_);
        sending_ = true;
        running_ = true;
      }
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
  return !pauseCv_.wait_for(lock, duration, [this] { return closing_.load(); });
}

void CRoboQ::RoboQSendLoop() {
  // Frames should leave on time even when the analysis keeps the machine busy.
  RaiseWorkerThreadPriority("ROBO-Q sending");
  const int now = ++active_;
  for (int seen = maxActive_.load(); now > seen && !maxActive_.compare_exchange_weak(seen, now);) {
  }
  const auto interval = std::chrono::milliseconds(settings_.ReadInt(keys::ROBOQ_INTERVAL));
  for (;;) {
    while (sending_) {
      const auto start = std::chrono::steady_clock::now();
      // A frame that goes unanswered is paced by the quiet wait before the
      // next one, so a silent transmitter is not hammered.
      NoteAnswered(BuildRoboQFrame(band_, speedLevel_, direction_));
      if (interval.count() > 0) {
        const auto rest = interval - Since(start);
        if (rest.count() > 0 && !PauseFor(rest)) break;
      }
    }
    // At close a transmitter that does not answer cannot take the stop frame
    // either; it is not kept waiting for.
    if (!closing_ || answering_) NoteAnswered(BuildRoboQFrame(band_, 0, 1));
    std::lock_guard run(runMutex_);
    if (!sending_ || closing_) {
      running_ = false;
      break;
    }
  }
  --active_;
}

void CRoboQ::NoteAnswered(bool answered) {
  if (answered != answering_.exchange(answered)) {
    if (ConnectionListener* listener = listener_.load()) listener->DeviceConnectionChanged();
  }
  if (answered) {
    reported_ = false;
  } else if (!reported_ && !closing_) {
    reported_ = true;
    ui_.ShowNotice(MSG_DEVICE_NO_ANSWER, MsgIcon::Stop);
  }
}

bool CRoboQ::AwaitAnswer() {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    // Closing does not wait on a transmitter already known to be silent.
    if (closing_ && !answering_) return false;
    const auto left = timings_.ackTimeout - Since(start);
    if (left.count() <= 0) return false;
    std::uint8_t answer = 0;
    const int n = port_.ReadFor(&answer, 1, std::min(left, kWaitSlice));
    if (n != 0) return n > 0;
  }
}

int CRoboQ::DrainUntilQuiet(std::chrono::milliseconds quiet) {
  int came = 0;
  auto quietSince = std::chrono::steady_clock::now();
  std::uint8_t drop[64];
  for (;;) {
    if (closing_) return -1;
    const auto left = quiet - Since(quietSince);
    if (left.count() <= 0) return came;
    const int n = port_.ReadFor(drop, sizeof drop, std::min(left, kWaitSlice));
    if (n > 0) {
      came += n;
      quietSince = std::chrono::steady_clock::now();
    } else if (n < 0) {
      // The device has gone: nothing more will come, but the wait still
      // paces the tries.
      return PauseFor(left) ? came : -1;
    }
  }
}

bool CRoboQ::Resynchronise() {
  const int late = DrainUntilQuiet(timings_.quietTime);
  if (late < 0) return false;
  if (late > 0 && stillExpected_ > 0) {
    // The transmitter is there and took what was sent; one that keeps an
    // exchange it has begun still waits for the rest of it, and would take
    // the next "t" as part of it. The rest (the channel byte if it is owed,
    // then a dark pattern) completes that exchange without lighting the LED.
    // A transmitter that has given up on it ignores these bytes: none is "t"
    // (a pattern byte never is, its lit and dark runs being five slots or
    // more).
    std::vector<std::uint8_t> rest(static_cast<std::size_t>(stillExpected_), 0);
    if (stillExpected_ > kRoboQPatternBytes) rest[0] = RoboQChannelByte(channel_);
    port_.Write(rest.data(), rest.size());
    if (DrainUntilQuiet(timings_.quietTime) < 0) return false;
  }
  // A transmitter that sent nothing at all has lost the exchange (unplugged,
  // restarted) or never had it: either way it starts afresh with "t".
  outOfStep_ = false;
  stillExpected_ = 0;
  return true;
}

bool CRoboQ::Step(const std::uint8_t* bytes, std::size_t count, int stillExpected) {
  if (port_.Write(bytes, count) == static_cast<int>(count) && AwaitAnswer()) return true;
  outOfStep_ = true;
  stillExpected_ = stillExpected;
  return false;
}

bool CRoboQ::BuildRoboQFrame(int band, int speed, int direction) {
  const RoboQPattern pattern = BuildRoboQPattern(RoboQCode(speed, direction, band));
  if (outOfStep_) {
    if (!Resynchronise()) return false;
  } else {
    // In step nothing is owed; whatever is there was not asked for.
    std::uint8_t drop[64];
    while (port_.Read(drop, sizeof drop) > 0) {
    }
  }
  const std::uint8_t transmit = 't';
  const std::uint8_t channel = RoboQChannelByte(channel_);
  return Step(&transmit, 1, 1 + kRoboQPatternBytes) && Step(&channel, 1, kRoboQPatternBytes) &&
         Step(pattern.bytes.data(), pattern.bytes.size(), 0);
}

}  // namespace viren
