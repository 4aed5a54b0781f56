#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace viren::test {

// A program of the build run the way a user runs it, its standard output
// and error going to `logFile`. SIGTERM at the end (then SIGKILL).
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment,
               std::string logFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // Sends `signal` and waits: the exit code, or -1 when it had to be killed.
  int Stop(int signal, int timeoutMs = 5000);
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  std::string logFile_;
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retain = false;
  std::chrono::system_clock::time_point arrived;
};

// An MQTT client on its own network thread that keeps every message it gets.
class MqttWatcher {
 public:
  // Connects to 127.0.0.1:port and subscribes to `filter`; false from
  // connected() when the broker did not accept it within 5 s.
  MqttWatcher(int port, const std::string& filter, const std::string& username = {},
              const std::string& password = {});
  ~MqttWatcher();
  MqttWatcher(const MqttWatcher&) = delete;
  MqttWatcher& operator=(const MqttWatcher&) = delete;

  bool connected() const { return subscribed_; }
  bool Publish(const std::string& topic, const std::string& payload, bool retain = false);
  // The first message on `topic` for which `accept` holds, among all messages
  // from the start or from the `from`-th on (see Count()), waiting up to
  // `timeoutMs`.
  std::optional<MqttMessage> WaitFor(const std::string& topic,
                                     const std::function<bool(const std::string&)>& accept,
                                     int timeoutMs, std::size_t from = 0);
  std::vector<MqttMessage> Messages(const std::string& topic) const;
  // How many messages on any topic came so far.
  std::size_t Count() const;

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);
  static void OnSubscribe(mosquitto*, void* self, int, int, const int*);

  mosquitto* client_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<MqttMessage> messages_;
  bool subscribed_ = false;
};

// A member of a one-level JSON object as an integer (nullopt when missing).
std::optional<long long> JsonInt(const std::string& json, const std::string& key);
std::optional<std::string> JsonText(const std::string& json, const std::string& key);
std::optional<bool> JsonBool(const std::string& json, const std::string& key);

// Milliseconds since 1970, as the bridge stamps its messages.
long long NowMs();

}  // namespace viren::test
