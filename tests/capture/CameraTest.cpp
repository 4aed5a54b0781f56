#include "CaptureFixture.h"
#include "capture/GstCaptureGraph.h"
#include "core/CommandIds.h"
#include "settings/SettingsTable.h"

namespace viren::test {
namespace {

// No camera exists on the test machine; cameras are made of videotestsrc and
// go through the same camera graph (size filter, decodebin, converter).
std::vector<CameraInfo> Cameras(int n) {
  std::vector<CameraInfo> list;
  for (int i = 0; i < n; ++i)
    list.push_back(
        TestCamera("Camera " + std::to_string(i + 1), {{160, 120}, {320, 240}, {640, 480}}));
  return list;
}

TEST_F(CaptureTest, cameraMenuListsEveryCameraChecksTheChosenOneAndOffersFour) {
  Make("DEVICE=2\n", "", Cameras(5));
  const auto& menu = capture->cameraMenu();
  ASSERT_EQ(menu.size(), 5u);
  for (size_t i = 0; i < menu.size(); ++i) {
    EXPECT_EQ(menu[i].commandId, 32001 + static_cast<int>(i));
    EXPECT_EQ(menu[i].name, "Camera " + std::to_string(i + 1));
    EXPECT_EQ(menu[i].checked, i == 1);
    EXPECT_EQ(menu[i].enabled, i < 4);
  }
  EXPECT_EQ(capture->SelectCamera(5), -1);  // no command for a fifth camera
  EXPECT_EQ(state.cameraIndex, 2);
}

TEST_F(CaptureTest, withoutCamerasDevice0MeansNoneAndAChosenCameraBecomesMinusOne) {
  Make("DEVICE=0\n", "");
  EXPECT_EQ(state.cameraIndex, 0);
  EXPECT_EQ(capture->BuildCaptureGraph(""), -1);
  EXPECT_EQ(state.cameraIndex, 0);

  Make("DEVICE=2\n", "");
  EXPECT_EQ(state.cameraIndex, -1);
  EXPECT_EQ(capture->BuildCaptureGraph(""), -1);
  EXPECT_TRUE(ui.messages().empty()) << "the start-up asks MSG_NO_CAMERA_SIMULATE itself";

  // DEVICE 0 with cameras present: still no camera.
  Make("DEVICE=0\n", "", Cameras(2));
  EXPECT_EQ(capture->BuildCaptureGraph(""), -1);
  EXPECT_FALSE(capture->hasGraph());
}

TEST_F(CaptureTest, storedDeviceBeyondTheCamerasPresentFallsBackToNoCamera) {
  Make("DEVICE=3\n", "", Cameras(1));
  EXPECT_EQ(capture->BuildCaptureGraph(""), -1);
  EXPECT_EQ(state.cameraIndex, -1);
  EXPECT_FALSE(capture->hasGraph());
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);
  // The stored choice stays for a day the camera is back.
  EXPECT_EQ(settings.ReadInt(keys::CAPTURE_DEVICE), 3);
}

TEST_F(CaptureTest, cameraDeliversTheStoredSizeOrItsOwnAfterMessage162) {
  Make("DEVICE=1\nRESOLUTION=160,120\n", "", Cameras(1));
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  EXPECT_TRUE(capture->isCameraGraph());
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(sink.Seen().back().width, 160);
  EXPECT_EQ(sink.Seen().back().height, 120);
  EXPECT_TRUE(ui.messages().empty());

  Make("DEVICE=1\nRESOLUTION=333,222\n", "", Cameras(1));
  sink.Clear();
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_SIZE_FAILED});
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(sink.Seen().back().width, 320);  // videotestsrc's own choice
}

TEST_F(CaptureTest, aMissingCameraDeviceIsReportedNotCrashedOn) {
  CameraInfo gone = TestCamera("Unplugged", {});
  gone.sourceDescription = "v4l2src device=/dev/video-viren-missing";
  Make("DEVICE=1\n", "", {gone});
  const int result = capture->BuildCaptureGraph("");
  EXPECT_LT(result, 0);
  EXPECT_NE(result, -1);
  const auto shown = MessagesWithId(MSG_VIDEO_ERROR);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].args.at(0), "Add Capture Device");
  EXPECT_FALSE(shown[0].args.at(1).empty());
  EXPECT_FALSE(capture->hasGraph());
}

TEST_F(CaptureTest, cameraFormatDialogAsks164AboveQvgaAndStoresTheAnswer) {
  Make("DEVICE=1\nRESOLUTION=160,120\n", "", Cameras(1));
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  state.captureRunning = true;
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(1, 10s));

  // Cancelled: nothing changes.
  host.formatChoice.reset();
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_EQ(host.offeredSizes, (std::vector<FrameSize>{{160, 120}, {320, 240}, {640, 480}}));
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(settings.ReadString(keys::RESOLUTION), "160,120");

  // Larger than 320 x 240 and declined: 320 x 240.
  host.formatChoice = FrameSize{640, 480};
  ui.ScriptAnswer(MsgAnswer::No);
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_SIZE_LARGE});
  EXPECT_EQ(settings.ReadString(keys::RESOLUTION), "320,240");
  EXPECT_EQ(state.frameWidth, 320);
  EXPECT_EQ(sink.releases, 1);
  sink.Clear();
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(sink.Seen().back().width, 320);

  // Accepted: kept.
  ui.ScriptAnswer(MsgAnswer::Yes);
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_EQ(settings.ReadString(keys::RESOLUTION), "640,480");
  sink.Clear();
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(sink.Seen().back().width, 640);
  EXPECT_EQ(sink.Seen().back().height, 480);

  // A given size the camera does not offer is refused without touching it.
  EXPECT_EQ(capture->SetCameraFormat(100, 100), CAPTURE_SIZE_REFUSED);
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 1);
}

TEST_F(CaptureTest, selectingACameraDuringTheSimulationSwitchesToTheLivePicture) {
  Make("DEVICE=0\n", "", Cameras(2));
  state.simulating = true;
  state.overlayMode = OVERLAY_CAR_FIGURE;
  state.viewMode = VIEW_LAYOUT;
  ASSERT_EQ(capture->SelectCamera(2), 0);
  EXPECT_EQ(settings.ReadInt(keys::CAPTURE_DEVICE), 2);
  EXPECT_EQ(state.cameraIndex, 2);
  EXPECT_TRUE(state.captureRunning);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_SET});
  EXPECT_EQ(host.leftSimulation, 1);
  EXPECT_EQ(host.liveViewShown, 1);
  EXPECT_EQ(state.viewMode, VIEW_LIVE);
  EXPECT_EQ(state.overlayMode, OVERLAY_DIRECTION);
  EXPECT_TRUE(capture->cameraMenu()[1].checked);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));

  // "None": the camera is let go.
  ASSERT_EQ(capture->SelectCamera(0), 0);
  EXPECT_FALSE(state.captureRunning);
  EXPECT_FALSE(capture->hasGraph());
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);
  EXPECT_EQ(settings.ReadInt(keys::CAPTURE_DEVICE), 0);
  EXPECT_EQ(host.repaints, 1);
  EXPECT_EQ(sink.releases, 1);

  // The camera vanished since the menu was made: MSG_NO_CAMERA_SIMULATE, Yes starts the simulation.
  state.simulating = false;
  cameras->cameras.clear();
  ui.ScriptAnswer(MsgAnswer::Yes);
  EXPECT_EQ(capture->SelectCamera(1), -1);
  EXPECT_EQ(ui.messageIds().back(), MSG_NO_CAMERA_SIMULATE);
  EXPECT_EQ(ui.postedCommands(), std::vector<int>{ID_SIMULATION});
}

}  // namespace
}  // namespace viren::test
