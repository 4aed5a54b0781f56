#include "device/CRelayBoard.h"

#include <algorithm>

#include "core/DiagnosticLog.h"
#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "device/ComPortMap.h"
#include "device/MessageDeferral.h"
#include "device/RelayCommands.h"
#include "platform/ThreadPriority.h"
#include "settings/Settings.h"

namespace viren {

namespace {

using SteadyClock = std::chrono::steady_clock;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch())
      .count();
}

}  // namespace

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
  StopSender(false);
  std::lock_guard lock(portMutex_);
  port_.Close();
}

std::string CRelayBoard::portPath() const {
  std::lock_guard lock(portMutex_);
  return lastPath_;
}

void CRelayBoard::MarkNotConnected() {
  connected_ = false;
  StopSender(false);
  {
    std::lock_guard lock(portMutex_);
    port_.Close();
  }
  reconnecting_.Clear();
  SetAnswering(false);
}

void CRelayBoard::SetAnswering(bool answering) {
  answering_ = answering;
  if (ConnectionListener* listener = listener_.load()) listener->DeviceConnectionChanged();
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
  // The reply of this command is gathered as it arrives, so an answer that
  // comes in pieces ("\r\n", then "OK\r\n") still counts. The board is
  // given pollCount x pollInterval in all, but an answer is taken the moment
  // it arrives: waiting out a whole interval after every command held each
  // one up for 100 ms, and commands given faster than that piled up.
  std::string reply;
  const auto deadline = SteadyClock::now() + timings_.pollInterval * timings_.pollCount;
  char chunk[256];
  for (;;) {
    const auto now = SteadyClock::now();
    auto wait = std::min<SteadyClock::duration>(timings_.pollInterval, deadline - now);
    const long long limit = waitLimitNs_.load();
    if (limit != 0)
      wait = std::min<SteadyClock::duration>(wait, std::chrono::nanoseconds(limit - NowNs()));
    if (wait <= SteadyClock::duration::zero()) return false;
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wait);
    const int n = port_.ReadFor(chunk, sizeof chunk, waitMs);
    if (n > 0) {
      reply.append(chunk, static_cast<std::size_t>(n));
      if (IsRelayAcknowledgement(reply)) return true;
    } else if (n < 0) {
      // The device cannot be read (gone, or hung up): wait as for a silent
      // board, it may be back before the time is up.
      std::this_thread::sleep_for(waitMs);
    }
  }
}

bool CRelayBoard::Exchange(const std::string& text) {
  // Whatever is left from an earlier reply is not part of this one.
  if (port_.BytesWaiting() > 0) {
    char drop[256];
    std::size_t dropped = 0;
    for (int n; (n = port_.Read(drop, sizeof drop)) > 0;) dropped += static_cast<std::size_t>(n);
    diag::Info("relay board: {} late bytes discarded before the next command", dropped);
  }
  port_.Write(text.data(), text.size());
  return PollAcknowledgement();
}

bool CRelayBoard::RelayOutput(int code) {
  if (!connected_) return true;
  {
    std::lock_guard lock(queueMutex_);
    const std::string text = RelayCommandText(code, relayIds_, state_.control4WD.load());
    // Closed meanwhile (shut-down or COM change): nothing to send to.
    if (text.empty() || !senderRunning_ || closing_) return true;
    queue_.push_back({text});
  }
  queueCv_.notify_all();
  return answering_.load();
}

bool CRelayBoard::RelayReconnect() {
  reconnecting_.Set();
  bool acknowledged = false;
  {
    std::lock_guard lock(portMutex_);
    port_.Close();
    if (OpenPort() == SerialPort::kOpenOk) {
      port_.SetRts(true);
      port_.SetDtr(true);
      acknowledged = Exchange("AT\r");
    }
  }
  reconnecting_.Clear();
  diag::Info("relay board: reconnect to \"{}\" {}", lastPath_,
             acknowledged ? "answered" : "found no board");
  SetAnswering(acknowledged);
  return acknowledged;
}

void CRelayBoard::HoldQueued() {
  // The board ends in the state of the newest command for each set of
  // relays; older ones for the same relays need not wait for it.
  for (Pending& p : queue_) {
    const std::string relays = RelaysNamed(p.text);
    auto same = std::find_if(held_.begin(), held_.end(),
                             [&](const Pending& h) { return RelaysNamed(h.text) == relays; });
    if (same != held_.end()) held_.erase(same);
    held_.push_back(std::move(p));
  }
  queue_.clear();
}

void CRelayBoard::SenderLoop() {
  // Commands should reach the board right after the frame that decided them.
  RaiseWorkerThreadPriority("relay board sending");
  std::unique_lock lock(queueMutex_);
  for (;;) {
    if (answering_) {
      queueCv_.wait(lock, [this] { return !queue_.empty() || closing_.load(); });
      if (queue_.empty()) break;  // closing, and everything has gone out
      const Pending p = queue_.pop_front();
      busy_ = true;
      lock.unlock();
      bool ok;
      {
        std::lock_guard port(portMutex_);
        ok = Exchange(p.text);
      }
      // The unanswered command is not sent again: after the reconnect the
      // board may already have carried it out. At close there is no time
      // for a reconnect; what is left is written without waiting.
      if (!ok && (closing_ || !RelayReconnect())) {
        SetAnswering(false);
        if (!closing_) ui_.ShowNotice(MSG_DEVICE_NO_ANSWER, MsgIcon::Stop);
      }
      lock.lock();
      busy_ = false;
      drainedCv_.notify_all();
      continue;
    }

    // The board does not answer: keep what it is asked to do, and try it
    // again now and then without filling the line.
    HoldQueued();
    drainedCv_.notify_all();
    if (closing_) break;
    if (queueCv_.wait_for(lock, timings_.retryInterval, [this] { return closing_.load(); }))
      continue;
    busy_ = true;
    lock.unlock();
    const bool back = RelayReconnect();
    lock.lock();
    busy_ = false;
    if (back) {
      // Found again: it takes what it was asked meanwhile, then the rest.
      HoldQueued();
      queue_.assign(std::make_move_iterator(held_.begin()), std::make_move_iterator(held_.end()));
      held_.clear();
      answering_ = true;
    }
    drainedCv_.notify_all();
  }

  // Closing while the board is silent: the rest commands are written blind,
  // so a board that wakes up this moment still lets go of the car.
  HoldQueued();
  std::vector<Pending> blind = std::move(held_);
  held_.clear();
  lock.unlock();
  {
    std::lock_guard port(portMutex_);
    for (const Pending& p : blind) port_.Write(p.text.data(), p.text.size());
  }
  lock.lock();
  senderRunning_ = false;
  drainedCv_.notify_all();
}

bool CRelayBoard::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queueMutex_);
  return drainedCv_.wait_for(lock, timeout, [this] { return queue_.empty() && !busy_; });
}

void CRelayBoard::StopSender(bool rest) {
  {
    std::lock_guard lock(queueMutex_);
    if (!senderRunning_ && !sender_.joinable()) return;
    if (rest && senderRunning_ && !closing_) {
      for (int code : {DRIVE_STOP, DRIVE_STRAIGHT, DRIVE_TURBO_OFF}) {
        // On a four-wheel car the stop releases all four relays; the others
        // have no command there.
        const std::string text = RelayCommandText(code, relayIds_, state_.control4WD.load());
        if (!text.empty()) queue_.push_back({text});
      }
    }
    if (!rest) {
      queue_.clear();
      held_.clear();
    }
    closing_ = true;
    waitLimitNs_ =
        NowNs() +
        std::chrono::duration_cast<std::chrono::nanoseconds>(timings_.closingWait).count();
  }
  queueCv_.notify_all();
  if (sender_.joinable()) sender_.join();
  std::lock_guard lock(queueMutex_);
  queue_.clear();
  held_.clear();
  closing_ = false;
  waitLimitNs_ = 0;
}

bool CRelayBoard::RelayOpen() {
  StopSender(false);
  connected_ = false;
  {
    std::lock_guard lock(queueMutex_);
    relayIds_ = settings_.ReadString(keys::RELAY_ID).substr(0, 10);
  }
  {
    // A port left open by a failed handshake is not opened twice.
    std::lock_guard lock(portMutex_);
    port_.Close();
  }
  answering_ = true;
  reconnecting_.Clear();
  const int number = settings_.ReadInt(keys::COM_NO);
  if (number == 0) return true;
  std::vector<std::string> failure;
  bool answered = false;
  {
    std::lock_guard lock(portMutex_);
    if (OpenPort() != SerialPort::kOpenOk) {
      failure = ExplainOpenFailure(number);
    } else {
      port_.SetRts(true);
      port_.SetDtr(true);
      answered = Exchange("AT\r");
    }
  }
  // The user must act (connect the board, join the device's group): the
  // reason is told here; start-up adds its own MSG_DEVICE_INIT_FAILED.
  if (!failure.empty()) {
    MessageDeferral::Show(ui_, MSG_PORT_NOT_OPENED, MsgIcon::Stop, std::move(failure));
    return false;
  }
  if (!answered) {
    MessageDeferral::Show(ui_, MSG_BOARD_NO_ANSWER_CHOOSE_PORT, MsgIcon::Stop);
    return false;
  }
  connected_ = true;
  SetAnswering(true);
  {
    std::lock_guard lock(queueMutex_);
    senderRunning_ = true;
  }
  sender_ = std::thread([this] { SenderLoop(); });
  // Every relay at rest before anything else is sent.
  RelayOutput(DRIVE_STOP);
  if (!state_.control4WD) {
    RelayOutput(DRIVE_STRAIGHT);
    RelayOutput(DRIVE_TURBO_OFF);
  }
  Flush();
  return true;
}

void CRelayBoard::RelayClose() {
  // Also a port left open by a failed handshake; nothing is sent to it.
  StopSender(connected_);
  {
    std::lock_guard lock(portMutex_);
    port_.Close();
    connected_ = false;
  }
  SetAnswering(false);
}

}  // namespace viren
