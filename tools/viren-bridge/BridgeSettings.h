#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace viren::bridge {

// Everything the bridge runs with, fixed before it starts. Secrets (user
// name, password, TLS keys) come only from the settings file: a command line
// is visible to every user of the computer.
struct BridgeSettings {
  // The broker.
  std::string host = "localhost";
  int port = 1883;
  bool tls = false;  // mqtts://
  std::string username;
  std::string password;
  std::string caFile;  // certificates that sign the broker's; default: the system's
  std::string caPath;
  std::string certFile;  // this bridge's own certificate and key, when the broker asks
  std::string keyFile;
  std::string tlsVersion;    // "tlsv1.2", "tlsv1.3"; empty: the library's choice
  bool tlsInsecure = false;  // do not check the broker's host name (testing only)
  // Seconds without traffic from the broker before it is asked for a sign of
  // life; a silent link (a cable pulled) is noticed within about twice this.
  int keepAliveS = 5;

  // The car.
  std::string name;       // topic level: viren/NAME/...
  std::string shmPrefix;  // names of a VIREN run with that prefix (tests)

  // Pace and safety.
  // How often the records are read; only a changed record goes out, so never
  // more often than VIREN writes it. Twice the simulation's rate (100 per
  // second): polling at 10 ms missed 14 % of the updates (bench_bridge).
  int pollIntervalMs = 5;
  int commandMaxAgeMs = 2000;     // a command older than this never reaches the car
  bool requireTimeStamp = false;  // refuse commands without "t"
  bool stopOnLinkLoss = true;     // stop a car this bridge set moving when the broker goes
  int reconnectMinMs = 250;       // back-off between attempts, doubling up to the maximum
  int reconnectMaxMs = 8000;

  std::string Topic(std::string_view leaf) const {
    return "viren/" + name + "/" + std::string(leaf);
  }
};

struct SettingsResult {
  bool ok = false;
  bool help = false;
  std::string error;  // when !ok
  std::vector<std::string> warnings;
};

// Command line: --broker URL, --name CAR, --config FILE, --prefix P, -h.
// URL: mqtt://host[:port], mqtts://host[:port] (default 1883 / 8883), or
// host[:port]; an IPv6 host in brackets. Reads the settings file named by
// --config, else $XDG_CONFIG_HOME/viren/bridge.conf (~/.config/...) when it
// exists. The name defaults to this computer's host name.
SettingsResult ParseBridgeCommandLine(const std::vector<std::string>& args,
                                      BridgeSettings& settings);

// "key = value" lines, '#' comments. Unknown keys are an error, so that a
// misspelt "pasword" does not pass unnoticed.
SettingsResult ReadBridgeSettingsText(std::string_view text, BridgeSettings& settings);
SettingsResult ReadBridgeSettingsFile(const std::string& path, BridgeSettings& settings);

bool ParseBrokerUrl(std::string_view url, BridgeSettings& settings, std::string& error);

// A topic level: not empty, at most 64 bytes, no '/', '+', '#' or control bytes.
bool ValidCarName(std::string_view name);

}  // namespace viren::bridge
