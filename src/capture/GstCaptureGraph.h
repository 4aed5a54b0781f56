#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureTypes.h"
#include "capture/FrameSource.h"

typedef struct _GstElement GstElement;
typedef struct _GstCaps GstCaps;

namespace viren {

class FrameDelivery;

// A GStreamer pipeline from a camera or a video file to the analysis:
//   file:   filesrc ! decodebin ! videoconvert ! video/x-raw,format=BGR ! appsink
//   camera: <device source> ! capsfilter(size) ! decodebin ! videoconvert ! ... ! appsink
// The appsink's new-sample callback runs on GStreamer's streaming thread and
// hands each frame to the FrameDelivery, which un-pads and flips it.
// Everything else is called on the window thread.
class GstCaptureGraph final : public FrameSource {
 public:
  enum class Kind { File, Camera };
  struct Request {
    Kind kind = Kind::File;
    std::string location;               // file path, or the camera's source description
    std::shared_ptr<GstDevice> device;  // cameras: makes the source when set
    std::optional<FrameSize> size;      // cameras only
    bool syncToClock = true;            // false: frames as fast as the analysis takes them
    bool notifyEndOfStream = false;     // tell the host when a file reaches its end
  };

  // `notify` is called on any thread when events wait in TakeEvents.
  GstCaptureGraph(FrameDelivery& delivery, std::function<void()> notify);
  ~GstCaptureGraph() override;
  GstCaptureGraph(const GstCaptureGraph&) = delete;
  GstCaptureGraph& operator=(const GstCaptureGraph&) = delete;

  // Makes the pipeline and takes it to PAUSED, so that a missing device, a
  // missing or undecodable file fails here, with the failing step named.
  int Build(const Request& request, CaptureError& error);

  int Run(CaptureError& error) override;
  int Stop(CaptureError& error) override;
  int SeekToStart(CaptureError& error) override;
  std::vector<GraphEvent> TakeEvents() override;
  int SetCameraSize(std::optional<FrameSize> size, CaptureError& error) override;

  // Readies GStreamer for the graphs and the camera list; false when it
  // cannot be initialised. Any number of calls.
  static bool InitLibrary();
  // Pipelines made by this class that GStreamer has not yet freed. Any thread.
  static int LivePipelines();

 private:
  struct Callbacks;
  int FailFromBus(int fallbackStatus, std::string_view operation, CaptureError& error);
  CaptureError ErrorFromMessage(void* message, bool building) const;
  int WaitForPreroll(CaptureError& error);

  FrameDelivery& delivery_;
  std::function<void()> notify_;
  Request request_;
  GstElement* pipeline_ = nullptr;
  GstElement* source_ = nullptr;  // owned by the pipeline
  GstElement* sizeFilter_ = nullptr;
  GstElement* convert_ = nullptr;
  GstElement* appsink_ = nullptr;
  bool stopped_ = false;  // window thread: the pipeline went back to READY

  // Events taken off the bus on whatever thread posted them.
  std::mutex eventsMutex_;
  std::vector<GraphEvent> events_;

  // Streaming thread(s): the format of the frames, re-read when it changes.
  std::mutex formatMutex_;
  GstCaps* lastCaps_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
};

}  // namespace viren
