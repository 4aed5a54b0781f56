#pragma once

#include <cstdint>

namespace viren {

// What the rest of the program needs of the drive control: one entry for
// every wish to move the car, and the current button state. Implemented by
// the device subsystem; callable from any thread.
class DriveCommander {
 public:
  virtual ~DriveCommander() = default;
  // `output` false changes only the state and the controller picture.
  virtual void SendDriveCommand(int code, bool output = true) = 0;
  virtual std::uint32_t DriveState() const = 0;
  virtual int SpeedLevel() const = 0;
  virtual void SetSpeedLevel(int level) = 0;
};

}  // namespace viren
