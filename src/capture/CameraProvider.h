#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "capture/CaptureTypes.h"

namespace viren {

// The video input devices of this machine, in a stable order (the stored
// DEVICE number counts in it). Window thread unless said otherwise.
class CameraProvider {
 public:
  virtual ~CameraProvider() = default;
  // Empty when there is no camera or the device list cannot be made.
  virtual std::vector<CameraInfo> ListCameras() = 0;
  // From now on `changed` is called, on any thread and without blocking,
  // each time a camera is plugged in or pulled out. A provider that cannot
  // watch never calls it.
  virtual void WatchCameras(std::function<void()> /*changed*/) {}
  // No call of the watcher starts after this returns.
  virtual void StopWatching() {}
};

// Cameras as GStreamer's device monitor sees them ("Video/Source"), from every
// provider installed (V4L2, PipeWire, libcamera). A camera that several
// providers offer (PipeWire over a V4L2 node) is listed once, preferring the
// direct V4L2 device, whose controls can be reached. Cameras with a V4L2 node
// come first, ordered by the node's path so the numbers stay put between
// runs; the others follow by name.
std::unique_ptr<CameraProvider> MakeGstCameraProvider();

}  // namespace viren
