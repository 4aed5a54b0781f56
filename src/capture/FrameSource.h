#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureTypes.h"

namespace viren {

// What a failing capture step tells the user: MSG_VIDEO_ERROR with the step's
// name and the video library's own text.
struct CaptureError {
  int status = CAPTURE_OK;
  std::string operation;
  std::string text;
  bool failed() const { return status < 0; }
};

// Something that happened in a running source, fetched on the window thread.
struct GraphEvent {
  enum class Kind { EndOfStream, Error };
  Kind kind = Kind::EndOfStream;
  CaptureError error;  // Kind::Error only
};

// A built source of frames: a GStreamer pipeline (camera or video file) or the
// bitmap-folder player. All calls on the window thread; frames flow through
// the FrameDelivery the source was made with.
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  virtual int Run(CaptureError& error) = 0;
  // After the return no frame is being produced; Run starts again.
  virtual int Stop(CaptureError& error) = 0;
  // Back to the first frame; the next frame is announced as a rewind.
  virtual int SeekToStart(CaptureError& error) = 0;
  // Events waiting since the last call, oldest first; never blocks.
  virtual std::vector<GraphEvent> TakeEvents() = 0;
  // Cameras only: the picture size to ask of the device (nullopt: its own
  // choice). Takes effect at the next Run.
  virtual int SetCameraSize(std::optional<FrameSize> size, CaptureError& error) = 0;
};

}  // namespace viren
