#include <cmath>
#include <fstream>
#include <random>

#include "CaptureFixture.h"
#include "capture/GstCaptureGraph.h"
#include "core/Messages.h"

namespace viren::test {
namespace {

// Frame number from the rectangle's position; -1 when it is not where any
// frame puts it.
int FrameIndexOf(const SeenFrame& f) {
  const int i = static_cast<int>(std::lround((f.cx - TrueCentre(0).x) / 4.0));
  return i >= 0 && i < TestVideos::kFrames ? i : -1;
}

struct VideoCase {
  VideoCodec codec;
  int width;
};

class VideoFramesTest : public CaptureTest, public ::testing::WithParamInterface<VideoCase> {};

TEST_P(VideoFramesTest, everyFrameArrivesUprightUnpaddedInOrderAndTheVideoPlaysOnce) {
  const VideoCase c = GetParam();
  Make("", "LOOP=0\n");
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(c.codec, c.width)), 0);
  EXPECT_EQ(state.cameraIndex, -1);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(TestVideos::kFrames, 20s));
  // Without LOOP nothing starts the video again.
  PumpUntil([] { return false; }, 300ms);

  const std::vector<SeenFrame> seen = sink.Seen();
  ASSERT_EQ(seen.size(), static_cast<size_t>(TestVideos::kFrames));
  for (int i = 0; i < TestVideos::kFrames; ++i) {
    const SeenFrame& f = seen[i];
    SCOPED_TRACE("frame " + std::to_string(i));
    ASSERT_FALSE(f.rewind);
    EXPECT_EQ(f.width, c.width);
    EXPECT_EQ(f.height, TestVideos::kHeight);
    EXPECT_EQ(f.length, static_cast<size_t>(c.width) * TestVideos::kHeight * 3);
    EXPECT_TRUE(f.topIsRed) << "top of the picture must be the last row, blue-green-red";
    EXPECT_TRUE(f.bottomIsBlue);
    const RectCentre truth = TrueCentre(i);
    EXPECT_NEAR(f.cx, truth.x, 1.0);
    EXPECT_NEAR(f.cy, truth.y, 1.0);
  }
  EXPECT_TRUE(ui.messages().empty());
  // One conversion buffer for the whole video.
  EXPECT_EQ(capture->frameBufferAllocations(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Avi, VideoFramesTest,
    ::testing::Values(VideoCase{VideoCodec::Raw, 320}, VideoCase{VideoCodec::Raw, 321},
                      VideoCase{VideoCodec::Mjpeg, 320}, VideoCase{VideoCodec::Mjpeg, 321}),
    [](const auto& info) {
      return std::string(info.param.codec == VideoCodec::Raw ? "Raw" : "Mjpeg") +
             std::to_string(info.param.width);
    });

TEST_F(CaptureTest, loopingRestartsAtTheFirstFrameAndAnnouncesEachRewind) {
  Make("", "LOOP=1\n");
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Raw, 321)), 0);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(PumpUntil([&] { return sink.FrameCount() >= 2 * TestVideos::kFrames + 10; }, 30s))
      << sink.FrameCount() << " frames, " << host.notifications << " notifications";
  ASSERT_EQ(capture->StopCapture(true), 0);

  const std::vector<SeenFrame> seen = sink.Seen();
  int expected = 0;
  int rewinds = 0;
  for (size_t k = 0; k < seen.size(); ++k) {
    if (seen[k].rewind) {
      // Announced once, right before the first frame again.
      EXPECT_EQ(expected, TestVideos::kFrames) << "at entry " << k;
      ASSERT_LT(k + 1, seen.size());
      EXPECT_FALSE(seen[k + 1].rewind);
      expected = 0;
      ++rewinds;
      continue;
    }
    ASSERT_EQ(FrameIndexOf(seen[k]), expected) << "at entry " << k;
    expected = expected + 1;
  }
  EXPECT_GE(rewinds, 2);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CaptureTest, missingOrCorruptFilesNameTheFailingStepAndLeaveNoGraph) {
  Make("", "");
  const int missing = capture->BuildCaptureGraph(dir.File("nowhere.avi"));
  EXPECT_LT(missing, 0);
  EXPECT_NE(missing, -1) << "-1 would mean 'no camera' to the start-up";
  EXPECT_FALSE(capture->hasGraph());

  std::string garbage =
      "RIFF\x10\x00\x00\x00"
      "AVI LIST";
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>(random()));
  dir.Write("corrupt.avi", garbage);
  const int corrupt = capture->BuildCaptureGraph(dir.File("corrupt.avi"));
  EXPECT_LT(corrupt, 0);
  EXPECT_NE(corrupt, -1);

  dir.Write("empty.avi", "");
  EXPECT_LT(capture->BuildCaptureGraph(dir.File("empty.avi")), 0);

  const auto shown = MessagesWithId(MSG_VIDEO_ERROR);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].args.at(0), "Add Source File");
  EXPECT_EQ(shown[1].args.at(0), "Connect Capture Video Out to Grabber Video In");
  for (const auto& m : shown) {
    EXPECT_EQ(m.icon, MsgIcon::Stop);
    EXPECT_FALSE(m.args.at(1).empty()) << "GStreamer's own text is %2";
  }
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);

  // The capture is still usable afterwards.
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Raw, 320)), 0);
  ASSERT_EQ(capture->RunCapture(), 0);
  EXPECT_TRUE(sink.WaitForFrames(5, 10s));
}

TEST_F(CaptureTest, openVideoFilePlaysTheChosenFileOrShows132) {
  Make("DEVICE=1\n", "");
  host.videoChoice.reset();
  EXPECT_EQ(capture->OpenVideoFile(), 0);  // cancelled
  EXPECT_FALSE(capture->hasGraph());
  EXPECT_FALSE(state.captureRunning);

  host.videoChoice = dir.File("missing.avi");
  EXPECT_LT(capture->OpenVideoFile(), 0);
  std::vector<int> ids = ui.messageIds();
  EXPECT_EQ(ids, (std::vector<int>{MSG_VIDEO_ERROR, MSG_VIDEO_LIBRARY_FAILED}));
  EXPECT_FALSE(state.captureRunning);

  host.videoChoice = TestVideos::Path(VideoCodec::Mjpeg, 320);
  state.overlayMode = OVERLAY_POLYGON;
  state.viewMode = VIEW_LAYOUT;
  ASSERT_EQ(capture->OpenVideoFile(), 0);
  EXPECT_TRUE(state.captureRunning);
  EXPECT_EQ(state.overlayMode, OVERLAY_CENTROID);
  EXPECT_EQ(state.viewMode, VIEW_LIVE);
  EXPECT_EQ(host.liveViewShown, 1);
  EXPECT_EQ(capture->videoFileName(), *host.videoChoice);
  EXPECT_EQ(state.cameraIndex, -1);
  EXPECT_TRUE(sink.WaitForFrames(3, 10s));

  // Opening another file while one plays stops the first and releases the
  // analysis buffers before the new graph runs.
  host.videoChoice = TestVideos::Path(VideoCodec::Raw, 321);
  ASSERT_EQ(capture->OpenVideoFile(), 0);
  EXPECT_EQ(sink.releases, 1);
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 1);
}

TEST_F(CaptureTest, settingsGiveTheWantedSizeAndLoop) {
  Make("RESOLUTION=640\n", "LOOP=0\n");
  EXPECT_EQ(state.frameWidth, 640);
  EXPECT_EQ(state.frameHeight, 640);
  EXPECT_FALSE(capture->loopVideo());
  EXPECT_EQ(capture->folderFrameRate(), 30);

  Make("RESOLUTION=none\nFOLDER_RATE=12\n", "");
  EXPECT_EQ(state.frameWidth, 0);
  EXPECT_EQ(state.frameHeight, 0);
  EXPECT_TRUE(capture->loopVideo());
  EXPECT_EQ(capture->folderFrameRate(), 12);

  // No rate at all would never show the second picture.
  Make("FOLDER_RATE=0\n", "");
  EXPECT_EQ(capture->folderFrameRate(), 30);
  Make("FOLDER_RATE=-5\n", "");
  EXPECT_EQ(capture->folderFrameRate(), 30);
}

TEST_F(CaptureTest, errorTextIsCutAt160CharactersWithoutSplittingOne) {
  Make("", "");
  std::string longText;
  for (int i = 0; i < 200; ++i) longText += "誤";  // three bytes each
  EXPECT_EQ(capture->ReportCaptureError(-9, "Get Status", longText), -9);
  const auto shown = MessagesWithId(MSG_VIDEO_ERROR);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].args.at(1).size(), 160u * 3);
  EXPECT_EQ(
      FormatMessage(MSG_VIDEO_ERROR, shown[0].args).rfind("Direct Show Error:Get Status\n", 0), 0u);
}

}  // namespace
}  // namespace viren::test
