#pragma once

#include <memory>
#include <vector>

#include "capture/CaptureTypes.h"

namespace viren {

// The video input devices of this machine, in a stable order (the stored
// DEVICE number counts in it). Window thread.
class CameraProvider {
 public:
  virtual ~CameraProvider() = default;
  // Empty when there is no camera or the device list cannot be made.
  virtual std::vector<CameraInfo> ListCameras() = 0;
};

// Cameras as GStreamer's device monitor sees them ("Video/Source"), those
// reachable through a V4L2 device node, ordered by that node's path so the
// numbers stay put between runs. A device seen through several providers
// (V4L2 and PipeWire) is listed once.
std::unique_ptr<CameraProvider> MakeGstCameraProvider();

}  // namespace viren
