#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "CaptureTestSupport.h"
#include "capture/CaptureSystem.h"
#include "core/EngineState.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren::test {

using namespace std::chrono_literals;

// Generated once for all capture tests: 50-frame AVIs, uncompressed (BGR) and
// MJPEG, at an even and an odd width.
struct TestVideos {
  static const TestDir& Folder();
  static std::string Path(VideoCodec codec, int width);
  static constexpr int kFrames = 50;
  static constexpr int kHeight = 240;
};

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // The capture part with the given option.ini and VIREN.ini [CAPTURE] lines.
  void Make(const std::string& optionCapture, const std::string& virenCapture,
            std::vector<CameraInfo> cameras = {});
  // Handles graph events as the window thread would, until `done` or `timeout`.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  std::vector<FakeUiHost::Shown> MessagesWithId(int id) const;

  TestDir dir;
  FakeUiHost ui;
  Settings settings{&ui};
  EngineState state;
  TestCaptureHost host;
  RecordingSink sink;
  FakeCameraProvider* cameras = nullptr;  // owned by capture
  std::unique_ptr<CaptureSystem> capture;
};

}  // namespace viren::test
