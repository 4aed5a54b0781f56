#include <thread>

#include "CaptureFixture.h"
#include "capture/GstCaptureGraph.h"

namespace viren::test {
namespace {

// Stop, run and rebuild while the analysis is busy with frames: after every
// stop no frame is in progress and none follows, buffers are released only
// then, and there is never more than one pipeline. Run under ThreadSanitizer
// and AddressSanitizer this also proves that no frame touches freed memory.
TEST_F(CaptureTest, stopWhileFramesFlowWaitsForTheFrameInProgressAndDeliversNoMore) {
  Make("", "LOOP=1\n");
  sink.delayMs = 2;  // a slow analysis, so that stops land inside frames
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Raw, 321)), 0);
  for (int cycle = 0; cycle < 8; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    const int before = sink.FrameCount();
    ASSERT_EQ(capture->RunCapture(), 0);
    ASSERT_TRUE(sink.WaitForFrames(before + 3, 10s));
    ASSERT_EQ(capture->StopCapture(cycle % 2 == 0), 0);
    EXPECT_EQ(sink.inFlight, 0);
    const int stoppedAt = sink.FrameCount();
    std::this_thread::sleep_for(30ms);
    capture->OnGraphEvent();
    EXPECT_EQ(sink.FrameCount(), stoppedAt);
  }
  EXPECT_EQ(sink.releases, 4);  // the four stops that were not quick
  EXPECT_EQ(sink.overlapped, 0);

  // A file run again after a stop starts at its first frame, announced.
  sink.Clear();
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(1, 10s));
  capture->StopCapture(true);
  const auto seen = sink.Seen();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_TRUE(seen[0].rewind);
  EXPECT_NEAR(seen[1].cx, TrueCentre(0).x, 1.0);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CaptureTest, rebuildingNeverLeavesTwoPipelinesAndOldFramesStop) {
  Make("", "LOOP=1\n");
  sink.delayMs = 1;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int width = round % 2 ? 321 : 320;
    // Rebuilt while the previous graph is still running.
    ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Raw, width)), 0);
    EXPECT_EQ(GstCaptureGraph::LivePipelines(), 1);
    sink.Clear();
    ASSERT_EQ(capture->RunCapture(), 0);
    ASSERT_TRUE(sink.WaitForFrames(4, 10s));
    for (const SeenFrame& f : sink.Seen()) {
      if (!f.rewind) {
        ASSERT_EQ(f.width, width) << "a frame of the previous graph";
      }
    }
  }
  capture->ShutdownCapture();
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);
  EXPECT_EQ(sink.inFlight, 0);
  capture->ShutdownCapture();  // twice is harmless
}

TEST_F(CaptureTest, destroyingTheCaptureWhileFramesFlowIsClean) {
  Make("", "LOOP=1\n");
  sink.delayMs = 3;
  ASSERT_EQ(capture->BuildCaptureGraph(TestVideos::Path(VideoCodec::Mjpeg, 321)), 0);
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  capture.reset();
  EXPECT_EQ(sink.inFlight, 0);
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);
}

}  // namespace
}  // namespace viren::test
