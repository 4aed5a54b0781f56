#include "device/ComPortMap.h"

#include "platform/SerialPortEnumeration.h"
#include "settings/Settings.h"

namespace viren {

std::string ResolveComDevice(const Settings& settings, int number, const std::string& devRoot) {
  if (number < 1 || number > 0xFFFF) return {};
  std::string configured = settings.ReadSettingString("USB", ComDeviceKeyName(number), "");
  if (!configured.empty()) return configured;
  const auto found = ListSerialDevices(devRoot);
  if (static_cast<std::size_t>(number) <= found.size()) return found[number - 1];
  return {};
}

std::string ComPortLabel(const Settings& settings, int number, const std::string& devRoot) {
  std::string label = "COM" + std::to_string(number);
  const std::string path = ResolveComDevice(settings, number, devRoot);
  if (!path.empty()) label += " (" + path + ")";
  return label;
}

}  // namespace viren
