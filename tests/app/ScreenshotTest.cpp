// Pictures of the main window in each view and of the controller, saved for a
// person to look at (build/test-screenshots), with the sizes the views must have.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include "support/QtWaitInGtest.h"

#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"
#include "views/PictureExchange.h"

namespace viren {
namespace {

class ScreenshotTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "screenshot_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  ScreenshotTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("sample"),
                          std::filesystem::copy_options::recursive);
    std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"),
                          std::filesystem::copy_options::recursive);
    // A sample program with values on its boxes for the program view.
    dir.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n[EVENT]\r\nFILE_NAME=lap.ntc\r\n");
    QDir().mkpath(Folder());
  }
  static QString Folder() {
    return QString::fromStdString(test::ProgramFolder()) + "/../test-screenshots";
  }
  test::TestDir dir;
  test::FakeUiHost ui;
};

TEST_F(ScreenshotTest, mainWindowInEachViewAndTheController) {
  CMainFrame frame(dir.path(), "", &ui);
  frame.show();
  QTRY_VERIFY_WITH_TIMEOUT(frame.view()->engine().engineReady(), 5000);
  // Without a camera the simulation is offered at once; the window runs it.
  EXPECT_EQ(ui.postedCommands(), std::vector<int>{ID_SIMULATION});
  EXPECT_EQ(frame.view()->size(), QSize(320, 240));
  frame.grab().save(Folder() + "/main_start.png");

  frame.OnCommand(ID_SIMULATION);
  CDriveSystem& engine = frame.view()->engine();
  EXPECT_EQ(engine.state().viewMode, VIEW_LAYOUT);
  QTRY_VERIFY_WITH_TIMEOUT(engine.pictures().publishedCount() > 3, 5000);
  // The frame follows the picture: the layout is 640 x 480.
  frame.FitFrameToClient(640, 480);
  EXPECT_EQ(frame.view()->size(), QSize(640, 480));
  frame.UpdateCommands();
  EXPECT_FALSE(frame.ActionFor(ID_VIEW_LIVE)->isEnabled()) << "no live picture while simulating";
  EXPECT_TRUE(frame.ActionFor(ID_SIMULATION)->isChecked());
  const QImage layout = frame.view()->grab().toImage();
  EXPECT_EQ(layout.size(), QSize(640, 480));
  frame.grab().save(Folder() + "/main_layout_simulation.png");

  // Drive forward for a moment: the car leaves the centre of the layout.
  const Point before = engine.carState().carLayoutPosition;
  ASSERT_TRUE(frame.CreateController());
  ASSERT_NE(frame.controller(), nullptr);
  frame.controller()->grab().save(Folder() + "/controller.png");
  const Rect forward = frame.controller()->panel().buttonRect(2);
  const QPoint press((forward.left + forward.right) / 2, (forward.top + forward.bottom) / 2);
  QTest::mouseMove(frame.controller(), press);
  QTest::mouseClick(frame.controller(), Qt::LeftButton, {}, press);
  QTRY_VERIFY_WITH_TIMEOUT(engine.carState().carLayoutPosition.load().x > before.x + 40, 5000);
  QTest::mouseClick(frame.controller(), Qt::LeftButton, {}, press);  // stop
  frame.grab().save(Folder() + "/main_layout_driven.png");

  frame.OnCommand(ID_VIEW_PROGRAM);
  EXPECT_EQ(engine.state().viewMode, VIEW_PROGRAM);
  frame.ShowCommandToolbar(true);  // as the window's own host does in the program view
  QTRY_VERIFY_WITH_TIMEOUT(frame.commandToolbar()->isVisible(), 2000);
  QTest::qWait(100);
  // The editor's canvas is what the view shows now: the start command is drawn.
  const QImage program = frame.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int inked = 0;
  for (int y = 0; y < program.height(); ++y)
    for (int x = 0; x < program.width(); ++x) inked += program.pixel(x, y) != qRgb(255, 255, 255);
  EXPECT_GT(inked, 200);
  frame.grab().save(Folder() + "/main_program.png");

  frame.OnCommand(ID_SIMULATION);  // stops the simulation
  EXPECT_FALSE(engine.state().simulating);
  frame.OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(frame.isVisible());
}

}  // namespace
}  // namespace viren
