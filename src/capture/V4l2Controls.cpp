#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "capture/CameraControls.h"

namespace viren {
namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r == -1 && errno == EINTR);
  return r;
}

std::string NameOf(const __u8* text, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(text),
                     strnlen(reinterpret_cast<const char*>(text), size));
}

class V4l2Controls final : public CameraControls {
 public:
  explicit V4l2Controls(int fd) : fd_(fd) {}
  ~V4l2Controls() override { close(fd_); }
  V4l2Controls(const V4l2Controls&) = delete;
  V4l2Controls& operator=(const V4l2Controls&) = delete;

  std::vector<CameraControl> List() override {
    std::vector<CameraControl> controls;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    // A driver that never ends the list would keep us here; no camera has
    // anywhere near this many controls.
    for (int guard = 0; guard < 1024 && Ioctl(fd_, VIDIOC_QUERYCTRL, &query) == 0; ++guard) {
      const std::uint32_t id = query.id;
      if (auto control = Describe(query)) controls.push_back(std::move(*control));
      query = v4l2_queryctrl{};
      query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return controls;
  }

  bool Set(std::uint32_t id, int value) override {
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return Ioctl(fd_, VIDIOC_S_CTRL, &control) == 0;
  }

 private:
  std::optional<CameraControl> Describe(const v4l2_queryctrl& query) {
    if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) return std::nullopt;
    const std::uint32_t cls = V4L2_CTRL_ID2CLASS(query.id);
    if (cls != V4L2_CTRL_CLASS_USER && cls != V4L2_CTRL_CLASS_CAMERA) return std::nullopt;
    CameraControl c;
    c.id = query.id;
    c.name = NameOf(query.name, sizeof query.name);
    c.minimum = query.minimum;
    c.maximum = query.maximum;
    c.step = query.step > 0 ? query.step : 1;
    c.defaultValue = query.default_value;
    c.inactive = (query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
    switch (query.type) {
      case V4L2_CTRL_TYPE_INTEGER:
        c.type = CameraControl::Type::Integer;
        break;
      case V4L2_CTRL_TYPE_BOOLEAN:
        c.type = CameraControl::Type::Boolean;
        break;
      case V4L2_CTRL_TYPE_MENU:
      case V4L2_CTRL_TYPE_INTEGER_MENU:
        c.type = CameraControl::Type::Menu;
        for (int i = query.minimum; i <= query.maximum && i >= 0; ++i) {
          v4l2_querymenu item{};
          item.id = query.id;
          item.index = static_cast<__u32>(i);
          // Menus may have holes: indexes the device does not offer.
          if (Ioctl(fd_, VIDIOC_QUERYMENU, &item) != 0) continue;
          std::string text = query.type == V4L2_CTRL_TYPE_MENU
                                 ? NameOf(item.name, sizeof item.name)
                                 : std::to_string(static_cast<long long>(item.value));
          c.menu.emplace_back(i, std::move(text));
          if (c.menu.size() >= 64) break;
        }
        if (c.menu.empty()) return std::nullopt;
        break;
      default:  // buttons, 64-bit and compound controls: nothing to set here
        return std::nullopt;
    }
    v4l2_control value{};
    value.id = query.id;
    if (Ioctl(fd_, VIDIOC_G_CTRL, &value) != 0) return std::nullopt;
    c.value = value.value;
    return c;
  }

  int fd_;
};

}  // namespace

int ApplyControlValues(CameraControls& controls,
                       const std::vector<std::pair<std::uint32_t, int>>& values) {
  const std::vector<CameraControl> listed = controls.List();
  auto typeOf = [&](std::uint32_t id) -> std::optional<CameraControl::Type> {
    for (const CameraControl& c : listed)
      if (c.id == id) return c.type;
    return std::nullopt;
  };
  int applied = 0;
  for (bool modes : {true, false}) {
    for (const auto& [id, value] : values) {
      const auto type = typeOf(id);
      if (!type || (*type != CameraControl::Type::Integer) != modes) continue;
      if (controls.Set(id, value)) ++applied;
    }
  }
  return applied;
}

int ResetControlsToDefaults(CameraControls& controls) {
  // The values first, while a manual mode still lets them be set; then the
  // modes, and the values once more for those a mode had governed.
  int applied = 0;
  for (const CameraControl& c : controls.List())
    if (c.type == CameraControl::Type::Integer && !c.inactive && c.value != c.defaultValue)
      applied += controls.Set(c.id, c.defaultValue) ? 1 : 0;
  std::vector<std::pair<std::uint32_t, int>> rest;
  for (const CameraControl& c : controls.List())
    if (c.value != c.defaultValue) rest.emplace_back(c.id, c.defaultValue);
  return applied + ApplyControlValues(controls, rest);
}

std::unique_ptr<CameraControls> OpenV4l2Controls(const std::string& devicePath) {
  if (devicePath.empty()) return nullptr;
  const int fd = open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<V4l2Controls>(fd);
}

}  // namespace viren
