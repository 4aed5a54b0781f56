#pragma once

#include <cstdint>

namespace viren {

// One small integer per wish to move the car; every car action goes through
// SendDriveCommand with one of these.
enum DriveCommand : int {
  DRIVE_CHECK = -1,
  DRIVE_STOP = 0,
  DRIVE_FORWARD = 1,
  DRIVE_REVERSE = 2,
  DRIVE_STRAIGHT = 3,
  DRIVE_LEFT = 4,
  DRIVE_RIGHT = 5,
  DRIVE_TURBO_ON = 6,
  DRIVE_TURBO_OFF = 7,
  DRIVE_AUTO_ON = 8,
  DRIVE_AUTO_OFF = 9,
};

// Bits of the drive state word: bit 1 << (k - 1) belongs to controller button k.
enum DriveStateBits : std::uint32_t {
  DRIVE_STATE_FORWARD = 0x02,
  DRIVE_STATE_REVERSE = 0x04,
  DRIVE_STATE_LEFT = 0x08,
  DRIVE_STATE_RIGHT = 0x10,
  DRIVE_STATE_TURBO = 0x20,
  DRIVE_STATE_AUTO = 0x40,
  DRIVE_STATE_MOVING = 0x06,
  DRIVE_STATE_STEERING = 0x18,
};

enum class DeviceMode { Relay, Relay4WD, RoboQ };

}  // namespace viren
