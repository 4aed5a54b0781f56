#include "platform/SerialPortEnumeration.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace viren {

namespace fs = std::filesystem;

namespace {

// Devices named prefix<digits> in `folder`, in numeric order.
std::vector<fs::path> NumberedDevices(const fs::path& folder, const std::string& prefix) {
  std::vector<std::pair<long, fs::path>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    found.emplace_back(std::stol(digits), entry.path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

std::string Canonical(const fs::path& p) {
  std::error_code ec;
  const fs::path c = fs::canonical(p, ec);
  return ec ? p.lexically_normal().string() : c.string();
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& devRoot) {
  std::vector<std::string> result;
  std::set<std::string> covered;
  std::error_code ec;
  std::vector<fs::path> byId;
  for (const auto& entry : fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", ec))
    byId.push_back(entry.path());
  std::sort(byId.begin(), byId.end());
  for (const auto& p : byId) {
    result.push_back(p.string());
    covered.insert(Canonical(p));
  }
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const auto& p : NumberedDevices(devRoot, prefix)) {
      if (covered.count(Canonical(p))) continue;
      result.push_back(p.string());
    }
  }
  return result;
}

}  // namespace viren
