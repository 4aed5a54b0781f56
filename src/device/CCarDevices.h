#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "device/CDriveControl.h"
#include "device/CRelayBoard.h"
#include "device/CRoboQ.h"

namespace viren {

class Settings;
class UiHost;
struct EngineState;

struct DeviceTimings {
  RelayTimings relay;
  RoboQTimings roboQ;
};

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

  // Start-up: RoboQOpen, and when it fails RelayOpen (message 142 is the
  // engine's when both fail). Shut-down: RelayClose, then RoboQClose.
  bool RoboQOpen() { return roboQ_.RoboQOpen(); }
  bool RelayOpen() { return relay_.RelayOpen(); }
  void RelayClose() { relay_.RelayClose(); }
  void RoboQClose() { roboQ_.RoboQClose(); }

  // Takes port `number` (0 none; the "COM10～" dialog is the caller's),
  // writes it to COM_NO and re-opens the device of the current mode. False
  // for a negative number (nothing changes) or when the device did not open.
  bool SelectComPort(int number);

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
};

}  // namespace viren
