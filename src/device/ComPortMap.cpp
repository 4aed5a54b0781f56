#include "device/ComPortMap.h"

#include <filesystem>

#include "platform/SerialPortEnumeration.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

namespace viren {

std::string ResolveComDevice(const Settings& settings, int number, const std::string& devRoot) {
  if (number < 1 || number > 0xFFFF) return {};
  std::string configured = settings.ReadSettingString("USB", ComDeviceKeyName(number), "");
  if (!configured.empty()) return configured;
  const auto found = ListSerialDevices(devRoot);
  if (static_cast<std::size_t>(number) <= found.size()) return found[number - 1];
  return {};
}

std::string MissingComDevice(const Settings& settings, int number, const std::string& devRoot) {
  if (number == 0) return {};
  const std::string key = ComDeviceKeyName(number);
  const std::string configured = settings.ReadSettingString("USB", key, "");
  if (!configured.empty()) {
    std::error_code ec;
    if (std::filesystem::exists(configured, ec)) return {};
    return "VIREN.iniの[USB] " + key + "に書かれた" + configured;
  }
  const auto found = ListSerialDevices(devRoot);
  if (number >= 1 && static_cast<std::size_t>(number) <= found.size()) return {};
  return std::to_string(number) + "番目のシリアルデバイス(" + devRoot + "/serial/by-id, " +
         devRoot + "/ttyUSB*, " + devRoot + "/ttyACM*。見つかったのは" +
         std::to_string(found.size()) + "個)";
}

std::string ComPortLabel(const Settings& settings, int number, const std::string& devRoot) {
  std::string label = "COM" + std::to_string(number);
  const std::string path = ResolveComDevice(settings, number, devRoot);
  if (!path.empty()) label += " (" + path + ")";
  return label;
}

}  // namespace viren
