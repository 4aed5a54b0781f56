#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/DeviceInterfaces.h"
#include "device/DeviceTimings.h"
#include "platform/SerialPort.h"

namespace viren {

class Settings;
class UiHost;
struct EngineState;

// Set while the port is being closed and re-opened after a missing answer.
// The ROBO-Q path looks at it. Thread safe.
class ReconnectingFlag {
 public:
  void Set();
  void Clear();
  bool IsSet() const { return set_.load(); }
  // True as soon as the flag is clear, false when it is still set after
  // `timeout`.
  bool WaitClear(std::chrono::milliseconds timeout);

 private:
  std::atomic<bool> set_{false};
  std::mutex mutex_;
  std::condition_variable cv_;
};

// The relay I/O board on its serial port: relays wired across the buttons of
// the car's own remote controller, switched by short text commands that the
// board acknowledges with "OK".
//
// Thread safe. RelayOpen handshakes on the calling thread; from then on a
// sending thread of the board's own carries every command to the port and
// waits for its answer, so a drive command never waits for the board (the
// window stays responsive when the board falls silent). Commands go out in
// the order they were given. When the board does not answer and cannot be
// reached again, MSG_DEVICE_NO_ANSWER is shown once, without waiting for anybody, and
// the board is tried again every retryInterval; commands given meanwhile are
// kept, the newest one for each set of relays, and sent when it answers again.
class CRelayBoard : public DriveOutput {
 public:
  CRelayBoard(Settings& settings, EngineState& state, UiHost& ui, RelayTimings timings = {});
  ~CRelayBoard() override;
  CRelayBoard(const CRelayBoard&) = delete;
  CRelayBoard& operator=(const CRelayBoard&) = delete;

  // Opens COM_NO, handshakes and puts every relay at rest (waiting until the
  // board has taken the rest commands). True also when no board is configured
  // (COM_NO 0); false, silently, when the port cannot be opened; false with
  // MSG_BOARD_NO_ANSWER_CHOOSE_PORT when the board does not answer. Any thread but the sender.
  bool RelayOpen();
  // Queues the command for `code`; never waits for the board. True when the
  // command was taken (or there is nothing to send: not connected, or no
  // command for this code on this car); false while the board is not
  // answering (the command is kept for when it answers again).
  bool RelayOutput(int code);
  // Puts the relays at rest and closes the port, releasing its exclusive
  // lock; the board is then not connected. Returns within about closingWait
  // even when the board is silent: the rest commands are then written
  // without waiting for an answer.
  void RelayClose();
  // Waits until every queued command has been carried out or put aside for a
  // silent board; false after `timeout`.
  bool Flush(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  bool Output(int code) override { return RelayOutput(code); }

  // Told whenever reachable() may have changed. Any thread; null detaches.
  void SetConnectionListener(ConnectionListener* listener) { listener_ = listener; }

  // Drive commands go to the board (they do nothing while this is false).
  // It stays set when a reconnect fails, so that later commands try again.
  bool connected() const { return connected_.load(); }
  // Connected, and the board answered its last handshake: the car can be
  // driven. Cleared when a reconnect finds no board, set again when a later
  // one does.
  bool reachable() const { return connected_.load() && answering_.load(); }
  // Connected and answering (false during an outage).
  bool answering() const { return connected_.load() && answering_.load(); }
  ReconnectingFlag& reconnectingFlag() { return reconnecting_; }
  // The ROBO-Q transmitter takes over the port number: no relay output, and
  // the port (with its exclusive lock) is let go without sending anything.
  void MarkNotConnected();
  // Device path of the port last opened (empty before).
  std::string portPath() const;

 private:
  struct Pending {
    std::string text;
  };
  // First in, first out, in a vector that keeps its room: it empties often,
  // so once it has held a few commands queuing one allocates nothing.
  class PendingQueue {
   public:
    bool empty() const { return head_ == items_.size(); }
    void push_back(Pending p) {
      if (head_ > 0 && items_.size() == items_.capacity()) {
        items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
      }
      items_.push_back(std::move(p));
    }
    Pending pop_front() {
      Pending p = std::move(items_[head_++]);
      if (empty()) clear();
      return p;
    }
    void clear() {
      items_.clear();
      head_ = 0;
    }
    template <class It>
    void assign(It first, It last) {
      items_.assign(first, last);
      head_ = 0;
    }
    std::vector<Pending>::iterator begin() {
      return items_.begin() + static_cast<std::ptrdiff_t>(head_);
    }
    std::vector<Pending>::iterator end() { return items_.end(); }

   private:
    std::vector<Pending> items_;
    std::size_t head_ = 0;
  };

  int OpenPort();                          // port lock held
  bool Exchange(const std::string& text);  // port lock held
  bool PollAcknowledgement();              // port lock held
  // The arguments of MSG_PORT_NOT_OPENED for a port that did not open: the port
  // and the reason. Port lock held.
  std::vector<std::string> ExplainOpenFailure(int number) const;
  void SetAnswering(bool answering);
  // Closes and re-opens the port and handshakes again (sending thread).
  bool RelayReconnect();
  void SenderLoop();
  // Moves queued commands aside while the board is silent (queue lock held).
  void HoldQueued();
  // Ends the sending thread; with `rest`, the rest commands go out first.
  void StopSender(bool rest);

  Settings& settings_;
  EngineState& state_;
  UiHost& ui_;
  const RelayTimings timings_;

  mutable std::mutex portMutex_;
  SerialPort port_;
  std::string lastPath_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> answering_{true};
  ReconnectingFlag reconnecting_;
  std::atomic<ConnectionListener*> listener_{nullptr};
  // Set when the board is being closed: waits for an answer end at this
  // time (steady clock, in nanoseconds since its epoch); 0 = no limit.
  std::atomic<long long> waitLimitNs_{0};

  std::mutex queueMutex_;
  std::condition_variable queueCv_;    // work for the sender, or closing
  std::condition_variable drainedCv_;  // the sender has nothing left to do
  std::string relayIds_;               // under queueMutex_
  PendingQueue queue_;                 // under queueMutex_
  std::vector<Pending> held_;          // under queueMutex_: kept while silent
  std::atomic<bool> closing_{false};   // written under queueMutex_
  bool busy_ = false;                  // under queueMutex_
  bool senderRunning_ = false;         // under queueMutex_
  std::thread sender_;
};

}  // namespace viren
