// The camera picture drawn into another program's window (interface command
// 102), on a real X server (Xvfb): the test is the other program. It makes an
// X window, hands its id over through shared memory and reads the pixels back.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "api/client/InterfaceClient.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "core/Messages.h"
#include "engine/CDriveSystem.h"
#include "support/ShmObjects.h"
#include "support/TestDir.h"
#include "views/PictureExchange.h"

namespace viren {
namespace {

constexpr std::uint32_t kMagenta = 0xff00ff;  // the window's own background

// The other program's side: a window of its own on the same display.
class ForeignWindow {
 public:
  ForeignWindow() : connection_(xcb_connect(nullptr, nullptr)) {
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    id_ = xcb_generate_id(connection_);
    // Override-redirect: no window manager moves it, and it stays on top of
    // the program's windows, so its pixels can be read back.
    const std::uint32_t values[] = {kMagenta, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id_, screen_->root,
                      static_cast<std::int16_t>(screen_->width_in_pixels - 200),
                      static_cast<std::int16_t>(screen_->height_in_pixels - 160), kWidth, kHeight,
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, id_);
    xcb_flush(connection_);
  }
  ~ForeignWindow() { xcb_disconnect(connection_); }

  std::uint32_t id() const { return id_; }
  void Destroy() {
    xcb_destroy_window(connection_, id_);
    xcb_flush(connection_);
  }
  void Raise() {
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(connection_, id_, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_flush(connection_);
  }
  // The pixel at (x, y) as 0xRRGGBB.
  std::uint32_t Pixel(int x, int y) {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, id_, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 1, 1, ~0u),
        nullptr);
    if (!image) return 0xffffffff;
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, xcb_get_image_data(image), 4);
    std::free(image);
    return pixel & 0xffffff;
  }

  static constexpr std::uint16_t kWidth = 160;
  static constexpr std::uint16_t kHeight = 120;

 private:
  xcb_connection_t* connection_;
  xcb_screen_t* screen_;
  std::uint32_t id_;
};

bool IsGreen(std::uint32_t rgb) {
  return ((rgb >> 8) & 0xff) > 180 && (rgb >> 16) < 80 && (rgb & 0xff) < 80;
}

class ExternalWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "external_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
      GTEST_SKIP() << "needs an X server (run under xvfb-run with QT_QPA_PLATFORM=xcb)";
    prefix = "xwin" + std::to_string(::getpid()) + "_";
    setenv("VIREN_SHM_PREFIX", prefix.c_str(), 1);
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
    video = dir.File("green.avi");
    const std::string make =
        "gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=green ! "
        "video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! avimux ! filesink "
        "location=" +
        video + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0) << "gst-launch-1.0 could not write the test video";
  }
  void TearDown() override {
    unsetenv("VIREN_SHM_PREFIX");
    test::RemoveShmObjects(prefix);
  }

  std::string prefix;
  std::string video;
  test::TestDir dir;
};

TEST_F(ExternalWindowTest, cameraPictureGoesIntoTheHandedWindowUntilItIsDestroyed) {
  CMainFrame frame(dir.path(), "-s -i " + video);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 3, 10000);

  ForeignWindow window;
  client::InterfaceClient other(prefix);
  ASSERT_EQ(other.Open(), 0);
  ASSERT_EQ(other.PostCommand(api::COMMAND_EXTERNAL_WINDOW, static_cast<int>(window.id())), 0);
  QTRY_VERIFY_WITH_TIMEOUT(engine.state().externalDisplay, 5000);
  EXPECT_TRUE(frame.view()->externalWindowAttached());

  // The green camera picture, scaled to the whole window: corners and middle.
  window.Raise();
  QTRY_VERIFY_WITH_TIMEOUT(
      IsGreen(window.Pixel(ForeignWindow::kWidth / 2, ForeignWindow::kHeight / 2)), 5000);
  EXPECT_TRUE(IsGreen(window.Pixel(1, 1))) << std::hex << window.Pixel(1, 1);
  EXPECT_TRUE(IsGreen(window.Pixel(ForeignWindow::kWidth - 2, ForeignWindow::kHeight - 2)));

  // Its owner destroys it: the next picture finds it gone and detaches.
  window.Destroy();
  QTRY_VERIFY_WITH_TIMEOUT(!engine.state().externalDisplay, 5000);
  EXPECT_FALSE(frame.view()->externalWindowAttached());
  EXPECT_TRUE(frame.isVisible());
  other.Close();
  frame.OnCommand(ID_APP_EXIT);
}

TEST_F(ExternalWindowTest, idOfNoWindowIsRefusedWithAMessage) {
  CMainFrame frame(dir.path(), "-s -i " + video);
  frame.show();
  CDriveSystem& engine = frame.view()->engine();
  QTRY_VERIFY_WITH_TIMEOUT(engine.engineReady(), 10000);
  // The message box runs its own event loop: a timer reads and closes it.
  QString shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&shown] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
    }
  });
  closer.start(20);
  client::InterfaceClient other(prefix);
  ASSERT_EQ(other.Open(), 0);
  ASSERT_EQ(other.PostCommand(api::COMMAND_EXTERNAL_WINDOW, 0x7ffffff0), 0);
  QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 5000);
  EXPECT_EQ(shown.toStdString(),
            FormatMessage(MSG_EXTERNAL_WINDOW_MISSING, {std::to_string(0x7ffffff0)}));
  EXPECT_FALSE(engine.state().externalDisplay);
  other.Close();
  frame.OnCommand(ID_APP_EXIT);
}

}  // namespace
}  // namespace viren
