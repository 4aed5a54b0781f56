#include "BridgeSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "api/ShmTable.h"

namespace viren::bridge {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool ParseInt(std::string_view text, long low, long high, int& out) {
  const std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseBool(std::string_view text, bool& out) {
  if (text == "yes" || text == "true" || text == "1" || text == "on") {
    out = true;
  } else if (text == "no" || text == "false" || text == "0" || text == "off") {
    out = false;
  } else {
    return false;
  }
  return true;
}

std::string DefaultSettingsPath() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    return std::string(xdg) + "/viren/bridge.conf";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.config/viren/bridge.conf";
  }
  return {};
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "car";
  return name;
}

}  // namespace

bool ValidCarName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    if (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return false;
    }
  }
  return true;
}

bool ParseBrokerUrl(std::string_view url, BridgeSettings& settings, std::string& error) {
  bool tls = false;
  if (url.starts_with("mqtt://")) {
    url.remove_prefix(7);
  } else if (url.starts_with("mqtts://")) {
    url.remove_prefix(8);
    tls = true;
  } else if (url.find("://") != std::string_view::npos) {
    error = "the broker address must begin with mqtt:// or mqtts://";
    return false;
  }
  if (!url.empty() && url.back() == '/') url.remove_suffix(1);
  std::string_view host = url;
  std::string_view port;
  if (url.starts_with("[")) {
    const auto close = url.find(']');
    if (close == std::string_view::npos) {
      error = "an IPv6 address needs its closing ]";
      return false;
    }
    host = url.substr(1, close - 1);
    const auto rest = url.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        error = "':' expected after the IPv6 address";
        return false;
      }
      port = rest.substr(1);
    }
  } else if (const auto colon = url.rfind(':'); colon != std::string_view::npos) {
    host = url.substr(0, colon);
    port = url.substr(colon + 1);
  }
  if (host.empty() || host.find_first_of("/@ ") != std::string_view::npos) {
    error = "no broker host in the address (user names and passwords go in the settings file)";
    return false;
  }
  int portNumber = tls ? 8883 : 1883;
  if (!port.empty() && !ParseInt(port, 1, 65535, portNumber)) {
    error = "the broker port must be 1..65535";
    return false;
  }
  settings.host = std::string(host);
  settings.port = portNumber;
  settings.tls = tls;
  return true;
}

SettingsResult ReadBridgeSettingsText(std::string_view text, BridgeSettings& s) {
  SettingsResult result;
  std::istringstream lines{std::string(text)};
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string_view l = Trim(line);
    if (l.empty() || l.front() == '#') continue;
    const auto eq = l.find('=');
    const std::string where = "line " + std::to_string(number) + ": ";
    if (eq == std::string_view::npos) {
      result.error = where + "key = value expected";
      return result;
    }
    const std::string key(Trim(l.substr(0, eq)));
    const std::string_view value = Trim(l.substr(eq + 1));
    bool good = true;
    if (key == "username") {
      s.username = value;
    } else if (key == "password") {
      s.password = value;
    } else if (key == "cafile") {
      s.caFile = value;
    } else if (key == "capath") {
      s.caPath = value;
    } else if (key == "certfile") {
      s.certFile = value;
    } else if (key == "keyfile") {
      s.keyFile = value;
    } else if (key == "tls_version") {
      good = value == "tlsv1.2" || value == "tlsv1.3";
      s.tlsVersion = value;
    } else if (key == "tls_insecure") {
      good = ParseBool(value, s.tlsInsecure);
    } else if (key == "keepalive") {
      good = ParseInt(value, 5, 3600, s.keepAliveS);
    } else if (key == "poll_interval_ms") {
      good = ParseInt(value, 1, 1000, s.pollIntervalMs);
    } else if (key == "command_max_age_ms") {
      good = ParseInt(value, 100, 60000, s.commandMaxAgeMs);
    } else if (key == "require_time_stamp") {
      good = ParseBool(value, s.requireTimeStamp);
    } else if (key == "stop_on_link_loss") {
      good = ParseBool(value, s.stopOnLinkLoss);
    } else if (key == "reconnect_max_ms") {
      good = ParseInt(value, 100, 600000, s.reconnectMaxMs);
    } else {
      result.error = where + "unknown key \"" + key + "\"";
      return result;
    }
    if (!good) {
      result.error = where + "bad value for " + key;
      return result;
    }
  }
  if ((s.certFile.empty()) != (s.keyFile.empty())) {
    result.error = "certfile and keyfile go together";
    return result;
  }
  if (!s.password.empty() && s.username.empty()) {
    result.error = "a password without a username";
    return result;
  }
  s.reconnectMinMs = std::min(s.reconnectMinMs, s.reconnectMaxMs);
  result.ok = true;
  return result;
}

SettingsResult ReadBridgeSettingsFile(const std::string& path, BridgeSettings& s) {
  std::ifstream in(path);
  if (!in) {
    SettingsResult r;
    r.error = "cannot read the settings file " + path;
    return r;
  }
  std::stringstream text;
  text << in.rdbuf();
  SettingsResult r = ReadBridgeSettingsText(text.str(), s);
  if (!r.ok) {
    r.error = path + ": " + r.error;
    return r;
  }
  struct stat st {};
  if (!s.password.empty() && ::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
    r.warnings.push_back(path + " holds a password and other users may read it (chmod 600 " + path +
                         ")");
  }
  return r;
}

SettingsResult ParseBridgeCommandLine(const std::vector<std::string>& args, BridgeSettings& s) {
  SettingsResult result;
  std::string broker;
  std::string config;
  std::string name;
  s.shmPrefix = api::ShmPrefixFromEnvironment();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "-h" || a == "--help") {
      result.help = true;
      result.ok = true;
      return result;
    } else if (a == "--broker" && hasValue) {
      broker = args[++i];
    } else if (a == "--name" && hasValue) {
      name = args[++i];
    } else if (a == "--config" && hasValue) {
      config = args[++i];
    } else if (a == "--prefix" && hasValue) {
      s.shmPrefix = args[++i];
    } else if (a == "--password" || a == "--username" || a == "-P" || a == "-u") {
      result.error =
          "user name and password go in the settings file (--config), not on the "
          "command line, where every user of this computer sees them";
      return result;
    } else {
      result.error = "unknown option " + a;
      return result;
    }
  }
  if (!broker.empty() && !ParseBrokerUrl(broker, s, result.error)) return result;
  if (config.empty()) {
    const std::string fallback = DefaultSettingsPath();
    struct stat st {};
    if (!fallback.empty() && ::stat(fallback.c_str(), &st) == 0) config = fallback;
  }
  if (!config.empty()) {
    SettingsResult file = ReadBridgeSettingsFile(config, s);
    if (!file.ok) return file;
    result.warnings = std::move(file.warnings);
  }
  if (!s.tls && !(s.caFile.empty() && s.caPath.empty() && s.certFile.empty())) {
    result.error = "TLS settings are given but the broker address is not mqtts://";
    return result;
  }
  s.name = name.empty() ? HostName() : name;
  if (!ValidCarName(s.name)) {
    result.error =
        "the car name \"" + s.name + "\" cannot be a topic level (1..64 bytes, no '/', '+' or '#')";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace viren::bridge
