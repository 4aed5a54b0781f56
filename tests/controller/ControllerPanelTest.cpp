#include "controller/ControllerPanel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "controller/ControllerSkin.h"
#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"
#include "vision/Bitmap24.h"

namespace viren {
namespace {

// Keeps the button state the way the drive control does, enough for clicks.
class FakeDrive : public DriveCommander {
 public:
  void SendDriveCommand(int code, SendTo = SendTo::Device) override {
    sent.push_back(code);
    switch (code) {
      case DRIVE_STOP:
        state &= ~DRIVE_STATE_MOVING;
        break;
      case DRIVE_FORWARD:
        state = (state & ~DRIVE_STATE_REVERSE) | DRIVE_STATE_FORWARD;
        break;
      case DRIVE_REVERSE:
        state = (state & ~DRIVE_STATE_FORWARD) | DRIVE_STATE_REVERSE;
        break;
      case DRIVE_STRAIGHT:
        state &= ~DRIVE_STATE_STEERING;
        break;
      case DRIVE_LEFT:
        state = (state & ~DRIVE_STATE_RIGHT) | DRIVE_STATE_LEFT;
        break;
      case DRIVE_RIGHT:
        state = (state & ~DRIVE_STATE_LEFT) | DRIVE_STATE_RIGHT;
        break;
      case DRIVE_TURBO_ON:
        state |= DRIVE_STATE_TURBO;
        break;
      case DRIVE_TURBO_OFF:
        state &= ~DRIVE_STATE_TURBO;
        break;
      case DRIVE_AUTO_ON:
        state |= DRIVE_STATE_AUTO;
        break;
      case DRIVE_AUTO_OFF:
        state &= ~DRIVE_STATE_AUTO;
        break;
    }
  }
  std::uint32_t DriveState() const override { return state; }
  int SpeedLevel() const override { return level; }
  void SetSpeedLevel(int l) override { level = l; }
  std::uint32_t state = 0;
  int level = 2;
  std::vector<int> sent;
};

class FakeActions : public ControllerActions {
 public:
  void PostExit() override { ++exits; }
  int ProgramCommandCount() const override { return commands; }
  bool AutoDriving() const override { return autoDriving; }
  void StartAutoDriving() override { autoDriving = true; }
  void StopAutoDriving() override { autoDriving = false; }
  void ShowAutoDrivingRefused() override { ++refusals; }
  int exits = 0, commands = 3, refusals = 0;
  bool autoDriving = false;
};

// Buttons 1..7 side by side, 20 x 20 each, at x = 20k.
std::array<Rect, 8> RowOfButtons() {
  std::array<Rect, 8> r{};
  r[0] = {0, 0, 200, 100};
  for (int k = 1; k < 8; ++k) r[k] = {20 * k, 40, 20 * k + 20, 60};
  return r;
}
Point Centre(const Rect& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class ControllerPanelTest : public ::testing::Test {
 protected:
  void Click(int k) {
    const Point p = Centre(panel.buttonRect(k));
    panel.MouseMove(p);
    panel.MouseDown(p);
    panel.MouseUp(p);
  }
  FakeDrive drive;
  FakeActions actions;
  ControllerPanel panel{drive, actions};
};

TEST_F(ControllerPanelTest, forwardTwiceSendsForwardThenStop) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  Click(2);
  Click(2);
  EXPECT_EQ(drive.sent, (std::vector<int>{DRIVE_FORWARD, DRIVE_STOP}));
}

TEST_F(ControllerPanelTest, steeringTogglesAndFourWheelReleaseStops) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  Click(4);
  Click(4);
  EXPECT_EQ(drive.sent, (std::vector<int>{DRIVE_LEFT, DRIVE_STRAIGHT}));
  drive.sent.clear();
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, true);
  Click(4);
  Click(4);
  EXPECT_EQ(drive.sent, (std::vector<int>{DRIVE_LEFT, DRIVE_STOP}));
}

TEST_F(ControllerPanelTest, duringAutomaticDrivingOnlyCloseAndAutoRespond) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  actions.autoDriving = true;
  for (int k = 2; k <= 6; ++k) Click(k);
  EXPECT_TRUE(drive.sent.empty());
  drive.state = DRIVE_STATE_AUTO;
  Click(7);
  EXPECT_EQ(drive.sent, std::vector<int>{DRIVE_AUTO_OFF});
  EXPECT_FALSE(actions.autoDriving);
  Click(1);
  EXPECT_EQ(actions.exits, 1);
}

TEST_F(ControllerPanelTest, autoButtonNeedsAProgramAndStartsIt) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  actions.commands = 1;
  Click(7);
  EXPECT_EQ(actions.refusals, 1);
  EXPECT_TRUE(drive.sent.empty());
  EXPECT_FALSE(actions.autoDriving);
  actions.commands = 2;
  Click(7);
  EXPECT_EQ(drive.sent, std::vector<int>{DRIVE_AUTO_ON});
  EXPECT_TRUE(actions.autoDriving);
}

TEST_F(ControllerPanelTest, turboButtonOnlyWhenEnabledAndNormalSkin) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, false, false);
  EXPECT_EQ(panel.HitTest(Centre(panel.buttonRect(6))), -1);
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  Click(6);
  EXPECT_EQ(drive.sent, std::vector<int>{DRIVE_TURBO_ON});
}

TEST_F(ControllerPanelTest, backgroundStartsMovingTheWindow) {
  panel.SetSkin(SkinType::Normal, RowOfButtons(), 8, true, false);
  EXPECT_TRUE(panel.MouseDown({5, 5}));
  EXPECT_EQ(panel.cursor(), ControllerCursor::Move);
  panel.MouseUp({50, 50});
  EXPECT_TRUE(drive.sent.empty());
}

TEST_F(ControllerPanelTest, roboQLeverDraggedUpDrivesForwardAtSpeedThree) {
  std::array<Rect, 8> r = RowOfButtons();
  r[6] = {100, 50, 120, 70};  // the lever at rest (speed 2)
  panel.SetSkin(SkinType::RoboQ, r, 8, true, false);
  EXPECT_EQ(panel.LeverRect().top, 50);
  EXPECT_FALSE(panel.MouseDown({110, 60}));
  EXPECT_TRUE(panel.leverHeld());
  EXPECT_TRUE(panel.MouseMove({110, 40}));  // above button 6's y
  EXPECT_EQ(drive.level, 3);
  EXPECT_EQ(panel.LeverRect().top, 26) << "drawn 24 pixels above the middle";
  panel.MouseUp({110, 40});
  EXPECT_EQ(drive.sent, std::vector<int>{DRIVE_FORWARD});
  // Forward set and the lever not moved: the next click stops.
  panel.MouseDown(Centre(panel.LeverRect()));
  panel.MouseUp(Centre(panel.LeverRect()));
  EXPECT_EQ(drive.sent.back(), DRIVE_STOP);
}

TEST(ControllerSkin, positionsUpToTheFirstEmptyKeyAndMissingPictures) {
  test::TestDir dir;
  std::filesystem::create_directories(dir.File("control1"));
  dir.Write("control1/control.ini",
            "[CONTROL]\r\nPOSITION0=0,0\r\nPOSITION1=10,20\r\nPOSITION2=30,40\r\nPOSITION3=1,2\r\n"
            "POSITION4=3,4\r\nPOSITION5=5,6\r\nPOSITION6=\r\nPOSITION7=7,8\r\n");
  Settings settings;
  test::FakeUiHost ui;
  auto all = [](const std::string& path) {
    return std::optional<PictureSize>(path.ends_with("control0.bmp") ? PictureSize{100, 80}
                                                                     : PictureSize{16, 12});
  };
  ControllerSkin skin = LoadControllerSkin(settings, dir.path(), SkinType::Normal, ui, all);
  EXPECT_EQ(skin.count, 6) << "no turbo and no automatic-driving button";
  EXPECT_TRUE(skin.complete);
  EXPECT_EQ(skin.rects[2], (Rect{30, 40, 46, 52}));
  EXPECT_EQ(skin.rects[0], (Rect{0, 0, 100, 80}));

  // A missing picture 3 stops the loading with MSG_CONTROLLER_PICTURE_FAILED.
  auto noThree = [&](const std::string& path) -> std::optional<PictureSize> {
    if (path.ends_with("control3.bmp")) return std::nullopt;
    return all(path);
  };
  skin = LoadControllerSkin(settings, dir.path(), SkinType::Normal, ui, noThree);
  EXPECT_EQ(skin.count, 3);
  EXPECT_FALSE(skin.complete);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{MSG_CONTROLLER_PICTURE_FAILED});
}

TEST(ControllerSkin, missingTurboPictureDropsTurboSilently) {
  test::TestDir dir;
  std::filesystem::create_directories(dir.File("control1"));
  std::string ini = "[CONTROL]\r\n";
  for (int k = 0; k < 8; ++k) ini += "POSITION" + std::to_string(k) + "=0,0\r\n";
  dir.Write("control1/control.ini", ini);
  Settings settings;
  test::FakeUiHost ui;
  auto noSix = [](const std::string& path) -> std::optional<PictureSize> {
    if (path.ends_with("control6.bmp")) return std::nullopt;
    return PictureSize{8, 8};
  };
  const ControllerSkin skin = LoadControllerSkin(settings, dir.path(), SkinType::Normal, ui, noSix);
  EXPECT_EQ(skin.count, 8);
  EXPECT_TRUE(skin.turboMissing);
  EXPECT_TRUE(ui.messages().empty());
}

TEST(ControllerSkin, aButtonThatCannotBeSeenOnTheControllerStopsTheLoading) {
  // Picture 0 is 100 x 80, every button 16 x 12. Positions near the integer
  // limits once wrapped round into rectangles no click could reach.
  const struct {
    const char* position;
    bool kept;
  } cases[] = {
      {"84,68", true},                     // the bottom-right corner exactly
      {"-15,-11", true},                   // one pixel on the picture
      {"90,75", true},                     // hanging over the edge
      {"100,10", false},                   // just right of it
      {"-16,10", false},                   // just left of it
      {"2147483647,2147483647", false},    // the sum saturates, it does not wrap
      {"2147483640,10", false},            //
      {"-2147483648,-2147483648", false},  //
      {"99999999999,5", false},            // read as the largest int
  };
  for (const auto& c : cases) {
    test::TestDir dir;
    std::filesystem::create_directories(dir.File("control1"));
    dir.Write("control1/control.ini", std::string("[CONTROL]\r\nPOSITION0=0,0\r\nPOSITION1=") +
                                          c.position + "\r\nPOSITION2=5,5\r\n");
    Settings settings;
    test::FakeUiHost ui;
    auto sizes = [](const std::string& path) {
      return std::optional<PictureSize>(path.ends_with("control0.bmp") ? PictureSize{100, 80}
                                                                       : PictureSize{16, 12});
    };
    const ControllerSkin skin =
        LoadControllerSkin(settings, dir.path(), SkinType::Normal, ui, sizes);
    EXPECT_EQ(skin.complete, c.kept) << c.position;
    EXPECT_EQ(skin.count, c.kept ? 3 : 1) << c.position;
    EXPECT_EQ(ui.messageIds(),
              c.kept ? std::vector<int>{} : std::vector<int>{MSG_CONTROLLER_PICTURE_FAILED})
        << c.position;
  }
}

TEST(ControllerSkin, theSkinsShippedWithTheProgramLoadWhole) {
  for (SkinType type : {SkinType::Normal, SkinType::RoboQ}) {
    Settings settings;
    test::FakeUiHost ui;
    const ControllerSkin skin =
        LoadControllerSkin(settings, test::ProgramFolder(), type, ui, [](const std::string& path) {
          Bitmap24 picture;
          if (LoadBitmap24(path, picture) != BitmapStatus::Ok) return std::optional<PictureSize>();
          return std::optional<PictureSize>(PictureSize{picture.width, picture.height});
        });
    EXPECT_TRUE(skin.complete);
    EXPECT_EQ(skin.count, 8);
    EXPECT_TRUE(ui.messages().empty());
  }
}

}  // namespace
}  // namespace viren
