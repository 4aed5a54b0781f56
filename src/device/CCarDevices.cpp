#include "device/CCarDevices.h"

#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "device/ComPortMap.h"
#include "settings/Settings.h"

namespace viren {

CCarDevices::CCarDevices(Settings& settings, EngineState& state, UiHost& ui, DeviceTimings timings)
    : settings_(settings),
      state_(state),
      relay_(settings, state, ui, timings.relay),
      roboQ_(settings, state, ui, speedLevel_, relay_, timings.roboQ),
      drive_(state, relay_, roboQ_, speedLevel_) {
  relay_.SetConnectionListener(this);
  roboQ_.SetConnectionListener(this);
}

CCarDevices::~CCarDevices() {
  roboQ_.RoboQClose();
  relay_.SetConnectionListener(nullptr);
  roboQ_.SetConnectionListener(nullptr);
}

void CCarDevices::DeviceConnectionChanged() {
  std::lock_guard lock(connectionMutex_);
  state_.deviceConnected = relay_.reachable() || roboQ_.isOpen();
}

bool CCarDevices::SelectComPort(int number) {
  if (number < 0) return false;
  settings_.WriteInt(keys::COM_NO, number);
  if (state_.controlRoboQ) {
    roboQ_.RoboQClose();
    return roboQ_.RoboQOpen();
  }
  if (relay_.connected()) relay_.RelayClose();
  return relay_.RelayOpen();
}

void CCarDevices::KeepComPortForLater(int number) {
  settings_.WriteInt(keys::COM_NO, number);
  relay_.RelayClose();
  roboQ_.RoboQClose();
}

bool CCarDevices::SwitchDevice(bool roboQ) {
  if (stopRun_) stopRun_();
  // Both are let go of: only one is open, and a relay port left open by a
  // failed handshake still holds its lock.
  relay_.RelayClose();
  roboQ_.RoboQClose();
  state_.controlRoboQ = roboQ;
  // The devices are at rest now; the buttons on the screen follow them.
  for (int code : {DRIVE_STOP, DRIVE_STRAIGHT, DRIVE_TURBO_OFF})
    drive_.SendDriveCommand(code, SendTo::StateOnly);
  return roboQ ? roboQ_.RoboQOpen() : relay_.RelayOpen();
}

LinkHealth CCarDevices::linkHealth() const {
  if (state_.simulating) return LinkHealth::Simulating;
  if (state_.controlRoboQ) {
    if (!roboQ_.isOpen()) return LinkHealth::NoDevice;
    return roboQ_.answering() ? LinkHealth::Connected : LinkHealth::NotAnswering;
  }
  if (!relay_.connected()) return LinkHealth::NoDevice;
  return relay_.answering() ? LinkHealth::Connected : LinkHealth::NotAnswering;
}

std::string CCarDevices::ComPortLabel(int number) const {
  return viren::ComPortLabel(settings_, number);
}

}  // namespace viren
