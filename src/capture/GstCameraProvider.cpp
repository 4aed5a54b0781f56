#include <gst/gst.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "capture/CameraProvider.h"
#include "platform/GstSupport.h"

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

// The V4L2 node behind a device, whichever provider offers it (the V4L2
// provider says "device.path", PipeWire "api.v4l2.path").
std::string V4l2PathOf(GstDevice* device) {
  std::string path;
  if (const GstOwned<GstStructure> props{gst_device_get_properties(device)}) {
    for (const char* key : {"api.v4l2.path", "device.path"}) {
      if (const gchar* value = gst_structure_get_string(props.get(), key)) {
        if (g_str_has_prefix(value, "/dev/video")) {
          path = value;
          break;
        }
      }
    }
  }
  return path;
}

// Device paths are opened for the controls; keep them to what a device node
// name can hold.
bool SafePath(const std::string& path) {
  return std::all_of(path.begin(), path.end(), [](unsigned char c) {
    return g_ascii_isalnum(c) || c == '/' || c == '_' || c == '-' || c == '.';
  });
}

// The kind of device object tells the providers apart: GstV4l2Device,
// GstPipeWireDevice, GstLibcameraDevice...
std::string KindOf(GstDevice* device) {
  return G_OBJECT_TYPE_NAME(device);
}

// A camera as one provider offers it, before duplicates are dropped.
struct Candidate {
  CameraInfo info;
  std::string v4l2Path;
  bool direct = false;  // the V4L2 provider itself, not a service in between
};

CameraInfo Describe(GstDevice* device, const std::string& v4l2Path) {
  CameraInfo info;
  const GstOwned<gchar> name(gst_device_get_display_name(device));
  info.name = name && *name ? name.get() : v4l2Path;
  // A menu item holds at most 127 characters of a name.
  info.name = Utf8Prefix(info.name, 127);
  gst_object_ref(device);
  info.device = std::shared_ptr<GstDevice>(device, [](GstDevice* d) { gst_object_unref(d); });
  if (!v4l2Path.empty()) {
    info.key = v4l2Path;
    info.controlDevice = v4l2Path;
    info.sourceDescription = "v4l2src device=" + v4l2Path;
  } else {
    info.key = KindOf(device) + ":" + info.name;
  }
  info.sizes = SizesOf(GstOwned<GstCaps>(gst_device_get_caps(device)).get());
  return info;
}

// Node paths in number order: /dev/video2 before /dev/video10.
bool PathBefore(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<CameraInfo> CamerasOf(GList* devices) {
  std::vector<Candidate> found;
  for (GList* l = devices; l; l = l->next) {
    auto* device = GST_DEVICE(l->data);
    std::string path = V4l2PathOf(device);
    if (!path.empty() && !SafePath(path)) path.clear();
    Candidate c;
    c.v4l2Path = path;
    c.direct = KindOf(device) == "GstV4l2Device";
    c.info = Describe(device, path);
    found.push_back(std::move(c));
  }
  // V4L2 nodes first, by path, the direct device before the same node through
  // a service; then the rest by name.
  std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    if (a.v4l2Path.empty() != b.v4l2Path.empty()) return !a.v4l2Path.empty();
    if (!a.v4l2Path.empty() && a.v4l2Path != b.v4l2Path) return PathBefore(a.v4l2Path, b.v4l2Path);
    if (a.v4l2Path.empty() && a.info.name != b.info.name) return a.info.name < b.info.name;
    return a.direct && !b.direct;
  });
  std::vector<CameraInfo> cameras;
  std::vector<std::string> nodeNames;  // names of the cameras listed by their node
  for (Candidate& c : found) {
    const bool seen = std::any_of(cameras.begin(), cameras.end(),
                                  [&](const CameraInfo& k) { return k.key == c.info.key; });
    if (seen) continue;
    // A camera without a node that has the name of one listed by its node is
    // that camera again through another service (libcamera or PipeWire over
    // a UVC camera).
    if (c.v4l2Path.empty() &&
        std::find(nodeNames.begin(), nodeNames.end(), c.info.name) != nodeNames.end())
      continue;
    if (!c.v4l2Path.empty()) nodeNames.push_back(c.info.name);
    cameras.push_back(std::move(c.info));
  }
  return cameras;
}

class GstCameraProvider final : public CameraProvider {
 public:
  ~GstCameraProvider() override { StopWatching(); }

  std::vector<CameraInfo> ListCameras() override {
    const GstOwned<GstDeviceMonitor> monitor(
        watching_ ? GST_DEVICE_MONITOR(gst_object_ref(watching_.get())) : MakeMonitor());
    // Without a start the monitor probes once when asked for its devices.
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    std::vector<CameraInfo> cameras = CamerasOf(devices);
    g_list_free_full(devices, gst_object_unref);
    return cameras;
  }

  void WatchCameras(std::function<void()> changed) override {
    StopWatching();
    {
      std::lock_guard lock(changedMutex_);
      changed_ = std::move(changed);
    }
    GstOwned<GstDeviceMonitor> monitor(MakeMonitor());
    const GstOwned<GstBus> bus(gst_device_monitor_get_bus(monitor.get()));
    gst_bus_set_sync_handler(bus.get(), &GstCameraProvider::OnBusMessage, this, nullptr);
    if (gst_device_monitor_start(monitor.get())) watching_ = std::move(monitor);
  }

  void StopWatching() override {
    if (watching_) {
      gst_device_monitor_stop(watching_.get());
      const GstOwned<GstBus> bus(gst_device_monitor_get_bus(watching_.get()));
      gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
      watching_.reset();
    }
    std::lock_guard lock(changedMutex_);
    changed_ = nullptr;
  }

 private:
  static GstDeviceMonitor* MakeMonitor() {
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    // PipeWire hides the V4L2 provider's devices; we want them, for their
    // controls, and drop the duplicates ourselves.
    g_object_set(monitor, "show-all", TRUE, nullptr);
    return monitor;
  }

  // Any thread: a provider's own, or the one that plugged a device in.
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstCameraProvider*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED ||
        type == GST_MESSAGE_DEVICE_CHANGED) {
      std::lock_guard lock(self->changedMutex_);
      if (self->changed_) self->changed_();
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
  }

  GstOwned<GstDeviceMonitor> watching_;
  std::mutex changedMutex_;
  std::function<void()> changed_;
};

}  // namespace

std::unique_ptr<CameraProvider> MakeGstCameraProvider() {
  return std::make_unique<GstCameraProvider>();
}

}  // namespace viren
