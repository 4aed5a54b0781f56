// The ball learning dialog's widgets, offscreen, with a scripted file chooser.
#include "ball/ui/CBallDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "BallTestFrames.h"
#include "ball/PatternFile.h"
#include "core/CarState.h"
#include "core/EngineState.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "ball_ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

class StillFrame : public ReferenceFrameSource {
 public:
  bool CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width, int& height) override {
    pixels = test::ToFrame(picture);
    width = picture.width;
    height = picture.height;
    return true;
  }
  test::GreyPicture picture = test::NoisePicture(320, 240, 1);
};

class CBallDlgTest : public ::testing::Test {
 protected:
  CBallDlgTest() : settings(&ui), ball(settings, ui, car, engine) {
    App();
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    dir.Write("VIREN.ini", "[PM]\n");
    engine.frameWidth = 320;
    engine.frameHeight = 240;
    ball.SetReferenceFrameSource(&frame);
  }
  std::unique_ptr<CBallDlg> Open() {
    return std::make_unique<CBallDlg>(ball, [this](const std::string&) {
      ++chooserAsked;
      return std::optional<std::string>(dir.File("saved.bmp"));
    });
  }
  std::string Option(const char* key) {
    return ini::Lookup(dir.Read("option.ini"), "PM", key).value_or("<absent>");
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  CarState car;
  EngineState engine;
  StillFrame frame;
  BallSystem ball;
  int chooserAsked = 0;
};

TEST_F(CBallDlgTest, opensWithTheSettingsInForceAndOnlyCancelEnabled) {
  dir.Write("option.ini", "[PM]\nrejectThreshold=42\nPM_FRAME=7\n");
  ASSERT_TRUE(
      WritePatternFile(dir.File("p.bmp"), std::vector<std::uint8_t>(128 * 128 * 3, 1), 128));
  ball.LoadPatternSettings();
  ASSERT_EQ(ball.LoadPatternFile(dir.File("p.bmp")), 1);
  auto dlg = Open();
  EXPECT_FALSE(dlg->isModal());
  EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("ボール学習ダイアログ"));
  EXPECT_TRUE(dlg->radio(CBallDlg::kSize128)->isChecked());
  EXPECT_EQ(dlg->thresholdEdit()->value(), 42);
  EXPECT_EQ(dlg->thresholdEdit()->maximum(), 100);
  EXPECT_EQ(dlg->thresholdEdit()->minimum(), 1);
  EXPECT_EQ(dlg->intervalEdit()->value(), 7);
  EXPECT_FALSE(dlg->button(CBallDlg::kLearn)->isEnabled());
  EXPECT_FALSE(dlg->button(CBallDlg::kTest)->isEnabled());
  EXPECT_FALSE(dlg->button(CBallDlg::kOk)->isEnabled());
  EXPECT_TRUE(dlg->button(CBallDlg::kCancel)->isEnabled());
  EXPECT_TRUE(ball.ballLearning());
}

TEST_F(CBallDlgTest, clickLearnAndOkFollowTheLearningSteps) {
  ball.LoadPatternSettings();
  auto dlg = Open();
  dlg->show();
  dlg->radio(CBallDlg::kSize32)->click();
  EXPECT_EQ(ball.learnSize(), 32);
  // A click in the view goes to the ball part; the dialog follows.
  ball.SelectBallPoint(Point{3, 3});
  EXPECT_TRUE(dlg->button(CBallDlg::kLearn)->isEnabled());
  EXPECT_EQ(ball.BallRect(), (Rect{0, 0, 32, 32}));
  dlg->button(CBallDlg::kLearn)->click();
  EXPECT_TRUE(dlg->button(CBallDlg::kTest)->isEnabled());
  EXPECT_TRUE(dlg->button(CBallDlg::kOk)->isEnabled());
  dlg->button(CBallDlg::kTest)->click();
  EXPECT_TRUE(ui.messages().empty());  // found where it was cut
  EXPECT_EQ(ball.BallRect(), (Rect{0, 1, 32, 33}));

  dlg->thresholdEdit()->setValue(55);
  dlg->intervalEdit()->setValue(4);
  ui.ScriptAnswer(MsgAnswer::Yes);
  dlg->button(CBallDlg::kOk)->click();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_FALSE(ball.ballLearning());
  EXPECT_EQ(chooserAsked, 1);
  EXPECT_EQ(ball.PatternSize(), 32);
  EXPECT_EQ(Option("rejectThreshold"), "55");
  EXPECT_EQ(Option("PM_FRAME"), "4");
  EXPECT_EQ(Option("PATTERN_FILE"), dir.File("saved.bmp"));
  EXPECT_TRUE(dir.Exists("saved.bmp"));
}

TEST_F(CBallDlgTest, closeBoxCancelsTheLearning) {
  ball.LoadPatternSettings();
  auto dlg = Open();
  dlg->show();
  dlg->SelectBallPoint(Point{100, 100});
  dlg->button(CBallDlg::kLearn)->click();
  dlg->close();
  EXPECT_FALSE(ball.ballLearning());
  EXPECT_FALSE(ball.HasBallPattern());
  EXPECT_EQ(chooserAsked, 0);
  EXPECT_EQ(Option("PM_FRAME"), "<absent>");
  // A click after the dialog closed is not taken as a point.
  ball.SelectBallPoint(Point{10, 10});
  EXPECT_FALSE(ball.pointChosen());
}

}  // namespace
}  // namespace viren
