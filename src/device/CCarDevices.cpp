#include "device/CCarDevices.h"

#include "core/EngineState.h"
#include "device/ComPortMap.h"
#include "settings/Settings.h"

namespace viren {

CCarDevices::CCarDevices(Settings& settings, EngineState& state, UiHost& ui, DeviceTimings timings)
    : settings_(settings),
      state_(state),
      relay_(settings, state, ui, timings.relay),
      roboQ_(settings, state, speedLevel_, relay_, timings.roboQ),
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

std::string CCarDevices::ComPortLabel(int number) const {
  return viren::ComPortLabel(settings_, number);
}

}  // namespace viren
