// Ball recognition and learning as the engine drives them: settings, the
// pattern file at start-up, the search every PM_FRAME frames, the learning
// steps with their messages, and the ball's geometry.
#include "ball/BallSystem.h"

#include <gtest/gtest.h>

#include "BallTestFrames.h"
#include "ball/BallGeometry.h"
#include "ball/PatternFile.h"
#include "core/CarState.h"
#include "core/CommandIds.h"
#include "core/EngineState.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::GreyPicture;

class FakeReference : public ReferenceFrameSource {
 public:
  bool CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width, int& height) override {
    if (frame.empty()) return false;
    pixels = frame;
    width = w;
    height = h;
    return true;
  }
  void Set(const GreyPicture& p) {
    frame = test::ToFrame(p);
    w = p.width;
    h = p.height;
  }
  std::vector<std::uint8_t> frame;
  int w = 0;
  int h = 0;
};

class BallSystemTest : public ::testing::Test {
 protected:
  BallSystemTest() : settings(&ui), ball(settings, ui, car, engine) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    dir.Write("VIREN.ini", "[PM]\nfindDistance=1\n");
    ball.SetReferenceFrameSource(&reference);
  }
  void Camera(const GreyPicture& p) {
    reference.Set(p);
    engine.frameWidth = p.width;
    engine.frameHeight = p.height;
  }
  std::string Option(const char* key) {
    return ini::Lookup(dir.Read("option.ini"), "PM", key).value_or("<absent>");
  }

  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
  CarState car;
  EngineState engine;
  FakeReference reference;
  BallSystem ball;
};

TEST_F(BallSystemTest, startUpWithoutPatternFileHasDefaultsAndNoPattern) {
  car.ballRect.store(Rect{1, 2, 3, 4});
  EXPECT_EQ(ball.LoadPatternSettings(), 1);
  EXPECT_FALSE(ball.HasBallPattern());
  EXPECT_EQ(ball.PatternSize(), 64);
  EXPECT_EQ(ball.BallRect(), Rect{});
  EXPECT_EQ(ball.rejectThreshold(), 75);
  EXPECT_EQ(ball.pmFrame(), 30);
  EXPECT_EQ(ball.escapeDistance(), 100);
  EXPECT_EQ(ball.matcher().settings().numOfBasis, 50);
  EXPECT_FLOAT_EQ(ball.matcher().settings().bottomUpStartPercent, 10.0f);
  EXPECT_FLOAT_EQ(ball.matcher().settings().distanceStartPercent, 2.0f);
}

TEST_F(BallSystemTest, startUpLoadsTheStoredPatternAndQuietlyIgnoresAMissingOne) {
  std::vector<std::uint8_t> patch(64 * 64 * 3, 90);
  ASSERT_TRUE(WritePatternFile(dir.File("ball.bmp"), patch, 64));
  dir.Write("option.ini",
            "[PM]\nPATTERN_FILE=" + dir.File("ball.bmp") + "\nrejectThreshold=40\nPM_FRAME=5\n");
  dir.Write("VIREN.ini", "[PM]\nnumOfBasis=20\nbottomUpStartPercent=15\nEscapeDistance=60\n");
  ball.LoadPatternSettings();
  EXPECT_TRUE(ball.HasBallPattern());
  EXPECT_EQ(ball.PatternSize(), 64);
  EXPECT_EQ(ball.BallPattern(), std::vector<std::uint8_t>(64 * 64, 90));
  EXPECT_EQ(ball.rejectThreshold(), 40);
  EXPECT_EQ(ball.pmFrame(), 5);
  EXPECT_EQ(ball.escapeDistance(), 60);
  EXPECT_EQ(ball.matcher().settings().numOfBasis, 20);
  EXPECT_FLOAT_EQ(ball.matcher().settings().bottomUpStartPercent, 15.0f);

  dir.Write("option.ini", "[PM]\nPATTERN_FILE=" + dir.File("gone.bmp") + "\n");
  ball.LoadPatternSettings();
  EXPECT_FALSE(ball.HasBallPattern());
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(ball.LoadPatternFile(dir.File("gone.bmp")), 0);
}

TEST_F(BallSystemTest, searchesTheFirstFrameAndThenEveryPmFrameFrames) {
  dir.Write("option.ini", "[PM]\nPM_FRAME=3\n");
  ball.LoadPatternSettings();
  GreyPicture picture = test::SmoothPicture(160, 120, 1);
  test::Plant(picture, test::BallPatch(32, 2), 70, 40);
  const auto frame = test::ToFrame(picture);
  Rect found;
  EXPECT_FALSE(ball.SearchFrame(frame.data(), 160, 120, found));  // no pattern yet

  const auto patch = test::ToFrame(test::Cut(picture, 70, 40, 32));
  ASSERT_TRUE(WritePatternFile(dir.File("ball.bmp"), patch, 32));
  ASSERT_EQ(ball.LoadPatternFile(dir.File("ball.bmp")), 1);
  ball.RestartCountdown();
  std::vector<int> searchedAt;
  for (int n = 0; n < 7; ++n) {
    Rect r;
    if (ball.SearchFrame(frame.data(), 160, 120, r)) {
      searchedAt.push_back(n);
      EXPECT_EQ(r, (Rect{70, 40, 102, 72}));
    }
  }
  EXPECT_EQ(searchedAt, (std::vector<int>{0, 3, 6}));
}

TEST_F(BallSystemTest, frameBeyondTheMatchersLimitIsToldOnceAndAgainAfterAFittingOne) {
  dir.Write("option.ini", "[PM]\nPM_FRAME=1\n");
  ball.LoadPatternSettings();
  const auto patch = test::ToFrame(test::BallPatch(32, 2));
  ASSERT_TRUE(WritePatternFile(dir.File("ball.bmp"), patch, 32));
  ASSERT_EQ(ball.LoadPatternFile(dir.File("ball.bmp")), 1);
  const std::vector<std::uint8_t> large(2592u * 1944u * 3u, 80), small(320u * 240u * 3u, 80);
  Rect r;
  for (int n = 0; n < 3; ++n) EXPECT_FALSE(ball.SearchFrame(large.data(), 2592, 1944, r));
  EXPECT_EQ(ui.postedCommands(), std::vector<int>{WM_BALL_FRAME_TOO_LARGE});
  EXPECT_FALSE(ball.matcher().HasSetup());
  ball.SearchFrame(small.data(), 320, 240, r);
  ball.SearchFrame(large.data(), 2592, 1944, r);
  EXPECT_EQ(ui.postedCommands(),
            (std::vector<int>{WM_BALL_FRAME_TOO_LARGE, WM_BALL_FRAME_TOO_LARGE}));
}

TEST_F(BallSystemTest, setUpIsRebuiltWhenTheFrameSizeChanges) {
  ball.LoadPatternSettings();
  const GreyPicture patch = test::BallPatch(32, 3);
  struct Size {
    int w, h, left, top;
  };
  for (const Size s :
       {Size{320, 240, 200, 100}, Size{640, 360, 500, 300}, Size{320, 180, 7, 140}}) {
    GreyPicture picture = test::SmoothPicture(s.w, s.h, s.w);
    test::Plant(picture, patch, s.left, s.top);
    const auto frame = test::ToFrame(picture);
    ASSERT_EQ(ball.FindBall(frame.data(), s.w, s.h, patch.pixels.data(), 32, 20), 1) << s.w;
    EXPECT_EQ(ball.BallRect(), (Rect{s.left, s.top, s.left + 32, s.top + 32}));
    EXPECT_EQ(ball.matcher().SetupCols(), s.w);
    EXPECT_EQ(ball.matcher().SetupRows(), s.h);
  }
  // Nothing found: ballRect keeps its value.
  const GreyPicture empty = test::SmoothPicture(320, 180, 9);
  const auto frame = test::ToFrame(empty);
  EXPECT_EQ(ball.FindBall(frame.data(), 320, 180, patch.pixels.data(), 32, 20), 0);
  EXPECT_EQ(ball.BallRect(), (Rect{7, 140, 39, 172}));
}

TEST_F(BallSystemTest, clickedPointIsClampedSoTheSquareStaysInThePicture) {
  ball.LoadPatternSettings();
  Camera(test::SmoothPicture(320, 240, 1));
  ball.OpenBallDialog();
  EXPECT_TRUE(ball.ballLearning());
  ball.SetLearnSize(32);
  EXPECT_FALSE(ball.pointChosen());
  ball.SelectBallPoint(Point{3, 3});
  EXPECT_TRUE(ball.pointChosen());
  EXPECT_EQ(ball.learnPoint(), (Point{16, 16}));
  EXPECT_EQ(ball.BallRect(), (Rect{0, 0, 32, 32}));
  ball.SelectBallPoint(Point{319, 239});
  EXPECT_EQ(ball.learnPoint(), (Point{303, 223}));
  EXPECT_EQ(ball.BallRect(), (Rect{287, 207, 319, 239}));
  // A new size moves the square round the clamped point.
  ball.SetLearnSize(16);
  EXPECT_EQ(ball.BallRect(), (Rect{295, 215, 311, 231}));
}

TEST_F(BallSystemTest, learningCutsTheSquareBelowTheRectangleFromTheReferenceFrame) {
  ball.LoadPatternSettings();
  const GreyPicture picture = test::NoisePicture(320, 240, 5);
  Camera(picture);
  ball.OpenBallDialog();
  ball.SetLearnSize(32);
  EXPECT_FALSE(ball.LearnBall());  // no point yet
  ball.SelectBallPoint(Point{100, 60});
  ASSERT_TRUE(ball.LearnBall());
  EXPECT_TRUE(ball.learned());
  // Picture rows top + 1 .. top + 32 of columns left .. left + 31.
  EXPECT_EQ(ball.learnGreyPatch(), test::Cut(picture, 84, 45, 32).pixels);
  EXPECT_EQ(ball.learnColourPatch(), test::ToFrame(test::Cut(picture, 84, 45, 32)));
  // Learning at the bottom edge still stays inside the frame.
  ball.SelectBallPoint(Point{319, 239});
  EXPECT_TRUE(ball.LearnBall());
  EXPECT_EQ(ball.learnGreyPatch(), test::Cut(picture, 287, 208, 32).pixels);
}

TEST_F(BallSystemTest, squareLargerThanTheFrameIsNotLearned) {
  ball.LoadPatternSettings();
  Camera(test::NoisePicture(100, 80, 5));
  ball.OpenBallDialog();
  ball.SetLearnSize(128);
  ball.SelectBallPoint(Point{50, 40});
  EXPECT_FALSE(ball.LearnBall());
  EXPECT_FALSE(ball.learned());
}

TEST_F(BallSystemTest, recognitionTestFindsTheLearnedBallOrShowsMessage143) {
  ball.LoadPatternSettings();
  GreyPicture picture = test::SmoothPicture(320, 240, 2);
  test::Plant(picture, test::BallPatch(32, 4), 150, 100);
  Camera(picture);
  ball.OpenBallDialog();
  ball.SetLearnSize(32);
  ball.SelectBallPoint(Point{166, 115});
  ASSERT_TRUE(ball.LearnBall());
  car.ballRect.store(Rect{});
  EXPECT_TRUE(ball.TestBall(10));
  EXPECT_EQ(ball.BallRect(), (Rect{150, 100, 182, 132}));  // picture rows 100 .. 131
  EXPECT_TRUE(ui.messages().empty());

  Camera(test::SmoothPicture(320, 240, 3));  // the ball has gone
  EXPECT_FALSE(ball.TestBall(10));
  ASSERT_EQ(ui.messageIds(), std::vector<int>{MSG_BALL_NOT_RECOGNISED});
}

TEST_F(BallSystemTest, dialogStartPlacesThePointOnTheBallFoundWithThePatternInForce) {
  GreyPicture picture = test::SmoothPicture(320, 240, 2);
  test::Plant(picture, test::BallPatch(16, 4), 40, 180);
  ASSERT_TRUE(WritePatternFile(dir.File("ball.bmp"), test::ToFrame(test::BallPatch(16, 4)), 16));
  dir.Write("option.ini", "[PM]\nPATTERN_FILE=" + dir.File("ball.bmp") + "\n");
  ball.LoadPatternSettings();
  Camera(picture);
  engine.ballMode = BallMode::Follow;
  ball.OpenBallDialog();
  EXPECT_EQ(engine.ballMode, BallMode::Off);
  EXPECT_EQ(ball.learnSize(), 16);
  EXPECT_TRUE(ball.pointChosen());
  EXPECT_EQ(ball.learnPoint(), (Point{48, 188}));
  EXPECT_FALSE(ball.learned());
}

TEST_F(BallSystemTest, okStoresPatternAndSettingsAndSavesThePatternFileOnYes) {
  ball.LoadPatternSettings();
  GreyPicture picture = test::NoisePicture(320, 240, 8);
  Camera(picture);
  ball.OpenBallDialog();
  ball.SetLearnSize(32);
  ball.SelectBallPoint(Point{50, 50});
  ASSERT_TRUE(ball.LearnBall());
  const auto grey = ball.learnGreyPatch();
  const auto colour = ball.learnColourPatch();
  ui.ScriptAnswer(MsgAnswer::Yes);
  std::string proposed = "<none>";
  ball.CloseBallDialog(true, 12, 33, [&](const std::string& current) {
    proposed = current;
    return std::optional<std::string>(dir.File("learned.bmp"));
  });
  EXPECT_FALSE(ball.ballLearning());
  EXPECT_EQ(proposed, "");
  ASSERT_EQ(ui.messageIds(), std::vector<int>{MSG_SAVE_PATTERN});
  EXPECT_EQ(ui.messages()[0].buttons, MsgButtons::YesNo);
  EXPECT_TRUE(ball.HasBallPattern());
  EXPECT_EQ(ball.PatternSize(), 32);
  EXPECT_EQ(ball.BallPattern(), grey);
  EXPECT_EQ(ball.pmFrame(), 12);
  EXPECT_EQ(ball.rejectThreshold(), 33);
  EXPECT_EQ(Option("PM_FRAME"), "12");
  EXPECT_EQ(Option("rejectThreshold"), "33");
  EXPECT_EQ(Option("PATTERN_FILE"), dir.File("learned.bmp"));
  EXPECT_EQ(EncodePatternFile(colour, 32).size(), 3126u);
  EXPECT_FALSE(ball.matcher().HasSetup());
  // And the next start finds it again.
  ball.LoadPatternSettings();
  EXPECT_EQ(ball.BallPattern(), grey);
}

TEST_F(BallSystemTest, unwritablePatternFileShowsMessage145AndKeepsThePattern) {
  ball.LoadPatternSettings();
  Camera(test::NoisePicture(320, 240, 8));
  ball.OpenBallDialog();
  ball.SetLearnSize(16);
  ball.SelectBallPoint(Point{50, 50});
  ASSERT_TRUE(ball.LearnBall());
  ui.ScriptAnswer(MsgAnswer::Yes);
  ball.CloseBallDialog(true, 30, 75, [&](const std::string&) {
    return std::optional<std::string>(dir.File("no/such/folder/ball.bmp"));
  });
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_SAVE_PATTERN, MSG_PATTERN_SAVE_FAILED}));
  EXPECT_TRUE(ball.HasBallPattern());
  EXPECT_EQ(ball.PatternSize(), 16);
  EXPECT_EQ(Option("PATTERN_FILE"), "<absent>");
}

TEST_F(BallSystemTest, cancelAfterLearningLeavesEverythingAsItWas) {
  ASSERT_TRUE(
      WritePatternFile(dir.File("ball.bmp"), std::vector<std::uint8_t>(64 * 64 * 3, 7), 64));
  dir.Write("option.ini", "[PM]\nPATTERN_FILE=" + dir.File("ball.bmp") + "\nPM_FRAME=9\n");
  ball.LoadPatternSettings();
  const std::string optionBefore = dir.Read("option.ini");
  Camera(test::NoisePicture(320, 240, 8));
  ball.OpenBallDialog();
  ball.SetLearnSize(32);
  ball.SelectBallPoint(Point{50, 50});
  ASSERT_TRUE(ball.LearnBall());
  ball.CloseBallDialog(false, 1, 1, [](const std::string&) -> std::optional<std::string> {
    ADD_FAILURE() << "no file chooser on cancel";
    return std::nullopt;
  });
  EXPECT_FALSE(ball.ballLearning());
  EXPECT_EQ(ball.PatternSize(), 64);
  EXPECT_EQ(ball.BallPattern(), std::vector<std::uint8_t>(64 * 64, 7));
  EXPECT_EQ(ball.pmFrame(), 9);
  EXPECT_EQ(ball.rejectThreshold(), 75);
  EXPECT_EQ(dir.Read("option.ini"), optionBefore);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_FALSE(ball.learned());
}

TEST_F(BallSystemTest, sizeChangedAfterLearningKeepsThePatchItsOwnSide) {
  ball.LoadPatternSettings();
  Camera(test::NoisePicture(320, 240, 8));
  ball.OpenBallDialog();
  ball.SetLearnSize(16);
  ball.SelectBallPoint(Point{50, 50});
  ASSERT_TRUE(ball.LearnBall());
  ball.SetLearnSize(128);  // the radio moved, the patch stayed 16 x 16
  ui.ScriptAnswer(MsgAnswer::No);
  ball.CloseBallDialog(true, 30, 75, {});
  EXPECT_EQ(ball.PatternSize(), 16);
  EXPECT_EQ(ball.BallPattern().size(), 256u);
}

TEST(BallGeometryTest, layoutPositionScalesYLikeEveryOtherPoint) {
  const Rect ball{100, 60, 132, 92};
  // 4:3: the same as scaling both axes by 640 / W.
  EXPECT_EQ(BallRectToLayout(ball, 320, 240), (Rect{200, 120, 264, 184}));
  EXPECT_EQ(BallCentre(ball, true, 320, 240), (Point{232, 152}));
  EXPECT_EQ(BallCentre(ball, false, 320, 240), (Point{116, 76}));
  // 16:9: y by 480 / H, so the bottom of the picture is the bottom of the layout.
  EXPECT_EQ(BallRectToLayout(Rect{0, 328, 32, 360}, 640, 360), (Rect{0, 437, 32, 480}));
  EXPECT_EQ(BallCentre(Rect{608, 328, 640, 360}, true, 640, 360), (Point{624, 458}));
  // Before the first frame the values stand as they are.
  EXPECT_EQ(BallRectToLayout(ball, 0, 0), ball);
}

TEST(BallGeometryTest, markerIsADiscOfPatternSizeAndTheOutlineInTheLayoutView) {
  const Rect ball{100, 60, 132, 92};
  const BallMarkerShape live = DrawBallMarkerShape(ball, false, 320, 240, 32);
  EXPECT_FALSE(live.hasDisc);
  EXPECT_EQ(live.outline, ball);
  const BallMarkerShape layout = DrawBallMarkerShape(ball, true, 320, 240, 32);
  ASSERT_TRUE(layout.hasDisc);
  EXPECT_EQ(layout.disc, (Rect{216, 136, 248, 168}));
  EXPECT_EQ(layout.outline, (Rect{200, 120, 264, 184}));
  const BallMarkerShape wide = DrawBallMarkerShape(Rect{304, 164, 336, 196}, true, 640, 360, 32);
  EXPECT_EQ(wide.disc, (Rect{304, 224, 336, 256}));  // the centre of the layout
}

}  // namespace
}  // namespace viren
