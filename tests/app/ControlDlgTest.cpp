#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "app/CControlDlg.h"
#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class StateDrive : public DriveCommander {
 public:
  void SendDriveCommand(int code, SendTo = SendTo::Device) override {
    sent.push_back(code);
    if (code == DRIVE_FORWARD) state |= DRIVE_STATE_FORWARD;
    if (code == DRIVE_STOP) state &= ~DRIVE_STATE_MOVING;
  }
  std::uint32_t DriveState() const override { return state; }
  int SpeedLevel() const override { return level; }
  void SetSpeedLevel(int l) override { level = l; }
  std::uint32_t state = 0;
  int level = 2;
  std::vector<int> sent;
};

class NoActions : public ControllerActions {
 public:
  void PostExit() override {}
  int ProgramCommandCount() const override { return 0; }
  bool AutoDriving() const override { return false; }
  void StartAutoDriving() override {}
  void StopAutoDriving() override {}
  void ShowAutoDrivingRefused() override {}
};

class ControlDlgTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "controller_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  StateDrive drive;
  NoActions actions;
  Settings settings;
  test::FakeUiHost ui;
};

TEST_F(ControlDlgTest, shippedSkinLightsTheForwardButtonWhenForwardIsSet) {
  CControlDlg dialog(drive, actions, nullptr);
  ASSERT_TRUE(dialog.LoadSkin(settings, test::ProgramFolder(), SkinType::Normal, ui, true, false,
                              QPoint(0, 0)));
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(dialog.panel().buttonCount(), 8);
  // Only the controller's outline is window: the blue key around it is not.
  const QRegion shape = dialog.mask();
  EXPECT_TRUE(shape.contains(QPoint(dialog.width() / 2, dialog.height() / 2)));
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  const QImage released = dialog.Composed();
  const Rect r = dialog.panel().buttonRect(2);
  const QPoint centre((r.left + r.right) / 2, r.top + 3);
  // Click forward in the middle of its button.
  QTest::mouseMove(&dialog, centre);
  QTest::mousePress(&dialog, Qt::LeftButton, {}, centre);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, centre);
  EXPECT_EQ(drive.sent, std::vector<int>{DRIVE_FORWARD});
  const QImage pressed = dialog.Composed();
  EXPECT_NE(pressed.pixel(centre), released.pixel(centre));
  // Outside the button nothing changed.
  EXPECT_EQ(pressed.pixel(r.left - 3, r.top), released.pixel(r.left - 3, r.top));
}

TEST_F(ControlDlgTest, roboQLeverIsDrawnWhereTheSpeedLevelPutsIt) {
  CControlDlg dialog(drive, actions, nullptr);
  ASSERT_TRUE(dialog.LoadSkin(settings, test::ProgramFolder(), SkinType::RoboQ, ui, true, false,
                              QPoint(0, 0)));
  const Rect middle = dialog.panel().LeverRect();
  const QPoint inMiddle((middle.left + middle.right) / 2, (middle.top + middle.bottom) / 2);
  const QRgb atRest = dialog.Composed().pixel(inMiddle);
  drive.level = 3;
  const QImage fast = dialog.Composed();
  EXPECT_NE(fast.pixel(inMiddle), atRest) << "the lever left its middle position";
  EXPECT_EQ(fast.pixel(inMiddle.x(), inMiddle.y() - 24), atRest) << "and is 24 pixels higher";
}

TEST_F(ControlDlgTest, missingSkinShows140) {
  test::TestDir empty;
  CControlDlg dialog(drive, actions, nullptr);
  empty.Write("dummy", "");
  std::filesystem::create_directories(empty.File("control1"));
  empty.Write("control1/control.ini", "[CONTROL]\r\nPOSITION0=0,0\r\n");
  EXPECT_FALSE(dialog.LoadSkin(settings, empty.path(), SkinType::Normal, ui, true, false, {}));
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CONTROLLER_PICTURE_FAILED});
}

}  // namespace
}  // namespace viren
