#include "device/ComPortMap.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
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

std::string DescribePortOpenFailure(int number, const std::string& path, int error,
                                    const std::string& deviceGroup) {
  if (path.empty())
    return "このCOM番号のシリアルデバイスがありません（/dev/serial/by-id、/dev/ttyUSB*、"
           "/dev/ttyACM*）。\nボードを接続するか、VIREN.iniの[USB]にCOM_DEVICE" +
           std::to_string(number) + "=デバイスのパス を書いてください。";
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "デバイス" + path + "がありません。ボードの接続を確かめてください。";
    case EACCES:
    case EPERM:
      return "デバイス" + path + "を使う権限がありません。\nユーザーを" + deviceGroup +
             "グループに加えて（sudo adduser $USER " + deviceGroup +
             "）、ログインし直してください。";
    case EBUSY:
      return "デバイス" + path +
             "はほかのプログラムが使用中です。そのプログラムを終了してください。";
    default:
      return "デバイス" + path + "を開けません（" + std::strerror(error) + "）。";
  }
}

std::string DeviceGroupOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "dialout";
  // The buffer of getgrgid is the library's; the name is copied at once.
  if (const group* g = ::getgrgid(st.st_gid); g && g->gr_gid != 0) return g->gr_name;
  return "dialout";
}

}  // namespace viren
