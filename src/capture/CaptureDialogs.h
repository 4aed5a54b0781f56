#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/CameraControls.h"
#include "capture/CaptureTypes.h"

namespace viren {

// The capture's two dialogs as the window program shows them: File > open
// for a video and the camera-format dialog. The engine's CaptureHost hands
// its ChooseVideoFile and ChooseCameraFormat on to these; without a window
// (viren-run, tests) there is none and the choosers answer "cancelled".
// Window thread only; each call returns when the user has closed the dialog.
class CaptureDialogs {
 public:
  virtual ~CaptureDialogs() = default;

  // An .avi file, or the folder of a chosen numbered bitmap; nullopt:
  // cancelled.
  virtual std::optional<std::string> ChooseVideoFile() = 0;

  // One of `sizes` (`current` preselected); nullopt: cancelled. The
  // camera's `controls` (null: none) are adjusted live in the same dialog.
  virtual std::optional<FrameSize> ChooseCameraFormat(const std::string& cameraName,
                                                      const std::vector<FrameSize>& sizes,
                                                      FrameSize current,
                                                      CameraControls* controls) = 0;
};

}  // namespace viren
