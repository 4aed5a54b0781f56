#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceInterfaces.h"
#include "platform/SerialPort.h"

namespace viren {

class Settings;
class UiHost;
struct EngineState;

// How long the board is given to answer: pollCount checks pollInterval apart
// (about 5 s). Tests shorten them.
struct RelayTimings {
  std::chrono::milliseconds pollInterval{100};
  int pollCount{50};
};

// Set while RelayReconnect closes and re-opens the port; other senders wait
// until it clears. Thread safe.
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
// Thread safe: drive commands arrive from any thread; one command and its
// acknowledgement are one exchange on the port, and exchanges never overlap.
// Message boxes (141, 194) are shown on the calling thread, after the port is
// released, and held back while the caller holds drive control's lock
// (MessageDeferral).
class CRelayBoard : public DriveOutput {
 public:
  CRelayBoard(Settings& settings, EngineState& state, UiHost& ui, RelayTimings timings = {});
  ~CRelayBoard() override;
  CRelayBoard(const CRelayBoard&) = delete;
  CRelayBoard& operator=(const CRelayBoard&) = delete;

  // Opens COM_NO, handshakes and puts every relay at rest. True also when no
  // board is configured (COM_NO 0); false, silently, when the port cannot be
  // opened; false with message 141 when the board does not answer.
  bool RelayOpen();
  // Sends the command for `code` and waits for the acknowledgement; without
  // one, reconnects (message 194 when that fails too). True when not connected
  // or when the code has no command on this car.
  bool RelayOutput(int code);
  // Closes and re-opens the port and handshakes again.
  bool RelayReconnect();
  // Without a flag: polls the port for the acknowledgement of the command just
  // written (about 5 s). With the reconnecting flag: waits until it clears.
  bool WaitForOk(ReconnectingFlag* flag = nullptr);
  // Puts the relays at rest and closes the port; the board is then not
  // connected.
  void RelayClose();

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
  ReconnectingFlag& reconnectingFlag() { return reconnecting_; }
  // The ROBO-Q transmitter takes over the port number: no relay output.
  void MarkNotConnected();
  // Device path of the port last opened (empty before).
  std::string portPath() const;

 private:
  int OpenPort();                          // port lock held
  bool Exchange(const std::string& text);  // port lock held
  bool PollAcknowledgement();              // port lock held
  void Show(int id);
  // The arguments of message 20002 for a port that did not open: the port
  // and the reason. Port lock held.
  std::vector<std::string> ExplainOpenFailure(int number) const;
  void SetAnswering(bool answering);

  Settings& settings_;
  EngineState& state_;
  UiHost& ui_;
  const RelayTimings timings_;

  mutable std::mutex portMutex_;
  SerialPort port_;
  std::string lastPath_;
  std::string relayIds_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> answering_{false};
  ReconnectingFlag reconnecting_;
  std::atomic<ConnectionListener*> listener_{nullptr};
};

}  // namespace viren
