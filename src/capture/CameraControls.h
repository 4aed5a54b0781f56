#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace viren {

// One adjustable control of a camera as the device reports it (exposure
// mode and time, gain, white balance, focus, mains frequency, brightness...).
struct CameraControl {
  enum class Type { Integer, Boolean, Menu };
  std::uint32_t id = 0;  // the device's own control number
  std::string name;      // the device's own name, e.g. "Exposure Time, Absolute"
  Type type = Type::Integer;
  int minimum = 0;
  int maximum = 0;
  int step = 1;
  int defaultValue = 0;
  int value = 0;
  std::vector<std::pair<int, std::string>> menu;  // Menu: the items offered, by value
  // Another control governs this one now (an automatic mode is on); setting
  // it may be refused until that changes.
  bool inactive = false;
};

// The controls of one camera. Window thread.
class CameraControls {
 public:
  virtual ~CameraControls() = default;
  // The controls with their current values, in the device's order.
  virtual std::vector<CameraControl> List() = 0;
  // Applies a value at once (the picture changes while it runs); false when
  // the device refuses it.
  virtual bool Set(std::uint32_t id, int value) = 0;
};

// Modes before the values they govern: an automatic exposure, white balance
// or focus must be off before its manual value takes. Applies `values`
// (control id, value) in that order; returns how many the device took.
int ApplyControlValues(CameraControls& controls,
                       const std::vector<std::pair<std::uint32_t, int>>& values);

// Every control back at the device's default, modes first.
int ResetControlsToDefaults(CameraControls& controls);

// The user and camera controls of a V4L2 node (VIDIOC_QUERYCTRL, QUERYMENU,
// G_CTRL, S_CTRL); read-only, disabled and button-like controls are left out.
// Null when the node cannot be opened.
std::unique_ptr<CameraControls> OpenV4l2Controls(const std::string& devicePath);

}  // namespace viren
