#include "BridgeRig.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "FlatJson.h"

namespace viren::test {

namespace {

int WaitExit(pid_t pid, int timeoutMs) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (std::chrono::steady_clock::now() >= giveUp) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment,
                           std::string logFile)
    : logFile_(std::move(logFile)) {
  // The inherited environment, with the caller's settings in place of any
  // of the same name.
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const auto& mine : environment) replaced = replaced || mine.starts_with(name);
    if (!replaced) environment.push_back(entry);
  }
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<char*> env;
  for (auto& e : environment) env.push_back(e.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  Stop(SIGTERM);
}

int ChildProcess::Stop(int signal, int timeoutMs) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int code = WaitExit(pid_, timeoutMs);
  if (code == -2) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    code = -1;
  }
  pid_ = -1;
  return code;
}

std::string ChildProcess::Log() const {
  std::ifstream in(logFile_);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

MqttWatcher::MqttWatcher(int port, const std::string& filter, const std::string& username,
                         const std::string& password) {
  mosquitto_lib_init();
  client_ = mosquitto_new(nullptr, true, this);
  if (!username.empty()) mosquitto_username_pw_set(client_, username.c_str(), password.c_str());
  mosquitto_message_callback_set(client_, &MqttWatcher::OnMessage);
  mosquitto_subscribe_callback_set(client_, &MqttWatcher::OnSubscribe);
  if (mosquitto_connect(client_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return;
  if (mosquitto_subscribe(client_, nullptr, filter.c_str(), 1) != MOSQ_ERR_SUCCESS) return;
  mosquitto_loop_start(client_);
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5), [&] { return subscribed_; });
}

MqttWatcher::~MqttWatcher() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, true);
  mosquitto_destroy(client_);
  mosquitto_lib_cleanup();
}

void MqttWatcher::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
  auto* w = static_cast<MqttWatcher*>(self);
  std::lock_guard lock(w->mutex_);
  w->subscribed_ = true;
  w->changed_.notify_all();
}

void MqttWatcher::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* w = static_cast<MqttWatcher*>(self);
  MqttMessage message{
      m->topic,
      std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
      m->retain, std::chrono::system_clock::now()};
  std::lock_guard lock(w->mutex_);
  w->messages_.push_back(std::move(message));
  w->changed_.notify_all();
}

bool MqttWatcher::Publish(const std::string& topic, const std::string& payload, bool retain) {
  return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), 1, retain) == MOSQ_ERR_SUCCESS;
}

std::optional<MqttMessage> MqttWatcher::WaitFor(
    const std::string& topic, const std::function<bool(const std::string&)>& accept, int timeoutMs,
    std::size_t from) {
  std::unique_lock lock(mutex_);
  std::optional<MqttMessage> found;
  std::size_t next = from;
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (; next < messages_.size(); ++next) {
      if (messages_[next].topic == topic && accept(messages_[next].payload)) {
        found = messages_[next];
        return true;
      }
    }
    return false;
  });
  return found;
}

std::vector<MqttMessage> MqttWatcher::Messages(const std::string& topic) const {
  std::lock_guard lock(mutex_);
  std::vector<MqttMessage> out;
  for (const auto& m : messages_) {
    if (m.topic == topic) out.push_back(m);
  }
  return out;
}

std::size_t MqttWatcher::Count() const {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

std::optional<long long> JsonInt(const std::string& json, const std::string& key) {
  const auto parsed = bridge::ParseFlatJsonObject(json);
  if (!parsed.members) return std::nullopt;
  const auto* v = bridge::FindMember(*parsed.members, key);
  if (!v || !v->isInteger) return std::nullopt;
  return v->integer;
}

std::optional<std::string> JsonText(const std::string& json, const std::string& key) {
  const auto parsed = bridge::ParseFlatJsonObject(json);
  if (!parsed.members) return std::nullopt;
  const auto* v = bridge::FindMember(*parsed.members, key);
  if (!v || v->kind != bridge::JsonValue::Kind::String) return std::nullopt;
  return v->text;
}

std::optional<bool> JsonBool(const std::string& json, const std::string& key) {
  const auto parsed = bridge::ParseFlatJsonObject(json);
  if (!parsed.members) return std::nullopt;
  const auto* v = bridge::FindMember(*parsed.members, key);
  if (!v || v->kind != bridge::JsonValue::Kind::Bool) return std::nullopt;
  return v->boolean;
}

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace viren::test
