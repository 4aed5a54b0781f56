#pragma once

#include <memory>
#include <vector>

#include "capture/CameraControls.h"

namespace viren::test {

// Control numbers as V4L2 has them.
inline constexpr std::uint32_t kBrightness = 0x00980900;
inline constexpr std::uint32_t kPowerLine = 0x00980918;
inline constexpr std::uint32_t kAutoWhiteBalance = 0x0098090C;
inline constexpr std::uint32_t kExposureMode = 0x009A0901;
inline constexpr std::uint32_t kExposureTime = 0x009A0902;
inline constexpr int kExposureManual = 1;
inline constexpr int kExposureAperturePriority = 3;

// A camera's controls as a webcam reports them. Like the real thing it
// refuses an exposure time while automatic exposure is on and values out of
// range. The state is shared, so a test sees what a dialog set.
class FakeCameraControls : public CameraControls {
 public:
  struct State {
    std::vector<CameraControl> controls;
    std::vector<std::pair<std::uint32_t, int>> sets;  // every accepted set, in order
  };
  static std::shared_ptr<State> Webcam() {
    auto state = std::make_shared<State>();
    auto add = [&](std::uint32_t id, const char* name, CameraControl::Type type, int min, int max,
                   int def, std::vector<std::pair<int, std::string>> menu = {}) {
      CameraControl c;
      c.id = id;
      c.name = name;
      c.type = type;
      c.minimum = min;
      c.maximum = max;
      c.defaultValue = def;
      c.value = def;
      c.menu = std::move(menu);
      state->controls.push_back(c);
    };
    using T = CameraControl::Type;
    add(kBrightness, "Brightness", T::Integer, 0, 255, 128);
    add(kAutoWhiteBalance, "White Balance, Automatic", T::Boolean, 0, 1, 1);
    add(kPowerLine, "Power Line Frequency", T::Menu, 0, 2, 2,
        {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}});
    add(kExposureMode, "Auto Exposure", T::Menu, 0, 3, kExposureAperturePriority,
        {{kExposureManual, "Manual Mode"}, {kExposureAperturePriority, "Aperture Priority Mode"}});
    add(kExposureTime, "Exposure Time, Absolute", T::Integer, 3, 2047, 250);
    Govern(*state);
    return state;
  }

  explicit FakeCameraControls(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::vector<CameraControl> List() override { return state_->controls; }
  bool Set(std::uint32_t id, int value) override {
    for (CameraControl& c : state_->controls) {
      if (c.id != id) continue;
      if (value < c.minimum || value > c.maximum || c.inactive) return false;
      c.value = value;
      state_->sets.emplace_back(id, value);
      Govern(*state_);
      return true;
    }
    return false;
  }
  static int ValueOf(const State& state, std::uint32_t id) {
    for (const CameraControl& c : state.controls)
      if (c.id == id) return c.value;
    return -1;
  }

 private:
  // The exposure time counts only in manual mode.
  static void Govern(State& state) {
    const bool manual = ValueOf(state, kExposureMode) == kExposureManual;
    for (CameraControl& c : state.controls)
      if (c.id == kExposureTime) c.inactive = !manual;
  }
  std::shared_ptr<State> state_;
};

}  // namespace viren::test
