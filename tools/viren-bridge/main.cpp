// viren-bridge: VIREN's program interface on an MQTT broker, so that other
// computers watch the car and drive it. VIREN runs with -s on this computer.
//
//   viren-bridge [--broker mqtt://HOST[:PORT]] [--name CAR] [--config FILE]
//
// Publishes viren/CAR/position, status and ball (retained JSON, on change)
// and viren/CAR/online; takes commands from viren/CAR/command and answers on
// viren/CAR/command/ack. User name, password and TLS come from the settings
// file. Ends on SIGINT or SIGTERM, stopping a car it set moving.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "Bridge.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int) {
  stopRequested.store(true);
}

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: viren-bridge [--broker mqtt://HOST[:PORT] | mqtts://HOST[:PORT]]\n"
               "                    [--name CAR] [--config FILE] [--prefix P]\n"
               "  --broker   the MQTT broker (default mqtt://localhost:1883)\n"
               "  --name     the car's topic level, viren/CAR/... (default: the host name)\n"
               "  --config   settings file: username, password, cafile, capath, certfile,\n"
               "             keyfile, tls_version, command_max_age_ms, require_time_stamp ...\n"
               "             (default $XDG_CONFIG_HOME/viren/bridge.conf when it exists)\n"
               "  --prefix   shared-memory names of a VIREN run with that prefix\n");
}

}  // namespace

int main(int argc, char** argv) {
  viren::bridge::BridgeSettings settings;
  const auto parsed = viren::bridge::ParseBridgeCommandLine(
      std::vector<std::string>(argv + 1, argv + argc), settings);
  for (const auto& w : parsed.warnings)
    std::fprintf(stderr, "viren-bridge: warning: %s\n", w.c_str());
  if (parsed.help) {
    Usage(stdout);
    return 0;
  }
  if (!parsed.ok) {
    std::fprintf(stderr, "viren-bridge: %s\n", parsed.error.c_str());
    Usage(stderr);
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a broker that vanishes mid-write is a lost link, not an end

  viren::bridge::Bridge bridge(settings, [](const std::string& line) {
    std::fprintf(stderr, "viren-bridge: %s\n", line.c_str());
    std::fflush(stderr);
  });
  return bridge.Run(stopRequested);
}
