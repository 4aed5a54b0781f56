#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "device/CDriveControl.h"
#include "device/CRelayBoard.h"
#include "device/CRoboQ.h"

namespace viren {

class Settings;
class UiHost;
struct EngineState;

// What the status bar says about the car's link.
enum class LinkHealth { NoDevice, Connected, NotAnswering, Simulating };

// The car's control and output devices as the engine owns them: drive
// control, the relay board and the ROBO-Q transmitter, sharing one SpeedLevel.
//
// It keeps EngineState::deviceConnected: set while the relay board answers or
// the ROBO-Q transmitter is open, whichever thread changed them.
class CCarDevices final : public ConnectionListener {
 public:
  CCarDevices(Settings& settings, EngineState& state, UiHost& ui, DeviceTimings timings = {});
  ~CCarDevices() override;
  CCarDevices(const CCarDevices&) = delete;
  CCarDevices& operator=(const CCarDevices&) = delete;

  CDriveControl& drive() { return drive_; }
  CRelayBoard& relay() { return relay_; }
  CRoboQ& roboQ() { return roboQ_; }

  // Start-up: RoboQOpen, and when it fails RelayOpen (MSG_DEVICE_INIT_FAILED is the
  // engine's when both fail). Shut-down: RelayClose, then RoboQClose.
  bool RoboQOpen() { return roboQ_.RoboQOpen(); }
  bool RelayOpen() { return relay_.RelayOpen(); }
  void RelayClose() { relay_.RelayClose(); }
  void RoboQClose() { roboQ_.RoboQClose(); }

  // Takes port `number` (0 none; the "COM10～" dialog is the caller's),
  // writes it to COM_NO and re-opens the device of the current mode. False
  // for a negative number (nothing changes) or when the device did not open.
  bool SelectComPort(int number);
  // Writes port `number` to COM_NO for a device that is not plugged in yet,
  // and lets go of the device in use; nothing is opened, nothing is said.
  void KeepComPortForLater(int number);

  // Hands the car over to the relay board (`roboQ` false) or the ROBO-Q
  // transmitter, as the parameter dialog's ROBO-Q switch asks: a running
  // program is ended, the device in use lets go of the car (relays at rest
  // and its port closed with its exclusive lock, or the transmitter's stop
  // frame sent and its port closed), the buttons are released, and only then
  // does the other device open. True when it opened. Window thread.
  bool SwitchDevice(bool roboQ);
  // Called first by SwitchDevice: ends a running program (the engine's).
  void SetRunStopper(std::function<void()> stopRun) { stopRun_ = std::move(stopRun); }

  // The link to the car as the status bar shows it. Any thread.
  LinkHealth linkHealth() const;

  // How the menu names port `number`, with the device path behind it.
  std::string ComPortLabel(int number) const;

 private:
  void DeviceConnectionChanged() override;

  Settings& settings_;
  EngineState& state_;
  std::atomic<int> speedLevel_{2};
  // Two devices may change at once; the last to report sees both changes.
  std::mutex connectionMutex_;
  CRelayBoard relay_;
  CRoboQ roboQ_;
  CDriveControl drive_;
  std::function<void()> stopRun_;
};

}  // namespace viren
