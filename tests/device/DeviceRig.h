#pragma once

#include <string>

#include "core/EngineState.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren::test {

// A program folder of its own for device tests: VIREN.ini with the relay
// identifiers and COM1 pointing at a test's serial peer, option.ini with the
// port number and the ROBO-Q choices.
struct DeviceRig {
  struct Options {
    std::string relayIds = "ABCDE";
    std::string com1Device;
    int comNo = 1;
    int roboqBand = 0;
    int roboqChannel = 0;
    int roboqIntervalMs = 0;
  };

  explicit DeviceRig(const Options& o) { Configure(o); }

  void Configure(const Options& o) {
    std::string viren = "[USB]\r\nRELAY_ID=" + o.relayIds +
                        "\r\nROBOQ_INTERVAL=" + std::to_string(o.roboqIntervalMs) + "\r\n";
    if (!o.com1Device.empty()) viren += "COM_DEVICE1=" + o.com1Device + "\r\n";
    dir.Write("VIREN.ini", viren);
    dir.Write("option.ini", "[USB]\r\nCOM_NO=" + std::to_string(o.comNo) +
                                "\r\nROBOQ_BAND=" + std::to_string(o.roboqBand) +
                                "\r\nROBOQ_CH=" + std::to_string(o.roboqChannel) + "\r\n");
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  }

  TestDir dir;
  FakeUiHost ui;
  Settings settings{&ui};
  EngineState state;
};

}  // namespace viren::test
