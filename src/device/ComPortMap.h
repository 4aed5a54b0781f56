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

// Why the port of COM number `number` at `path` (empty: no device stands for
// the number) could not be opened, given the open's errno, and what the user
// can do about it. `deviceGroup` is the group that owns the device (the one
// to join when permission is refused).
std::string DescribePortOpenFailure(int number, const std::string& path, int error,
                                    const std::string& deviceGroup = "dialout");

// The name of the group owning `path`; "dialout" when it cannot be told.
std::string DeviceGroupOf(const std::string& path);

// Empty when a device stands behind COM `number` (or for 0, no port);
// otherwise which device was looked for: the configured path that does not
// exist, or the n-th serial device of how many found.
std::string MissingComDevice(const Settings& settings, int number,
                             const std::string& devRoot = "/dev");

}  // namespace viren
