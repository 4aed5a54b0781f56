#include "CaptureFixture.h"

namespace viren::test {

const TestDir& TestVideos::Folder() {
  // Made on first use, removed when the test program ends.
  static const TestDir folder;
  static const bool written = [] {
    bool ok = true;
    for (VideoCodec codec : {VideoCodec::Raw, VideoCodec::Mjpeg})
      for (int width : {320, 321}) {
        const std::string name =
            (codec == VideoCodec::Raw ? "raw" : "mjpg") + std::to_string(width) + ".avi";
        const bool made = WriteTestVideo(folder.File(name), width, kHeight, kFrames, codec);
        EXPECT_TRUE(made) << name;
        ok = ok && made;
      }
    return ok;
  }();
  (void)written;
  return folder;
}

std::string TestVideos::Path(VideoCodec codec, int width) {
  return Folder().File((codec == VideoCodec::Raw ? "raw" : "mjpg") + std::to_string(width) +
                       ".avi");
}

void CaptureTest::SetUp() {
  settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
}

void CaptureTest::Make(const std::string& optionCapture, const std::string& virenCapture,
                       std::vector<CameraInfo> cameraList) {
  dir.Write("option.ini", "[CAPTURE]\n" + optionCapture);
  dir.Write("VIREN.ini", "[CAPTURE]\n" + virenCapture);
  auto provider = std::make_unique<FakeCameraProvider>();
  provider->cameras = std::move(cameraList);
  cameras = provider.get();
  capture = std::make_unique<CaptureSystem>(settings, state, ui, host, sink, std::move(provider));
  capture->SetSyncToClock(false);
  ASSERT_TRUE(capture->LoadCaptureSettings());
}

bool CaptureTest::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (host.WaitForNotify(10ms)) capture->OnGraphEvent();
  }
  return true;
}

std::vector<FakeUiHost::Shown> CaptureTest::MessagesWithId(int id) const {
  std::vector<FakeUiHost::Shown> out;
  for (const auto& m : ui.messages())
    if (m.id == id) out.push_back(m);
  return out;
}

}  // namespace viren::test
