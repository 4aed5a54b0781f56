#pragma once

#include <cstdint>

namespace viren {

// The narrow interfaces drive control talks to. Each is called while drive
// control holds its command lock, so none of them may call SendDriveCommand
// or wait for the window thread.

// A device that carries out drive commands: the relay board or the ROBO-Q
// transmitter. Returns false when the device did not take the command; the
// device shows its own messages.
class DriveOutput {
 public:
  virtual ~DriveOutput() = default;
  virtual bool Output(int code) = 0;
};

// The on-screen controller: repaint button k (2..7) pressed or released.
// Must not block on the window thread (post the repaint).
class ControllerView {
 public:
  virtual ~ControllerView() = default;
  virtual void RepaintButton(int button, bool pressed) = 0;
};

// The program interface's "Status" block; called only while the interface is
// active.
class StatusPublisher {
 public:
  virtual ~StatusPublisher() = default;
  virtual void PublishStatus(std::uint32_t driveState) = 0;
};

// Told whenever an output device's connection changes: the relay board
// answered its handshake, stopped answering, came back after a reconnect or
// was closed; the ROBO-Q transmitter was opened or closed, or stopped or
// started answering again. Any thread; must not call back into the device.
class ConnectionListener {
 public:
  virtual ~ConnectionListener() = default;
  virtual void DeviceConnectionChanged() = 0;
};

// The frame analysis' track of recent car positions.
class PositionTrack {
 public:
  virtual ~PositionTrack() = default;
  // Forget the positions the heading is estimated from.
  virtual void ResetPositionRing() = 0;
  // Restart the position log with the current position, heading and target.
  virtual void WritePositionSnapshot() = 0;
};

}  // namespace viren
