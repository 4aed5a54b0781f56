// A generated video through the real capture pipeline into the real frame
// analysis: the car's position follows the moving rectangle frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "CaptureFixture.h"
#include "vision/CFrameAnalyser.h"

namespace viren::test {
namespace {

class QuietView : public AnalysisView {
 public:
  void BeginFrame() override {}
  void EndFrame() override {}
  void PrepareFrameSize(int, int) override {}
  void ReleaseFrameSize() override {}
  void PaintBinaryImage(const std::uint8_t*, int, int) override {}
  void DrawView(const std::uint8_t*, int, int) override {}
  void DrawTargetMarker() override {}
  void DrawBallRectangle() override {}
  void DrawCourseRange() override {}
  bool DumpFrame(int, int, int) override { return true; }
};

class QuietPublisher : public PositionPublisher {
 public:
  bool MovingAreaBoxRequested() const override { return false; }
  void PublishPosition(const std::array<std::int16_t, 4>&) override {}
  void PublishBall(const Rect&) override {}
};

// Hands each frame to the analysis and notes where it put the car.
class AnalysingSink : public FrameSink {
 public:
  explicit AnalysingSink(CFrameAnalyser& analyser, CarState& car)
      : analyser_(analyser), car_(car) {}
  void AnalyseFrame(const std::uint8_t* frame, std::size_t length, int width, int height) override {
    analyser_.AnalyseFrame(frame, length, width, height);
    std::lock_guard lock(mutex_);
    positions_.push_back(car_.carPosition.load());
  }
  std::vector<Point> Positions() const {
    std::lock_guard lock(mutex_);
    return positions_;
  }

 private:
  CFrameAnalyser& analyser_;
  CarState& car_;
  mutable std::mutex mutex_;
  std::vector<Point> positions_;
};

// The car's positions when `video` plays through the real capture into the
// real analysis, one per frame.
std::vector<Point> PlayThroughAnalysis(const std::string& video) {
  TestDir dir;
  FakeUiHost ui;
  Settings settings;
  settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
  dir.Write("VIREN.ini", "[CAPTURE]\nLOOP=0\n");
  dir.Write("option.ini", "[CAPTURE]\nDEVICE=0\n");
  EngineState state;
  CarState car;
  CFrameAnalyser analyser(car, state);
  QuietView view;
  QuietPublisher publisher;
  analyser.SetPeers({.view = &view, .publisher = &publisher});
  EXPECT_EQ(analyser.LoadAnalysisSettings(settings), 1);

  TestCaptureHost host;
  AnalysingSink sink(analyser, car);
  CaptureSystem capture(settings, state, ui, host, sink, std::make_unique<FakeCameraProvider>());
  capture.SetSyncToClock(false);
  EXPECT_TRUE(capture.LoadCaptureSettings());
  if (capture.BuildCaptureGraph(video) < 0) {
    ADD_FAILURE() << video << " does not play";
    return {};
  }
  state.captureRunning = true;
  capture.RunCapture();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sink.Positions().size() < static_cast<size_t>(TestVideos::kFrames) &&
         std::chrono::steady_clock::now() < deadline) {
    if (host.WaitForNotify(std::chrono::milliseconds(10))) capture.OnGraphEvent();
  }
  capture.StopCapture(false);
  EXPECT_TRUE(ui.messages().empty()) << video;
  return sink.Positions();
}

// Frame 0 primes the reference; from then on the moving pixels are the
// rectangle's old and new places, centred between its two true centres.
void ExpectTrueCentres(const std::vector<Point>& seen, const std::string& what) {
  ASSERT_EQ(seen.size(), static_cast<size_t>(TestVideos::kFrames)) << what;
  for (int i = 1; i < TestVideos::kFrames; ++i) {
    const RectCentre now = TrueCentre(i), before = TrueCentre(i - 1);
    const double x = (now.x + before.x) / 2, y = (now.y + before.y) / 2;
    EXPECT_LE(std::abs(seen[i].x - x), 1.0) << what << " frame " << i;
    EXPECT_LE(std::abs(seen[i].y - y), 1.0) << what << " frame " << i;
  }
}

TEST(AnalysedCapture, carPositionFollowsTheMovingRectangleThroughTheRealPipeline) {
  // The odd width proves the row copy: GStreamer pads 321 * 3 to 964 bytes.
  ExpectTrueCentres(PlayThroughAnalysis(TestVideos::Path(VideoCodec::Raw, 321)), "raw AVI");
}

// The same moving rectangle as a phone or a desktop recorder would store
// it: H.264 in MP4 and VP8 in Matroska give the AVI's centres.
TEST(AnalysedCapture, mp4AndMkvVideosGiveTheCentresOfTheAvi) {
  TestDir dir;
  const std::vector<Point> avi = PlayThroughAnalysis(TestVideos::Path(VideoCodec::Raw, 320));
  for (const auto& [codec, name] :
       {std::pair{VideoCodec::H264, "moving.mp4"}, std::pair{VideoCodec::Vp8, "moving.mkv"}}) {
    ASSERT_TRUE(
        WriteTestVideo(dir.File(name), 320, TestVideos::kHeight, TestVideos::kFrames, codec))
        << name;
    const std::vector<Point> seen = PlayThroughAnalysis(dir.File(name));
    ExpectTrueCentres(seen, name);
    ASSERT_EQ(seen.size(), avi.size());
    for (size_t i = 1; i < seen.size(); ++i) {
      EXPECT_LE(std::abs(seen[i].x - avi[i].x), 1) << name << " frame " << i;
      EXPECT_LE(std::abs(seen[i].y - avi[i].y), 1) << name << " frame " << i;
    }
  }
}

}  // namespace
}  // namespace viren::test
