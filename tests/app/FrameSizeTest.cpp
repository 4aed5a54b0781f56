// The view's client area always equals the picture: the camera's size in the
// live view, 640 x 480 on the layout. Run with the window program's own
// UiHost, a video file standing in for the camera.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "commands/CommandTable.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class FrameSizeTest : public ::testing::TestWithParam<QSize> {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "frame_size_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  FrameSizeTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }
  std::string MakeVideo(QSize size) {
    const std::string path = dir.File("camera.avi");
    const std::string make =
        "gst-launch-1.0 -q videotestsrc num-buffers=300 pattern=ball ! "
        "video/x-raw,width=" +
        std::to_string(size.width()) + ",height=" + std::to_string(size.height()) +
        ",framerate=30/1 ! videoconvert ! avimux ! filesink location=" + path + " >/dev/null 2>&1";
    return std::system(make.c_str()) == 0 ? path : std::string();
  }
  test::TestDir dir;
};

TEST_P(FrameSizeTest, viewIsTheCameraSizeLiveAnd640x480OnTheLayout) {
  const QSize camera = GetParam();
  const std::string video = MakeVideo(camera);
  ASSERT_FALSE(video.empty()) << "gst-launch-1.0 could not write the test video";
  CMainFrame frame(dir.path(), "-i " + video);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 5000);
  EXPECT_TRUE(engine.state().captureRunning);
  EXPECT_EQ(engine.state().viewMode, VIEW_LIVE);
  QTRY_COMPARE_WITH_TIMEOUT(frame.view()->size(), camera, 5000);

  frame.OnCommand(ID_VIEW_LAYOUT);
  QTRY_COMPARE_WITH_TIMEOUT(frame.view()->size(), QSize(640, 480), 5000);
  frame.OnCommand(ID_VIEW_LIVE);
  QTRY_COMPARE_WITH_TIMEOUT(frame.view()->size(), camera, 5000);

  // Automatic driving chosen while it is off changes nothing.
  frame.OnCommand(ID_AUTO_DRIVING);
  EXPECT_FALSE(engine.state().autoDriving);
  frame.OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(frame.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Cameras, FrameSizeTest,
                         ::testing::Values(QSize(320, 240), QSize(640, 480)));

}  // namespace
}  // namespace viren
