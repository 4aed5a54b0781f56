#include <gst/gst.h>

#include <algorithm>
#include <string>

#include "capture/CameraProvider.h"

namespace viren {
namespace {

std::vector<FrameSize> SizesOf(GstCaps* caps) {
  std::vector<FrameSize> sizes;
  if (!caps) return sizes;
  for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
    const GstStructure* s = gst_caps_get_structure(caps, i);
    int width = 0, height = 0;
    // Devices with stepwise size ranges list no fixed sizes; the dialog then
    // has nothing to offer but the current size.
    if (gst_structure_get_int(s, "width", &width) && gst_structure_get_int(s, "height", &height) &&
        width > 0 && height > 0)
      sizes.push_back({width, height});
  }
  std::sort(sizes.begin(), sizes.end(), [](FrameSize a, FrameSize b) {
    return a.width != b.width ? a.width < b.width : a.height < b.height;
  });
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  return sizes;
}

std::string DevicePath(GstDevice* device) {
  std::string path;
  if (GstStructure* props = gst_device_get_properties(device)) {
    for (const char* key : {"api.v4l2.path", "device.path"}) {
      if (const gchar* value = gst_structure_get_string(props, key)) {
        if (g_str_has_prefix(value, "/dev/video")) {
          path = value;
          break;
        }
      }
    }
    gst_structure_free(props);
  }
  return path;
}

// Device paths go into a launch description; keep them to what a device node
// name can hold.
bool SafePath(const std::string& path) {
  return std::all_of(path.begin(), path.end(), [](unsigned char c) {
    return g_ascii_isalnum(c) || c == '/' || c == '_' || c == '-' || c == '.';
  });
}

class GstCameraProvider final : public CameraProvider {
 public:
  std::vector<CameraInfo> ListCameras() override {
    std::vector<std::pair<std::string, CameraInfo>> found;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    // Without a start the monitor probes once when asked for its devices.
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* l = devices; l; l = l->next) {
      auto* device = GST_DEVICE(l->data);
      const std::string path = DevicePath(device);
      if (path.empty() || !SafePath(path)) continue;
      if (std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.first == path; }))
        continue;
      CameraInfo info;
      gchar* name = gst_device_get_display_name(device);
      info.name = name ? name : path;
      g_free(name);
      // A menu item holds at most 127 characters of a name.
      info.name = Utf8Prefix(info.name, 127);
      info.sourceDescription = "v4l2src device=" + path;
      GstCaps* caps = gst_device_get_caps(device);
      info.sizes = SizesOf(caps);
      if (caps) gst_caps_unref(caps);
      found.emplace_back(path, std::move(info));
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);

    // /dev/video2 before /dev/video10.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
      return a.first.size() != b.first.size() ? a.first.size() < b.first.size() : a.first < b.first;
    });
    std::vector<CameraInfo> cameras;
    for (auto& f : found) cameras.push_back(std::move(f.second));
    return cameras;
  }
};

}  // namespace

std::unique_ptr<CameraProvider> MakeGstCameraProvider() {
  return std::make_unique<GstCameraProvider>();
}

}  // namespace viren
