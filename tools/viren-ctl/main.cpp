// viren-ctl: watch and drive the car from the command line through VIREN's
// program interface (VIREN started with -s).
//
//   viren-ctl position | status | ball      print the record once
//   viren-ctl watch [--count N] [--interval MS]
//                                           print every change until Ctrl+C
//   viren-ctl send CODE PARAM [--timeout MS]
//                                           post a command and wait until taken
//   --prefix P                              names of a VIREN run with that prefix
//                                           (default: $VIREN_SHM_PREFIX, normally unset)
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api/client/InterfaceClient.h"

namespace {

using viren::client::InterfaceClient;
namespace api = viren::api;

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) {
  interrupted = 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: viren-ctl [--prefix P] position|status|ball\n"
               "       viren-ctl [--prefix P] watch [--count N] [--interval MS]\n"
               "       viren-ctl [--prefix P] send CODE PARAM [--timeout MS]\n");
  return 2;
}

bool ParseInt(std::string_view text, long long low, long long high, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const std::string s(text);
  errno = 0;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

std::string PositionText(const api::QuadRecord& p) {
  char line[128];
  std::snprintf(line, sizeof line, "position state=%u x=%d y=%d turns=%d heading=%d", p.state,
                p.values[0], p.values[1], p.values[2], p.values[3]);
  return line;
}

std::string StatusText(const api::StatusRecord& s) {
  static constexpr struct {
    unsigned bit;
    const char* name;
  } kBits[] = {{0x02, "FORWARD"}, {0x04, "REVERSE"}, {0x08, "LEFT"},
               {0x10, "RIGHT"},   {0x20, "TURBO"},   {0x40, "AUTO"}};
  char line[128];
  std::snprintf(line, sizeof line, "status state=%u drive=0x%04X", s.state, s.driveState);
  std::string text = line;
  for (const auto& b : kBits) {
    if (s.driveState & b.bit) {
      text += ' ';
      text += b.name;
    }
  }
  return text;
}

std::string BallText(const api::QuadRecord& b) {
  char line[128];
  std::snprintf(line, sizeof line, "ball state=%u left=%d top=%d right=%d bottom=%d", b.state,
                b.values[0], b.values[1], b.values[2], b.values[3]);
  return line;
}

int Fail(const char* what, int result) {
  std::fprintf(stderr, "viren-ctl: %s: %s (%d)\n", what, viren::client::ShmResultText(result),
               result);
  return 1;
}

int PrintOnce(InterfaceClient& client, std::string_view what) {
  std::string text;
  if (what == "position") {
    if (auto p = client.ReadPosition()) text = PositionText(*p);
  } else if (what == "status") {
    if (auto s = client.ReadStatus()) text = StatusText(*s);
  } else {
    if (auto b = client.ReadBall()) text = BallText(*b);
  }
  if (text.empty()) return Fail("reading the block failed", api::SHM_FAILED);
  std::printf("%s\n", text.c_str());
  return 0;
}

int Watch(InterfaceClient& client, int count, int intervalMs) {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  std::string last[3];
  int printed = 0;
  auto presenceCheck = std::chrono::steady_clock::now();
  while (!interrupted) {
    std::string now[3];
    if (auto p = client.ReadPosition()) now[0] = PositionText(*p);
    if (auto s = client.ReadStatus()) now[1] = StatusText(*s);
    if (auto b = client.ReadBall()) now[2] = BallText(*b);
    for (int i = 0; i < 3; ++i) {
      if (now[i].empty() || now[i] == last[i]) continue;
      last[i] = now[i];
      std::printf("%s\n", now[i].c_str());
      std::fflush(stdout);
      if (count > 0 && ++printed >= count) return 0;
    }
    // Holding the blocks keeps them registered; once VIREN has ended, let go.
    if (std::chrono::steady_clock::now() - presenceCheck > std::chrono::seconds(1)) {
      presenceCheck = std::chrono::steady_clock::now();
      if (!client.ServerPresent()) {
        std::fprintf(stderr, "viren-ctl: VIREN's program interface has ended\n");
        return 1;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  std::string prefix = api::ShmPrefixFromEnvironment();
  int count = 0;
  int intervalMs = 50;
  int timeoutMs = 3000;
  std::vector<std::string_view> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--prefix" && hasValue) {
      prefix = std::string(args[++i]);
    } else if (a == "--count" && hasValue) {
      if (!ParseInt(args[++i], 1, 1000000000, count)) return Usage();
    } else if (a == "--interval" && hasValue) {
      if (!ParseInt(args[++i], 1, 60000, intervalMs)) return Usage();
    } else if (a == "--timeout" && hasValue) {
      if (!ParseInt(args[++i], 0, 600000, timeoutMs)) return Usage();
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) return Usage();
  const std::string_view command = words[0];
  int code = 0;
  int parameter = 0;
  if (command == "send") {
    if (words.size() != 3 || !ParseInt(words[1], INT32_MIN, INT32_MAX, code) ||
        !ParseInt(words[2], INT32_MIN, INT32_MAX, parameter)) {
      return Usage();
    }
  } else if (words.size() != 1 || (command != "position" && command != "status" &&
                                   command != "ball" && command != "watch")) {
    return Usage();
  }

  InterfaceClient client(prefix);
  if (const int rc = client.Open(); rc != api::SHM_OK) return Fail("opening the blocks", rc);

  if (command == "watch") return Watch(client, count, intervalMs);
  if (command != "send") return PrintOnce(client, command);

  if (const int rc = client.PostCommand(code, parameter, timeoutMs); rc != api::SHM_OK) {
    return Fail("posting the command", rc);
  }
  if (!client.WaitCommandTaken(timeoutMs)) {
    std::fprintf(stderr, "viren-ctl: the command was posted but not taken within %d ms\n",
                 timeoutMs);
    return 3;
  }
  std::printf("command %d %d taken\n", code, parameter);
  return 0;
}
