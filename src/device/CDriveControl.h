#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "device/DeviceInterfaces.h"

namespace viren {

struct EngineState;

// Keeps the record of which controller buttons are pressed and carries every
// drive command to the controller picture, the selected device, the program
// interface and the heading estimation.
//
// Thread safe: commands arrive from the window, driving, simulation, capture
// and interface threads. One command's state update, repaint, device output
// and status are one step under a lock, so concurrent commands never
// interleave; DriveState and SpeedLevel are read lock-free. Device message
// boxes raised during a command are shown after the lock is released.
class CDriveControl : public DriveCommander {
 public:
  // `relay` and `roboQ` are the two output paths; the ROBO-Q path is taken
  // while state.controlRoboQ is set, the four-wheel rules while
  // state.control4WD is set (both read at every command).
  CDriveControl(EngineState& state, DriveOutput& relay, DriveOutput& roboQ,
                std::atomic<int>& speedLevel);

  // Collaborators that arrive later (controller window, program interface,
  // frame analysis); null detaches. Any thread.
  void SetControllerView(ControllerView* view) { view_ = view; }
  void SetStatusPublisher(StatusPublisher* publisher) { publisher_ = publisher; }
  void SetPositionTrack(PositionTrack* track) { track_ = track; }
  // LOG_POSITION: a stop then restarts the position log.
  void SetPositionLogging(bool on) { logPosition_ = on; }

  void SendDriveCommand(int code, SendTo to = SendTo::Device) override;
  std::uint32_t DriveState() const override { return driveState_.load(); }
  int SpeedLevel() const override { return speedLevel_.load(); }
  void SetSpeedLevel(int level) override { speedLevel_ = level; }
  DeviceMode deviceMode() const;

  // Changes bits without a device output or repaint (the controller window's
  // creation, the end of automatic driving clearing AUTO, a program loaded
  // through the interface setting it). Returns the new word.
  std::uint32_t ChangeDriveState(std::uint32_t setBits, std::uint32_t clearBits);

 private:
  void ApplyLocked(int code, SendTo to);
  void Repaint(int button, std::uint32_t state);

  EngineState& state_;
  DriveOutput& relay_;
  DriveOutput& roboQ_;
  std::atomic<int>& speedLevel_;
  std::atomic<ControllerView*> view_{nullptr};
  std::atomic<StatusPublisher*> publisher_{nullptr};
  std::atomic<PositionTrack*> track_{nullptr};
  std::atomic<bool> logPosition_{false};

  std::mutex commandMutex_;
  std::atomic<std::uint32_t> driveState_{0};
};

}  // namespace viren
