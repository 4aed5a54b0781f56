// Cameras as the machine offers them: the real device monitor over a device
// provider of the tests' own (hot-plug), and a camera's controls in the
// settings dialog, remembered per camera.
#include <gst/gst.h>

#include <dirent.h>
#include <algorithm>

#include "CaptureFixture.h"
#include "FakeCameraControls.h"
#include "TestCameraProvider.h"
#include "capture/GstCaptureGraph.h"
#include "core/Messages.h"
#include "settings/IniFile.h"
#include "settings/SettingsTable.h"

namespace viren::test {
namespace {

// The cameras of the tests' provider, in listed order (a real camera on the
// test machine is left out).
std::vector<CameraInfo> OurCameras(const std::vector<CameraInfo>& all) {
  std::vector<CameraInfo> ours;
  for (const CameraInfo& c : all)
    if (c.name.rfind("Test ", 0) == 0) ours.push_back(c);
  return ours;
}

std::vector<std::string> NamesOf(const std::vector<CameraInfo>& cameras) {
  std::vector<std::string> names;
  for (const CameraInfo& c : cameras) names.push_back(c.name);
  return names;
}

class CameraWatchTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    UnplugAllTestCameras();
  }
  void TearDown() override {
    capture.reset();
    UnplugAllTestCameras();
  }
  // The capture part over GStreamer's own device monitor.
  void MakeWatching(const std::string& optionCapture) {
    dir.Write("option.ini", "[CAPTURE]\n" + optionCapture);
    dir.Write("VIREN.ini", "[CAPTURE]\n");
    capture = std::make_unique<CaptureSystem>(settings, state, ui, host, sink);
    capture->SetSyncToClock(false);
    ASSERT_TRUE(capture->LoadCaptureSettings());
  }
  // The window thread's share: a notice of a change, then the handler.
  void HandleCameraChange() {
    ASSERT_TRUE(host.WaitForCamerasChanged(5s)) << "no notice of the change";
    capture->OnCamerasChanged();
  }
  std::vector<std::string> MenuNames() const {
    std::vector<std::string> names;
    for (const CameraMenuItem& item : capture->cameraMenu())
      if (item.name.rfind("Test ", 0) == 0) names.push_back(item.name);
    return names;
  }
};

TEST_F(CameraWatchTest, everyProviderIsListedEachCameraOnceNodesFirstInNumberOrder) {
  PlugTestCamera("Test desk", "/dev/video10");
  PlugTestCamera("Test desk (service)", "/dev/video10");  // the same node again
  PlugTestCamera("Test desk");                            // a service without the node
  PlugTestCamera("Test bench", "/dev/video2");
  PlugTestCamera("Test board camera");
  const auto cameras = OurCameras(MakeGstCameraProvider()->ListCameras());
  EXPECT_EQ(NamesOf(cameras),
            (std::vector<std::string>{"Test bench", "Test desk", "Test board camera"}));
  ASSERT_EQ(cameras.size(), 3u);
  EXPECT_EQ(cameras[0].controlDevice, "/dev/video2");
  EXPECT_EQ(cameras[2].controlDevice, "");
  EXPECT_EQ(cameras[2].sizes, (std::vector<FrameSize>{{160, 120}, {320, 240}}));
}

TEST_F(CameraWatchTest, cameraWithoutANodeStreamsThroughItsOwnDevice) {
  PlugTestCamera("Test board camera");
  MakeWatching("DEVICE=1\nRESOLUTION=160,120\n");
  ASSERT_EQ(MenuNames(), std::vector<std::string>{"Test board camera"});
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  state.captureRunning = true;
  ASSERT_EQ(capture->RunCapture(), 0);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(sink.Seen().back().width, 160);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CameraWatchTest, menuFollowsPlugAndPullAndLosingTheCameraInUseStopsTheCar) {
  PlugTestCamera("Test B");
  MakeWatching("DEVICE=1\nRESOLUTION=160,120\n");
  ASSERT_EQ(MenuNames(), std::vector<std::string>{"Test B"});
  ASSERT_EQ(capture->SelectCamera(1), 0);
  ASSERT_TRUE(sink.WaitForFrames(2, 10s));

  // A camera plugged in before it in the order: the check stays on "Test B",
  // now second, and the next start finds it there too.
  PlugTestCamera("Test A");
  HandleCameraChange();
  EXPECT_EQ(MenuNames(), (std::vector<std::string>{"Test A", "Test B"}));
  EXPECT_EQ(state.cameraIndex, 2);
  EXPECT_EQ(settings.ReadInt(keys::CAPTURE_DEVICE), 2);
  EXPECT_TRUE(capture->cameraMenu()[1].checked);
  EXPECT_TRUE(state.captureRunning);
  EXPECT_EQ(host.carStops, 0);

  // Another camera pulled out: nothing stops.
  UnplugTestCamera("Test A");
  HandleCameraChange();
  EXPECT_EQ(state.cameraIndex, 1);
  EXPECT_TRUE(state.captureRunning);
  EXPECT_TRUE(ui.messages().empty());

  // The camera in use pulled out: the car stops, one message names it.
  UnplugTestCamera("Test B");
  HandleCameraChange();
  EXPECT_EQ(host.carStops, 1);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_LOST});
  EXPECT_EQ(ui.messages().back().args, std::vector<std::string>{"Test B"});
  EXPECT_FALSE(state.captureRunning);
  EXPECT_FALSE(capture->hasGraph());
  EXPECT_EQ(GstCaptureGraph::LivePipelines(), 0);
  EXPECT_EQ(state.cameraIndex, -1);
  EXPECT_TRUE(MenuNames().empty());
  EXPECT_EQ(settings.ReadInt(keys::CAPTURE_DEVICE), 1);

  // Back again: it runs again by itself.
  sink.Clear();
  PlugTestCamera("Test B");
  HandleCameraChange();
  EXPECT_EQ(state.cameraIndex, 1);
  EXPECT_TRUE(state.captureRunning);
  EXPECT_TRUE(sink.WaitForFrames(2, 10s));
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CAMERA_LOST});
}

class CameraControlsTest : public CaptureTest {
 protected:
  // The camera's controls are those of `device` from the next build on.
  void MakeWithControls(std::shared_ptr<FakeCameraControls::State> device) {
    device_ = std::move(device);
    Make("DEVICE=1\nRESOLUTION=160,120\n", "", {TestCamera("Desk [cam]", {{160, 120}})});
    capture->SetControlsFactory([this](const CameraInfo&) -> std::unique_ptr<CameraControls> {
      if (!device_) return nullptr;
      return std::make_unique<FakeCameraControls>(device_);
    });
  }
  std::shared_ptr<FakeCameraControls::State> device_;
  std::string Stored(std::uint32_t id) {
    char key[16];
    std::snprintf(key, sizeof key, "%08X", id);
    return ini::Lookup(dir.Read("option.ini"), CaptureSystem::ControlSection("Desk [cam]"), key)
        .value_or("<absent>");
  }
};

TEST_F(CameraControlsTest, controlsChangedInTheDialogAreRememberedAndComeBackModesFirst) {
  auto device = FakeCameraControls::Webcam();
  MakeWithControls(device);
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  // Manual exposure, a fixed time and the 50 Hz mains filter, as a person
  // under fluorescent lamps sets them; then the dialog is cancelled.
  host.adjustControls = [](CameraControls& c) {
    EXPECT_FALSE(c.Set(kExposureTime, 300));  // refused while automatic
    EXPECT_TRUE(c.Set(kExposureMode, kExposureManual));
    EXPECT_TRUE(c.Set(kExposureTime, 300));
    EXPECT_TRUE(c.Set(kPowerLine, 1));
  };
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_NE(host.offeredControls, nullptr);
  EXPECT_EQ(FakeCameraControls::ValueOf(*device, kExposureTime), 300);
  EXPECT_EQ(Stored(kExposureMode), "1");
  EXPECT_EQ(Stored(kExposureTime), "300");
  EXPECT_EQ(Stored(kPowerLine), "1");
  EXPECT_EQ(Stored(kBrightness), "<absent>");
  EXPECT_EQ(settings.ReadString(keys::RESOLUTION), "160,120");

  // The camera comes back with its own defaults (unplugged, another run):
  // the stored values are applied, the mode before the time it governs.
  auto fresh = FakeCameraControls::Webcam();
  device_ = fresh;
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kExposureMode), kExposureManual);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kExposureTime), 300);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kPowerLine), 1);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kBrightness), 128);

  // Reset: the camera's defaults, stored as such.
  host.adjustControls = [](CameraControls& c) { ResetControlsToDefaults(c); };
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kExposureTime), 250);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kExposureMode), kExposureAperturePriority);
  EXPECT_EQ(FakeCameraControls::ValueOf(*fresh, kPowerLine), 2);
  EXPECT_EQ(Stored(kExposureMode), "3");
  EXPECT_EQ(Stored(kPowerLine), "2");
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CameraControlsTest, storedValuesOutOfRangeOrGarbledAreLeftAlone) {
  auto device = FakeCameraControls::Webcam();
  MakeWithControls(device);
  const std::string section = CaptureSystem::ControlSection("Desk [cam]");
  EXPECT_EQ(section.find_first_of("[]"), std::string::npos);
  settings.WriteSettingString(section, "00980900", "999", settings.optionFile());
  settings.WriteSettingString(section, "00980918", "1x", settings.optionFile());
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  EXPECT_TRUE(device->sets.empty());
}

TEST_F(CameraControlsTest, cameraWithoutControlsOffersTheSizesAlone) {
  MakeWithControls(nullptr);
  ASSERT_EQ(capture->BuildCaptureGraph(""), 0);
  host.offeredControls = reinterpret_cast<CameraControls*>(1);
  EXPECT_EQ(capture->ShowCameraSettings(), 0);
  EXPECT_EQ(host.offeredControls, nullptr);
  EXPECT_EQ(host.offeredSizes, (std::vector<FrameSize>{{160, 120}}));
}

// Against a real camera when the machine has one: the controls it reports
// can be read and a value written back.
TEST(RealCameraControls, aRealV4l2NodeListsItsControlsAndTakesItsOwnValue) {
  std::unique_ptr<CameraControls> controls;
  std::string node;
  if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.rfind("video", 0) != 0) continue;
      auto c = OpenV4l2Controls("/dev/" + name);
      if (c && !c->List().empty()) {
        controls = std::move(c);
        node = "/dev/" + name;
        break;
      }
    }
    closedir(d);
  }
  if (!controls) GTEST_SKIP() << "no V4L2 camera with controls on this machine";
  const std::vector<CameraControl> listed = controls->List();
  for (const CameraControl& c : listed) {
    EXPECT_LE(c.minimum, c.maximum) << c.name;
    if (c.type == CameraControl::Type::Menu) {
      EXPECT_FALSE(c.menu.empty()) << c.name;
    }
  }
  const auto writable = std::find_if(listed.begin(), listed.end(),
                                     [](const CameraControl& c) { return !c.inactive; });
  ASSERT_NE(writable, listed.end()) << node;
  EXPECT_TRUE(controls->Set(writable->id, writable->value)) << node << " " << writable->name;
}

TEST(RealCameraControls, aMissingNodeHasNoControls) {
  EXPECT_EQ(OpenV4l2Controls("/dev/video-viren-missing"), nullptr);
  EXPECT_EQ(OpenV4l2Controls(""), nullptr);
}

}  // namespace
}  // namespace viren::test
