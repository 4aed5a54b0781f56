#pragma once

#include <cstdint>

#include "core/DriveTypes.h"

namespace viren {

// Where a drive command goes besides the state word and the controller
// picture: on to the car's device, or nowhere further (the devices are at
// rest already, or the command is a flag they have no use for).
enum class SendTo { Device, StateOnly };

// What the rest of the program needs of the drive control: one entry for
// every wish to move the car, and the current button state. Implemented by
// the device subsystem; callable from any thread.
class DriveCommander {
 public:
  virtual ~DriveCommander() = default;
  virtual void SendDriveCommand(int code, SendTo to = SendTo::Device) = 0;
  virtual std::uint32_t DriveState() const = 0;
  virtual int SpeedLevel() const = 0;
  virtual void SetSpeedLevel(int level) = 0;
};

// Lets go of every button of the car, whatever the state word says: the
// throttle (which also lets go of turbo while moving), the steering and the
// turbo. What every end of driving sends: the end of a run, the emergency
// stop, a device switch, the start of the simulation.
inline void ReleaseAllButtons(DriveCommander& drive) {
  drive.SendDriveCommand(DRIVE_STOP);
  drive.SendDriveCommand(DRIVE_STRAIGHT);
  drive.SendDriveCommand(DRIVE_TURBO_OFF);
}

}  // namespace viren
