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
      drive_(state, relay_, roboQ_, speedLevel_) {}

CCarDevices::~CCarDevices() {
  roboQ_.RoboQClose();
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
