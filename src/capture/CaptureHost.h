#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/CameraControls.h"
#include "capture/CaptureTypes.h"

namespace viren {

// What the capture asks of the engine and the main window besides message
// boxes (those go through UiHost). Every call is made on the window thread
// except NotifyGraphEvent.
class CaptureHost {
 public:
  virtual ~CaptureHost() = default;

  // Any thread, often GStreamer's streaming thread: the running graph has
  // events waiting (end of a looping video, an error). The window program
  // posts WM_GRAPH_NOTIFY to the view, whose handler calls
  // CaptureSystem::OnGraphEvent on the window thread. Must not block.
  virtual void NotifyGraphEvent() {}

  // The File > open dialog: a video file (AVI, MP4, MKV, WebM, MOV; default
  // extension avi) or a folder of numbered bitmaps. nullopt: cancelled.
  virtual std::optional<std::string> ChooseVideoFile() { return std::nullopt; }

  // The camera settings dialog: lists `sizes` (ascending) with `current`
  // preselected and returns the size chosen; nullopt: cancelled. `controls`
  // (null when the camera has none) are shown beside the sizes and applied
  // as they are changed, whatever the dialog's end.
  virtual std::optional<FrameSize> ChooseCameraFormat(const std::string& /*cameraName*/,
                                                      const std::vector<FrameSize>& /*sizes*/,
                                                      FrameSize /*current*/,
                                                      CameraControls* /*controls*/) {
    return std::nullopt;
  }

  // Any thread, without blocking: cameras were plugged in or pulled out. The
  // window program posts WM_CAMERAS_CHANGED to the view, whose handler calls
  // CaptureSystem::OnCamerasChanged on the window thread.
  virtual void NotifyCamerasChanged() {}

  // The camera in use is gone: the car stops as at the end of a run.
  virtual void StopCar() {}

  // A camera was chosen while the simulation ran: stop automatic driving and
  // the simulation.
  virtual void LeaveSimulation() {}

  // Switch the view to the live picture (view mode and overlay are already set
  // in EngineState).
  virtual void ShowLiveView() {}

  // Repaint the view (after the camera was switched off).
  virtual void RepaintView() {}
};

}  // namespace viren
