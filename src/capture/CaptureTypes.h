#pragma once

#include "core/CommandIds.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GstDevice GstDevice;

namespace viren {

// A picture size in pixels.
struct FrameSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// Results of the capture operations: zero or positive is success.
enum CaptureStatus : int {
  CAPTURE_OK = 0,
  CAPTURE_NO_CAMERA = -1,     // no camera chosen, none present, or the chosen one is gone
  CAPTURE_FAILED = -2,        // the video library could not make what was asked
  CAPTURE_NOT_FOUND = -3,     // the source (file, folder, device) cannot be opened
  CAPTURE_NOT_PLAYABLE = -4,  // the source holds no video the pipeline can decode
  CAPTURE_STATE_FAILED = -5,  // the pipeline refused a state change
  CAPTURE_SEEK_FAILED = -6,   // rewinding a video file failed
  CAPTURE_SIZE_REFUSED = -7,  // the camera does not offer the size asked for
  CAPTURE_STREAM_ERROR = -8,  // the pipeline stopped with an error while running
};

// A video input device as the camera menu lists it.
struct CameraInfo {
  std::string name;  // friendly name shown in the menu
  // The source element as gst-launch text, e.g. "v4l2src device=/dev/video0";
  // unused when `device` is set.
  std::string sourceDescription;
  std::vector<FrameSize> sizes;  // picture sizes the device offers, ascending; empty: unknown
  // What tells this camera apart from the others across listings (its V4L2
  // node, or its provider and name; empty: the name); the selection follows
  // it when cameras come and go.
  std::string key;
  // The device that makes its own source (any provider: V4L2, PipeWire,
  // libcamera); null: `sourceDescription`.
  std::shared_ptr<GstDevice> device;
  // The V4L2 node whose controls adjust this camera; empty: none reachable.
  std::string controlDevice;

  const std::string& Key() const { return key.empty() ? name : key; }
};

// One item of the camera submenu.
struct CameraMenuItem {
  int commandId = 0;  // 32001 + position
  std::string name;
  bool checked = false;
  bool enabled = false;  // only the first four cameras can be chosen
};

inline constexpr int kMaxSelectableCameras = 4;

// The first `maxChars` characters of a UTF-8 text, never cutting one in two.
inline std::string Utf8Prefix(std::string_view text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == maxChars)
      return std::string(text.substr(0, i));
  }
  return std::string(text);
}

// The largest picture analysed without asking first (MSG_CAMERA_SIZE_LARGE).
inline constexpr FrameSize kDefaultFrameSize{320, 240};

// Names of the capture steps as MSG_VIDEO_ERROR shows them when a step fails.
namespace capture_op {
inline constexpr std::string_view kAddSourceFile = "Add Source File";
inline constexpr std::string_view kSetNotifyWindow = "SetNotifyWindow";
inline constexpr std::string_view kCreateDevEnum = "CreateDevEnum";
inline constexpr std::string_view kCreateClassEnumerator = "CreateClassEnumerator";
inline constexpr std::string_view kEnumBind = "EnumMonike Bind";
inline constexpr std::string_view kAddCaptureDevice = "Add Capture Device";
inline constexpr std::string_view kAddNullRenderer = "Add Video NULL Renderer";
inline constexpr std::string_view kAddSampleGrabber = "Add Video SampleGrabber";
inline constexpr std::string_view kSetMediaType = "Set Video MediaType";
inline constexpr std::string_view kSetCallback = "Set Video Callback";
inline constexpr std::string_view kConnectSource = "Connect Capture Video Out to Grabber Video In";
inline constexpr std::string_view kConnectRenderer = "Connect Grabber Video Out to Null Render In";
inline constexpr std::string_view kGetStatus = "Get Status";
inline constexpr std::string_view kRun = "MediaControl Run";
inline constexpr std::string_view kStop = "MediaControl->Stop";
inline constexpr std::string_view kSetPositions = "MediaSeeking SetPositions";
inline constexpr std::string_view kSetFormat = "SetFormat";
// Not a step of the build: the running pipeline reported an error.
inline constexpr std::string_view kGetEvent = "GetEvent";
}  // namespace capture_op

}  // namespace viren
