#pragma once

// A real Mosquitto broker for tests and benchmarks: the distribution's
// /usr/sbin/mosquitto on a free loopback port, anonymous, no persistence,
// killed when the object goes. Header-only so that the benchmarks (built
// without the tests) use the same one.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace viren::test {

// A TCP port on 127.0.0.1 that nobody listens on just now.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

inline bool AcceptsConnections(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

class BrokerProcess {
 public:
  // `folder`: where its configuration and log go. `extraConfig`: more lines
  // for mosquitto.conf (password file, ACL).
  explicit BrokerProcess(std::string folder, std::string extraConfig = {})
      : folder_(std::move(folder)), port_(FreeLoopbackPort()) {
    std::ofstream conf(folder_ + "/mosquitto.conf");
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "persistence false\n"
         // Started by root, the broker would become the user "mosquitto",
         // who cannot read the test's own folder.
         << (::geteuid() == 0 ? "user root\n" : "")
         << (extraConfig.find("allow_anonymous") == std::string::npos ? "allow_anonymous true\n"
                                                                      : "")
         << extraConfig;
  }
  ~BrokerProcess() { Kill(); }
  BrokerProcess(const BrokerProcess&) = delete;
  BrokerProcess& operator=(const BrokerProcess&) = delete;

  int port() const { return port_; }
  std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

  // Starts it (again, on the same port) and waits until it accepts clients.
  bool Start() {
    Kill();
    // posix_spawn, not fork: the caller may have threads (an MQTT client).
    const std::string log = folder_ + "/mosquitto.log";
    const std::string conf = folder_ + "/mosquitto.conf";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {"mosquitto", "-c", conf.c_str(), nullptr};
    const int rc = ::posix_spawn(&pid_, "/usr/sbin/mosquitto", &actions, nullptr,
                                 const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < giveUp) {
      if (AcceptsConnections(port_)) return true;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // What the broker said (its log).
  std::string Log() const {
    std::ifstream in(folder_ + "/mosquitto.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // SIGKILL: the broker vanishes as on a power cut, without a goodbye.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string folder_;
  int port_;
  pid_t pid_ = -1;
};

}  // namespace viren::test
