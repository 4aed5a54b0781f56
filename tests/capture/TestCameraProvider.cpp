#include "TestCameraProvider.h"

#include <gst/gst.h>

#include <mutex>
#include <utility>
#include <vector>

#include "platform/GstSupport.h"

namespace viren::test {
namespace {

struct Plugged {
  std::string name;
  std::string node;
};
std::mutex gMutex;
std::vector<Plugged> gCameras;

// --- The device: makes a live test source. ---
struct TestCameraDevice {
  GstDevice parent;
};
struct TestCameraDeviceClass {
  GstDeviceClass parent_class;
};
G_DEFINE_TYPE(TestCameraDevice, test_camera_device, GST_TYPE_DEVICE)

GstElement* CreateElement(GstDevice*, const gchar* name) {
  GstElement* source = gst_element_factory_make("videotestsrc", name);
  if (source) g_object_set(source, "is-live", TRUE, "pattern", 18 /* ball */, nullptr);
  return source;
}

void test_camera_device_class_init(TestCameraDeviceClass* klass) {
  GST_DEVICE_CLASS(klass)->create_element = CreateElement;
}
void test_camera_device_init(TestCameraDevice*) {}

GstDevice* MakeDevice(const Plugged& camera) {
  const GstOwned<GstCaps> caps(
      gst_caps_from_string("video/x-raw,width=160,height=120,framerate=30/1;"
                           "video/x-raw,width=320,height=240,framerate=30/1"));
  const GstOwned<GstStructure> props(gst_structure_new_empty("test-camera"));
  if (!camera.node.empty())
    gst_structure_set(props.get(), "api.v4l2.path", G_TYPE_STRING, camera.node.c_str(), nullptr);
  return GST_DEVICE(g_object_new(test_camera_device_get_type(), "display-name", camera.name.c_str(),
                                 "device-class", "Video/Source", "caps", caps.get(), "properties",
                                 props.get(), nullptr));
}

// --- The provider: lists, and once started announces, the cameras. ---
struct TestCameraProvider {
  GstDeviceProvider parent;
};
struct TestCameraProviderClass {
  GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(TestCameraProvider, test_camera_provider, GST_TYPE_DEVICE_PROVIDER)

GList* Probe(GstDeviceProvider*) {
  std::lock_guard lock(gMutex);
  GList* devices = nullptr;
  for (const Plugged& c : gCameras) devices = g_list_append(devices, MakeDevice(c));
  return devices;
}

gboolean Start(GstDeviceProvider* provider) {
  std::vector<Plugged> now;
  {
    std::lock_guard lock(gMutex);
    now = gCameras;
  }
  for (const Plugged& c : now) gst_device_provider_device_add(provider, MakeDevice(c));
  return TRUE;
}

void Stop(GstDeviceProvider*) {}

void test_camera_provider_class_init(TestCameraProviderClass* klass) {
  auto* provider = GST_DEVICE_PROVIDER_CLASS(klass);
  provider->probe = Probe;
  provider->start = Start;
  provider->stop = Stop;
  gst_device_provider_class_set_static_metadata(provider, "VIREN test cameras", "Video/Source",
                                                "Cameras that come and go as a test says", "VIREN");
}
void test_camera_provider_init(TestCameraProvider*) {}

gboolean PluginInit(GstPlugin* plugin) {
  return gst_device_provider_register(plugin, "virentestcameras", GST_RANK_PRIMARY,
                                      test_camera_provider_get_type());
}

void Register() {
  static const bool registered = [] {
    InitGStreamer();
    return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "virentestcameras",
                                      "Cameras of the VIREN tests", PluginInit, "1.0", "LGPL",
                                      "viren", "viren", "https://example.invalid/viren");
  }();
  (void)registered;
}

// The provider the device monitor uses (one per factory), or null.
GstOwned<GstDeviceProvider> Provider() {
  Register();
  return GstOwned<GstDeviceProvider>(gst_device_provider_factory_get_by_name("virentestcameras"));
}

}  // namespace

void PlugTestCamera(const std::string& name, const std::string& node) {
  const GstOwned<GstDeviceProvider> provider = Provider();
  {
    std::lock_guard lock(gMutex);
    gCameras.push_back({name, node});
  }
  if (provider && gst_device_provider_is_started(provider.get()))
    gst_device_provider_device_add(provider.get(), MakeDevice({name, node}));
}

void UnplugTestCamera(const std::string& name) {
  const GstOwned<GstDeviceProvider> provider = Provider();
  {
    std::lock_guard lock(gMutex);
    std::erase_if(gCameras, [&](const Plugged& c) { return c.name == name; });
  }
  if (!provider || !gst_device_provider_is_started(provider.get())) return;
  GList* devices = gst_device_provider_get_devices(provider.get());
  for (GList* l = devices; l; l = l->next) {
    const GstOwned<gchar> shown(gst_device_get_display_name(GST_DEVICE(l->data)));
    if (name == shown.get()) gst_device_provider_device_remove(provider.get(), GST_DEVICE(l->data));
  }
  g_list_free_full(devices, gst_object_unref);
}

void UnplugAllTestCameras() {
  std::vector<std::string> names;
  {
    std::lock_guard lock(gMutex);
    for (const Plugged& c : gCameras) names.push_back(c.name);
  }
  for (const std::string& n : names) UnplugTestCamera(n);
}

}  // namespace viren::test
