#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/CameraControls.h"
#include "capture/CameraProvider.h"
#include "capture/CaptureHost.h"
#include "capture/CaptureTypes.h"
#include "capture/FrameDelivery.h"

namespace viren {

class FrameSink;
class FrameSource;
class Settings;
class UiHost;
struct EngineState;

// The engine's capture part: the camera list, the graph from a camera, a video
// file or a folder of dumped bitmaps to the frame analysis, its start, stop,
// rebuild and looping, and the messages about all of it.
//
// Every operation is called on the window thread. Frames reach the FrameSink
// on the source's own thread (see FrameSink). Uses EngineState's cameraIndex,
// captureRunning, frameWidth, frameHeight, viewMode, overlayMode and simulating.
class CaptureSystem {
 public:
  // `cameras` defaults to GStreamer's device monitor.
  CaptureSystem(Settings& settings, EngineState& state, UiHost& ui, CaptureHost& host,
                FrameSink& sink, std::unique_ptr<CameraProvider> cameras = nullptr);
  ~CaptureSystem();  // ShutdownCapture
  CaptureSystem(const CaptureSystem&) = delete;
  CaptureSystem& operator=(const CaptureSystem&) = delete;

  // At start-up: DEVICE, LOOP, RESOLUTION (into frameWidth/frameHeight), the
  // folder frame rate, GStreamer itself, the camera list. False only when
  // GStreamer cannot be initialised (the engine shows MSG_CAPTURE_INIT_FAILED).
  bool LoadCaptureSettings();

  // Cameras came or went (WM_CAMERAS_CHANGED): the list and the menu are
  // made again and the chosen camera keeps its check wherever it now stands.
  // The camera in use gone: the car is stopped, the capture stops and
  // MSG_CAMERA_LOST names the camera; when that camera comes
  // back it runs again.
  void OnCamerasChanged();

  // Makes the controls of a camera (tests hand in fakes); the default opens
  // the V4L2 node of cameras that have one.
  using ControlsFactory = std::function<std::unique_ptr<CameraControls>(const CameraInfo&)>;
  void SetControlsFactory(ControlsFactory factory) { controlsFactory_ = std::move(factory); }
  // The option.ini section that remembers a camera's control values.
  static std::string ControlSection(const std::string& cameraName);

  // Lists the cameras again and returns the items of the camera submenu
  // (after the fixed "なし" item, command 32000). With no camera present and a
  // camera chosen, cameraIndex becomes -1; DEVICE 0 stays 0.
  const std::vector<CameraMenuItem>& BuildCameraMenu();
  const std::vector<CameraMenuItem>& cameraMenu() const { return menu_; }

  // At start-up, once the devices are open, and at every rebuild. A
  // non-empty `videoFile` is an AVI (or any file GStreamer decodes) or a
  // folder of numbered bitmaps; empty means the chosen camera. Returns 0 when
  // built (not yet running), -1 when no camera is chosen or the chosen one
  // does not exist (cameraIndex then -1), another negative status after
  // MSG_VIDEO_ERROR names the failing step.
  int BuildCaptureGraph(const std::string& videoFile);

  // A given size for the camera, or (-1, -1) the camera settings dialog: the
  // sizes the camera offers, MSG_CAMERA_SIZE_LARGE above 320 x 240 (No: 320 x 240), the
  // choice stored as RESOLUTION; beside them the camera's controls, applied
  // as they change and remembered for the camera in option.ini. A running capture is stopped for
  // the change and runs again after it. -1 without a camera graph.
  int SetCameraFormat(int width, int height);
  // Menu command 32814, enabled while cameraIndex is not -1.
  int ShowCameraSettings() { return SetCameraFormat(-1, -1); }
  // The sizes the current camera offers (empty without a camera or when the
  // device lists ranges only).
  std::vector<FrameSize> CameraSizes() const;

  // Menu commands 32000..32004: n = 0 no camera, 1..4 the n-th camera.
  int SelectCamera(int n);

  // File > open: the host's chooser, then `beforeOpen` once a file was
  // chosen, then OpenVideo.
  int OpenVideoFile(const std::function<void()>& beforeOpen = {});
  // Plays `path` (file or bitmap folder) instead of the current source;
  // MSG_VIDEO_LIBRARY_FAILED when it cannot be built.
  int OpenVideo(const std::string& path);

  // Handler of WM_GRAPH_NOTIFY: takes every waiting event; at the end of a
  // video built with LOOP set, starts it again from its first frame (the
  // analysis is told through FrameSink::OnVideoRewound). An error of the
  // running pipeline is shown once.
  void OnGraphEvent();

  int RunCapture();
  // Stops the frames; returns once no frame is in progress. Unless quick the
  // analysis buffers are released afterwards.
  int StopCapture(bool quick);
  void TearDownCaptureGraph();
  // At shut-down, after the simulation has stopped. Idempotent.
  void ShutdownCapture();

  // MSG_VIDEO_ERROR "Direct Show Error:%1\n%2": %1 the step, %2 the video
  // library's text (at most 160 characters; a text for the status when none
  // is given). Returns `status`.
  int ReportCaptureError(int status, std::string_view operation, std::string_view text = {});

  // false: frames as fast as the analysis takes them (tools, tests); files
  // otherwise play at their own rate. Takes effect at the next build.
  void SetSyncToClock(bool sync) { syncToClock_ = sync; }
  // Frames a second of a bitmap folder (option.ini [CAPTURE] FOLDER_RATE;
  // 30 when absent or below 1). Takes effect at the next build.
  void SetFolderFrameRate(int framesPerSecond) { folderFrameRate_ = framesPerSecond; }
  int folderFrameRate() const { return folderFrameRate_; }

  bool loopVideo() const { return loopVideo_; }
  const std::string& videoFileName() const { return videoFileName_; }
  // The same, for the capture thread.
  std::string PlayingSource() const {
    std::lock_guard lock(sourceMutex_);
    return videoFileName_;
  }
  bool hasGraph() const { return source_ != nullptr; }
  bool isCameraGraph() const { return activeCamera_ >= 0; }
  std::uint64_t framesDelivered() const { return delivery_.framesDelivered(); }
  std::uint64_t frameBufferAllocations() const { return delivery_.bufferAllocations(); }

 private:
  int BuildFromFile(const std::string& path);
  int BuildFromCamera();
  int ApplyCameraSize(std::optional<FrameSize> size);
  void OpenCameraControls(const CameraInfo& camera);
  std::vector<CameraMenuItem> MakeMenu() const;
  void CameraLost();

  Settings& settings_;
  EngineState& state_;
  UiHost& ui_;
  CaptureHost& host_;
  FrameSink& sink_;
  std::unique_ptr<CameraProvider> cameras_;
  FrameDelivery delivery_;
  std::unique_ptr<FrameSource> source_;  // after delivery_: goes first

  std::vector<CameraInfo> cameraList_;
  std::string selectedKey_;  // the chosen camera, followed through re-listings
  std::string selectedName_;
  std::string lostKey_;  // the camera in use that was pulled out; runs again on return
  ControlsFactory controlsFactory_;
  std::unique_ptr<CameraControls> controls_;  // of the camera graph, remembered per camera
  std::vector<CameraMenuItem> menu_;
  int activeCamera_ = -1;  // position in cameraList_ of the camera graph
  bool loopVideo_ = true;
  bool loopAtBuild_ = false;
  bool syncToClock_ = true;
  int folderFrameRate_ = 30;
  bool gstReady_ = false;
  bool errorShown_ = false;         // a running-pipeline error was shown since the last run
  mutable std::mutex sourceMutex_;  // guards videoFileName_ against the capture thread
  std::string videoFileName_;
};

}  // namespace viren
