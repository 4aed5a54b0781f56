#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BridgeMessages.h"
#include "BridgeSettings.h"
#include "api/client/InterfaceClient.h"

struct mosquitto;
struct mosquitto_message;

namespace viren::bridge {

// VIREN's program interface on an MQTT broker: one more client of the
// shared-memory blocks (like viren-ctl) and one client of the broker.
//
// Everything runs on the thread that calls Run(): the broker's network
// traffic (libmosquitto without its own thread), the reading of the blocks
// at the poll interval and the posting of commands, so nothing is shared.
//
// What never happens: a command reaching the car that was queued anywhere
// while the bridge was away from the broker. The session is clean (the
// broker keeps nothing for the bridge while it is disconnected), retained
// command messages are refused, the bridge's own queue is emptied when the
// link goes, a command with a time stamp from before the session or older
// than commandMaxAgeMs is refused, and no command waits in the bridge or in
// the Command block longer than commandMaxAgeMs.
class Bridge {
 public:
  using Log = std::function<void(const std::string&)>;
  Bridge(BridgeSettings settings, Log log);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Runs until `stop` is set (from a signal handler or another thread); then
  // stops a car this bridge set moving, marks the car offline and leaves the
  // broker. 0, or 1 when the broker client could not be set up.
  int Run(const std::atomic<bool>& stop);

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    CommandRequest request;
    std::string idJson;
    Clock::time_point received;
  };
  struct Record {
    std::string json;  // the last payload published, written without its time stamp
    bool dirty = true;
  };

  bool SetUpClient();
  void StartConnect(Clock::time_point now);
  void LinkLost(const std::string& why, Clock::time_point now);
  void PollInterface(Clock::time_point now);
  void Attach(Clock::time_point now);
  void Detach(const std::string& why);
  void PublishRecords();
  void PublishRecord(const char* leaf, Record& last, const std::string& unstamped,
                     const std::string& payload);
  void PublishOnline();
  void ServeCommands(Clock::time_point now);
  void Answer(CommandResult result, const CommandRequest* request, const std::string& idJson,
              const std::string& error = {});
  void StopCarIfBridgeMovedIt(int waitMs);

  void OnConnect(int rc);
  void OnDisconnect(int rc);
  void OnMessage(const mosquitto_message& message);
  static void ConnectCallback(mosquitto*, void* self, int rc);
  static void DisconnectCallback(mosquitto*, void* self, int rc);
  static void MessageCallback(mosquitto*, void* self, const mosquitto_message* message);

  BridgeSettings settings_;
  Log log_;
  client::InterfaceClient car_;
  mosquitto* mqtt_ = nullptr;

  // Broker link.
  bool connecting_ = false;
  bool connected_ = false;
  bool everConnected_ = false;
  Clock::time_point nextAttempt_{};
  Clock::time_point attemptStarted_{};
  int backOffMs_ = 0;
  std::int64_t sessionStartMs_ = 0;  // wall clock, when the broker accepted this session
  int lastRefusal_ = 0;
  bool leaving_ = false;
  std::string lastLibraryError_;

  // VIREN.
  bool attached_ = false;
  Clock::time_point nextAttach_{};
  Clock::time_point nextPoll_{};
  Record position_, status_, ball_;
  std::optional<bool> publishedOnline_;

  // Commands.
  std::deque<Pending> queue_;
  std::optional<Pending> inFlight_;
  bool bridgeMovedCar_ = false;  // a drive command from here was taken since the last stop
};

// Milliseconds since 1970-01-01 UTC.
std::int64_t WallClockMs();

}  // namespace viren::bridge
