#include "device/CRelayBoard.h"

#include <thread>

#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/ComPortMap.h"
#include "device/MessageDeferral.h"
#include "device/RelayCommands.h"
#include "settings/Settings.h"

namespace viren {

void ReconnectingFlag::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
}

void ReconnectingFlag::Clear() {
  {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  cv_.notify_all();
}

bool ReconnectingFlag::WaitClear(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [this] { return !set_.load(); });
}

CRelayBoard::CRelayBoard(Settings& settings, EngineState& state, UiHost& ui, RelayTimings timings)
    : settings_(settings), state_(state), ui_(ui), timings_(timings) {}

CRelayBoard::~CRelayBoard() {
  std::lock_guard lock(portMutex_);
  port_.Close();
}

std::string CRelayBoard::portPath() const {
  std::lock_guard lock(portMutex_);
  return lastPath_;
}

void CRelayBoard::MarkNotConnected() {
  connected_ = false;
  reconnecting_.Clear();
  SetAnswering(false);
}

void CRelayBoard::SetAnswering(bool answering) {
  answering_ = answering;
  if (ConnectionListener* listener = listener_.load()) listener->DeviceConnectionChanged();
}

void CRelayBoard::Show(int id) {
  MessageDeferral::Show(ui_, id, MsgIcon::Stop);
}

int CRelayBoard::OpenPort() {
  const int number = settings_.ReadInt(keys::COM_NO);
  lastPath_ = ResolveComDevice(settings_, number);
  if (lastPath_.empty()) return SerialPort::kCannotOpen;
  return port_.Open(lastPath_, 9600, 8, SerialPort::PARITY_NONE, SerialPort::STOP_ONE);
}

std::vector<std::string> CRelayBoard::ExplainOpenFailure(int number) const {
  return {ComPortLabel(settings_, number),
          DescribePortOpenFailure(number, lastPath_, port_.openError(), DeviceGroupOf(lastPath_))};
}

bool CRelayBoard::PollAcknowledgement() {
  // The reply of this command is gathered over the polls, so an answer that
  // arrives in pieces ("\r\n", then "OK\r\n") still counts.
  std::string reply;
  for (int i = 0; i < timings_.pollCount; ++i) {
    const int waiting = port_.BytesWaiting();
    if (waiting > 0) {
      std::string chunk(static_cast<std::size_t>(waiting), '\0');
      const int n = port_.Read(chunk.data(), chunk.size());
      if (n > 0) reply.append(chunk.data(), static_cast<std::size_t>(n));
      if (IsRelayAcknowledgement(reply)) return true;
    }
    std::this_thread::sleep_for(timings_.pollInterval);
  }
  return false;
}

bool CRelayBoard::Exchange(const std::string& text) {
  // Whatever is left from an earlier reply is not part of this one.
  if (port_.BytesWaiting() > 0) {
    char drop[256];
    while (port_.Read(drop, sizeof drop) > 0) {
    }
  }
  port_.Write(text.data(), text.size());
  return PollAcknowledgement();
}

bool CRelayBoard::WaitForOk(ReconnectingFlag* flag) {
  if (flag) return flag->WaitClear(timings_.pollInterval * timings_.pollCount);
  std::lock_guard lock(portMutex_);
  return PollAcknowledgement();
}

bool CRelayBoard::RelayOutput(int code) {
  if (!connected_) return true;
  if (reconnecting_.IsSet() && !WaitForOk(&reconnecting_)) return false;
  std::string text;
  {
    std::lock_guard lock(portMutex_);
    text = RelayCommandText(code, relayIds_, state_.control4WD.load());
    // Closed meanwhile (shut-down or COM change): nothing to send to.
    if (text.empty() || !connected_) return true;
    if (Exchange(text)) return true;
  }
  if (code == DRIVE_CHECK) return false;
  // The unanswered command is not sent again: after the reconnect the board
  // may already have carried it out.
  return RelayReconnect();
}

bool CRelayBoard::RelayReconnect() {
  reconnecting_.Set();
  bool acknowledged = false;
  {
    std::lock_guard lock(portMutex_);
    if (!connected_) {
      // RelayClose ran meanwhile: the port stays closed.
      reconnecting_.Clear();
      return false;
    }
    port_.Close();
    if (OpenPort() != SerialPort::kOpenOk) {
      reconnecting_.Clear();
    } else {
      reconnecting_.Clear();
      port_.SetRts(true);
      port_.SetDtr(true);
      acknowledged = Exchange("AT\r");
    }
  }
  SetAnswering(acknowledged);
  if (!acknowledged) Show(194);
  return acknowledged;
}

bool CRelayBoard::RelayOpen() {
  {
    std::lock_guard lock(portMutex_);
    relayIds_ = settings_.ReadString(keys::RELAY_ID).substr(0, 10);
    // A port left open by a failed handshake is not opened twice.
    port_.Close();
  }
  connected_ = false;
  reconnecting_.Clear();
  SetAnswering(false);
  const int number = settings_.ReadInt(keys::COM_NO);
  if (number == 0) return true;
  std::vector<std::string> failure;
  {
    std::lock_guard lock(portMutex_);
    if (OpenPort() != SerialPort::kOpenOk) {
      failure = ExplainOpenFailure(number);
    } else {
      port_.SetRts(true);
      port_.SetDtr(true);
    }
  }
  // The user must act (connect the board, join the device's group): the
  // reason is told here; start-up adds its own 142.
  if (!failure.empty()) {
    MessageDeferral::Show(ui_, kMessagePortNotOpened, MsgIcon::Stop, std::move(failure));
    return false;
  }
  connected_ = true;
  const bool answered = RelayOutput(DRIVE_CHECK);
  connected_ = answered;
  SetAnswering(answered);
  if (!answered) {
    Show(141);
    return false;
  }
  RelayOutput(DRIVE_STOP);
  if (connected_ && !state_.control4WD) {
    RelayOutput(DRIVE_STRAIGHT);
    RelayOutput(DRIVE_TURBO_OFF);
  }
  return true;
}

void CRelayBoard::RelayClose() {
  if (connected_) {
    RelayOutput(DRIVE_STOP);
    if (connected_ && !state_.control4WD) {
      RelayOutput(DRIVE_STRAIGHT);
      RelayOutput(DRIVE_TURBO_OFF);
    }
  }
  // Also a port left open by a failed handshake; nothing is sent to it.
  {
    std::lock_guard lock(portMutex_);
    port_.Close();
    connected_ = false;
  }
  SetAnswering(false);
}

}  // namespace viren
