#pragma once

#include <string>

namespace viren {

class Settings;

// The device path COM number `number` stands for: VIREN.ini [USB]
// COM_DEVICE<number> when set, else the number-th serial device found
// (ListSerialDevices). Empty when there is none or the number is not 1..65535.
std::string ResolveComDevice(const Settings& settings, int number,
                             const std::string& devRoot = "/dev");

// How menus and messages name a port: "COM3 (/dev/ttyUSB0)", or "COM3" when
// no device stands behind the number.
std::string ComPortLabel(const Settings& settings, int number, const std::string& devRoot = "/dev");

// Empty when a device stands behind COM `number` (or for 0, no port);
// otherwise which device was looked for: the configured path that does not
// exist, or the n-th serial device of how many found.
std::string MissingComDevice(const Settings& settings, int number,
                             const std::string& devRoot = "/dev");

}  // namespace viren
