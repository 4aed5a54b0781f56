#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/CameraProvider.h"
#include "capture/CaptureHost.h"
#include "capture/FrameSink.h"

namespace viren::test {

// The test videos: a white 20 x 16 rectangle moving right and down over a
// grey checkerboard, a red band along the top and a blue band along the
// bottom, so that size, orientation, colour order and frame number can all be
// read back from a delivered frame.
inline constexpr int kRectWidth = 20;
inline constexpr int kRectHeight = 16;
inline constexpr int kBand = 10;
struct RectCentre {
  double x;
  double y;
};
// True centre of the rectangle in frame `index`, picture coordinates (y down).
RectCentre TrueCentre(int index);

// Raw and Mjpeg in AVI; H264 (lossless) in MP4; Vp8 in Matroska.
enum class VideoCodec { Raw, Mjpeg, H264, Vp8 };
// Picture `index` as rows top-down, `stride` bytes a row (>= width * 3).
std::vector<std::uint8_t> MakePicture(int width, int height, int index, std::size_t stride);
// Writes a video of `frames` pictures through GStreamer in the container of
// its codec; false on failure.
bool WriteTestVideo(const std::string& path, int width, int height, int frames, VideoCodec codec);
// The same with pictures of the caller's: `picture` (index, stride) gives
// picture `index` as BGR rows top-down. 25 frames a second.
bool WriteVideo(const std::string& path, int width, int height, int frames, VideoCodec codec,
                const std::function<std::vector<std::uint8_t>(int, std::size_t)>& picture);

// What one delivered frame showed.
struct SeenFrame {
  bool rewind = false;  // an OnVideoRewound entry rather than a frame
  int width = 0;
  int height = 0;
  std::size_t length = 0;
  double cx = -1;  // centroid of the white pixels, picture coordinates
  double cy = -1;
  bool topIsRed = false;
  bool bottomIsBlue = false;
  std::uint64_t checksum = 0;
};

// Records every frame; can be slowed down and can keep the raw bytes.
class RecordingSink : public FrameSink {
 public:
  void AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width, int height) override;
  void OnVideoRewound() override;
  void ReleaseFrameBuffers() override { ++releases; }

  std::vector<SeenFrame> Seen() const;
  std::vector<std::vector<std::uint8_t>> RawFrames() const;
  int FrameCount() const;
  void Clear();
  // Waits until at least `n` frames were recorded; false after `timeout`.
  bool WaitForFrames(int n, std::chrono::milliseconds timeout);

  std::atomic<int> delayMs{0};
  std::atomic<bool> keepRaw{false};
  std::atomic<int> inFlight{0};
  std::atomic<int> overlapped{0};  // a frame started while another was in progress
  std::atomic<int> releases{0};

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<SeenFrame> seen_;
  std::vector<std::vector<std::uint8_t>> raw_;
  std::vector<std::uint8_t> scratch_;  // written each frame: a stand-in for analysis buffers
};

// A scripted window side: events counted, choosers answered from fields.
class TestCaptureHost : public CaptureHost {
 public:
  void NotifyGraphEvent() override;
  std::optional<std::string> ChooseVideoFile() override { return videoChoice; }
  std::optional<FrameSize> ChooseCameraFormat(const std::string& name,
                                              const std::vector<FrameSize>& sizes,
                                              FrameSize current, CameraControls* controls) override;
  void LeaveSimulation() override { ++leftSimulation; }
  void ShowLiveView() override { ++liveViewShown; }
  void RepaintView() override { ++repaints; }

  // Waits for a notification; true when one came.
  bool WaitForNotify(std::chrono::milliseconds timeout);

  std::optional<std::string> videoChoice;
  std::optional<FrameSize> formatChoice;
  std::vector<FrameSize> offeredSizes;
  CameraControls* offeredControls = nullptr;            // only valid during the dialog
  std::function<void(CameraControls&)> adjustControls;  // what the person does in the dialog
  void NotifyCamerasChanged() override;
  void StopCar() override { ++carStops; }
  int carStops = 0;
  // Waits for a camera change notice; true when one came.
  bool WaitForCamerasChanged(std::chrono::milliseconds timeout);
  std::atomic<int> cameraChanges{0};
  std::atomic<int> notifications{0};
  int leftSimulation = 0;
  int liveViewShown = 0;
  int repaints = 0;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int pending_ = 0;
  int camerasPending_ = 0;
};

// Cameras made of videotestsrc, as many as wanted.
class FakeCameraProvider : public CameraProvider {
 public:
  std::vector<CameraInfo> ListCameras() override { return cameras; }
  std::vector<CameraInfo> cameras;
};
CameraInfo TestCamera(const std::string& name, std::vector<FrameSize> sizes);

}  // namespace viren::test
