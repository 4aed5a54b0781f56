// The simulated car's motion, one step at a time (no thread).
#include <gtest/gtest.h>

#include <cmath>

#include "SimRig.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "support/TestDir.h"

namespace viren {
namespace {

class SimulationStepTest : public ::testing::Test {
 protected:
  explicit SimulationStepTest(bool fourWheel = false, bool roboQ = false) : rig(fourWheel, roboQ) {
    rig.engine.clientWidth = 640;
    rig.engine.clientHeight = 480;
    rig.sim.ResetCar();
  }
  void Press(std::initializer_list<int> codes) {
    for (int c : codes) rig.drive.SendDriveCommand(c);
  }
  test::SimRig rig;
};

class FourWheelStepTest : public SimulationStepTest {
 protected:
  FourWheelStepTest() : SimulationStepTest(true, false) {}
};

class RoboQStepTest : public SimulationStepTest {
 protected:
  RoboQStepTest() : SimulationStepTest(false, true) {}
};

TEST_F(SimulationStepTest, forwardMovesEightPixelsAStepAndPausesTenMilliseconds) {
  Press({DRIVE_FORWARD});
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(rig.sim.Step(), 10);
    EXPECT_EQ(rig.car.carLayoutPosition.load(), (Point{320 + 8 * i, 240}));
    EXPECT_EQ(rig.car.carPosition.load(), rig.car.carLayoutPosition.load());
  }
  EXPECT_DOUBLE_EQ(rig.sim.Pose().x, 344.0);
}

TEST_F(SimulationStepTest, atRestThePositionStaysAndThePauseIs100) {
  rig.sim.PlaceCar(100.4, 50.6, 1.0);
  EXPECT_EQ(rig.sim.Step(), 100);
  EXPECT_EQ(rig.car.carLayoutPosition.load(), (Point{320, 240}));
  EXPECT_DOUBLE_EQ(rig.sim.Pose().x, 100.4);
}

TEST_F(SimulationStepTest, steeringTurnsOppositeWaysForwardAndInReverse) {
  Press({DRIVE_FORWARD, DRIVE_LEFT});
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().theta, -0.02, 1e-7);  // forward: left is anticlockwise
  rig.sim.PlaceCar(320, 240, 0);
  Press({DRIVE_REVERSE});
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().theta, 0.02, 1e-7);  // reverse with left: clockwise
  // Reversing moves against the heading.
  EXPECT_LT(rig.sim.Pose().x, 320.0);
  EXPECT_NEAR(rig.sim.Pose().x, 320 - 8 * std::cos(0.02), 1e-5);
  rig.sim.PlaceCar(320, 240, 0);
  Press({DRIVE_RIGHT});
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().theta, -0.02, 1e-7);
}

TEST_F(SimulationStepTest, headingWrapsToTheOtherEndNotByAFullTurn) {
  rig.sim.PlaceCar(320, 240, 3.13);
  Press({DRIVE_FORWARD, DRIVE_RIGHT});
  rig.sim.Step();
  EXPECT_DOUBLE_EQ(rig.sim.Pose().theta, -3.14159);
  rig.sim.PlaceCar(320, 240, -3.13);
  Press({DRIVE_LEFT});
  rig.sim.Step();
  EXPECT_DOUBLE_EQ(rig.sim.Pose().theta, 3.14159);
}

TEST_F(SimulationStepTest, turboDoublesBothSteps) {
  Press({DRIVE_FORWARD, DRIVE_TURBO_ON, DRIVE_LEFT});
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().theta, -0.04, 1e-7);
  EXPECT_NEAR(rig.sim.Pose().x, 320 + 16 * std::cos(0.04), 1e-5);
}

TEST_F(SimulationStepTest, thePositionIsNeverClamped) {
  rig.sim.PlaceCar(636, 2, -kHalfPi);
  Press({DRIVE_FORWARD});
  rig.sim.Step();
  rig.sim.Step();
  EXPECT_EQ(rig.car.carLayoutPosition.load().y, -13);  // -13.5 truncated toward zero
  rig.sim.PlaceCar(636, 240, 0);
  rig.sim.Step();
  EXPECT_EQ(rig.car.carLayoutPosition.load().x, 644);
}

TEST_F(SimulationStepTest, normalCarHeadingComesFromTheTrack) {
  rig.sim.PlaceCar(320, 240, 0.5);  // the motion heading; the reported one follows the track
  Press({DRIVE_FORWARD});
  for (int i = 0; i < 4; ++i) rig.sim.Step();
  EXPECT_DOUBLE_EQ(rig.car.carDirection.load(), 0.0);  // fewer than 5 samples
  rig.sim.Step();
  EXPECT_NEAR(rig.car.carDirection.load(), 0.5, 0.05);
}

TEST_F(SimulationStepTest, crossingTheBackDirectionCountsTurnsBothWays) {
  rig.car.lastDirection = 3.0;
  rig.car.carDirection = -3.0;
  rig.sim.Step();
  EXPECT_EQ(rig.car.turnCount, 1);
  rig.car.carDirection = 3.0;
  rig.sim.Step();
  EXPECT_EQ(rig.car.turnCount, 0);
  rig.car.carDirection = 1.0;  // from 3.0 to 1.0: no crossing
  rig.sim.Step();
  EXPECT_EQ(rig.car.turnCount, 0);
}

TEST_F(SimulationStepTest, followingPushesTheBallAhead) {
  rig.engine.ballMode = BallMode::Follow;
  rig.engine.viewMode = VIEW_PROGRAM;  // keep the steering out of it
  rig.car.cheesePosition = Point{350, 240};
  Press({DRIVE_FORWARD});
  rig.sim.Step();  // car at 328: 22 px from the ball, within 64*64/2
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{358, 240}));
  rig.car.cheesePosition = Point{500, 240};
  rig.sim.Step();
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{500, 240}));
}

// An unlearned ball: a 64-pixel square in the camera picture.
class SquareBall : public BallControl {
 public:
  bool HasBallPattern() const override { return false; }
  int PatternSize() const override { return 64; }
  Rect BallRect() const override { return rect; }
  void SetBallRect(const Rect& r) override { rect = r; }
  Rect rect{};
};

// The ball's square in the camera picture: x by W / 640 and y by H / 480 of
// its layout position, as the car's position converts, so a 16:9 camera keeps
// the ball where the program waiting for it looks.
TEST_F(SimulationStepTest, theBallSquareScalesEachAxisByTheCameraSize) {
  SquareBall ball;
  rig.sim.SetBall(&ball);
  rig.engine.ballMode = BallMode::Follow;
  rig.engine.viewMode = VIEW_LAYOUT;
  rig.car.cheesePosition = Point{600, 400};  // out of the car's reach
  for (const auto& [w, h, expected] : {std::tuple{640, 360, Rect{568, 268, 632, 332}},
                                       std::tuple{320, 240, Rect{268, 168, 332, 232}},
                                       std::tuple{640, 480, Rect{568, 368, 632, 432}}}) {
    rig.engine.frameWidth = w;
    rig.engine.frameHeight = h;
    rig.sim.Step();
    EXPECT_EQ(ball.rect, expected) << w << "x" << h;
  }
}

TEST_F(FourWheelStepTest, steeringAloneTurnsOnTheSpotAndThePauseStaysShort) {
  Press({DRIVE_LEFT});
  EXPECT_EQ(rig.sim.Step(), 10);
  EXPECT_EQ(rig.car.carLayoutPosition.load(), (Point{320, 240}));
  EXPECT_NEAR(rig.car.carDirection.load(), -0.02, 1e-7);
  rig.drive.SendDriveCommand(DRIVE_STRAIGHT);
  EXPECT_EQ(rig.sim.Step(), 10);  // four-wheel mode: short pause even at rest
  rig.sim.PlaceCar(320, 240, 3.13);
  rig.car.lastDirection = 3.13;
  Press({DRIVE_RIGHT});
  rig.sim.Step();
  EXPECT_EQ(rig.car.turnCount, 1);  // 3.13 -> -3.14159
}

TEST_F(RoboQStepTest, speedLevelScalesTheStepAndReverseNeverMoves) {
  rig.drive.SetSpeedLevel(3);
  Press({DRIVE_FORWARD});
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().x, 332.0, 1e-9);  // 3 * 0.5 * 8
  Press({DRIVE_LEFT});                         // forward with left: on the spot
  rig.sim.Step();
  EXPECT_NEAR(rig.sim.Pose().x, 332.0, 1e-9);
  EXPECT_NEAR(rig.car.carDirection.load(), -0.03, 1e-7);
  Press({DRIVE_STRAIGHT, DRIVE_REVERSE});
  EXPECT_EQ(rig.sim.Step(), 10);
  EXPECT_NEAR(rig.sim.Pose().x, 332.0, 1e-9);
}

TEST(StateDriveCommanderTest, stopWhileMovingReleasesTurboFirstAndFourWheelButtonsExclude) {
  EngineState engine;
  StateDriveCommander drive(engine);
  int resets = 0;
  drive.SetTrackReset([&] { ++resets; });
  drive.SendDriveCommand(DRIVE_TURBO_ON);
  drive.SendDriveCommand(DRIVE_STOP);  // standing: no turbo release
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_TURBO);
  drive.SendDriveCommand(DRIVE_FORWARD);
  drive.SendDriveCommand(DRIVE_LEFT);
  drive.SendDriveCommand(DRIVE_STOP);
  EXPECT_EQ(drive.History(), (std::vector<int>{6, 0, 1, 4, 7, 0}));
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_LEFT);
  EXPECT_EQ(resets, 2);
  drive.SendDriveCommand(42);  // unknown codes change nothing
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_LEFT);

  engine.control4WD = true;
  drive.SendDriveCommand(DRIVE_FORWARD);
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_FORWARD);
  drive.SendDriveCommand(DRIVE_RIGHT);
  EXPECT_EQ(drive.DriveState(), DRIVE_STATE_RIGHT);
}

}  // namespace
}  // namespace viren

namespace viren {
namespace {

// option.ini's [SIMULATION] (the parameter dialog's switch, a calibration)
// stands over VIREN.ini's key by key; VIREN.ini's fills in the rest, and the
// program's values stand in for keys in neither.
TEST(SimulationSettingsTest, optionIniStandsOverVirenIniKeyByKey) {
  test::TestDir dir;
  dir.Write("VIREN.ini",
            "[SIMULATION]\r\nPOSITION_STEP=1.5\r\nDIRECTION_STEP=0.05\r\n"
            "CAMERA_ERRORS=0\r\nCAMERA_DELAY=80\r\n");
  struct Case {
    const char* option;
    float positionStep, directionStep;
    bool cameraErrors;
    int delayMs;
  };
  const Case cases[] = {
      {"", 1.5f, 0.05f, false, 80},
      {"[SIMULATION]\r\nPOSITION_STEP=2.25\r\nCAMERA_ERRORS=1\r\n", 2.25f, 0.05f, true, 80},
      {"[SIMULATION]\r\nPOSITION_STEP=\r\n[VIEW]\r\nCAMERA_DELAY=5\r\n", 1.5f, 0.05f, false, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    dir.Write("option.ini", c.option);
    Settings settings;
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    const SimulationSettings s = SimulationSettings::Load(settings);
    EXPECT_FLOAT_EQ(s.positionStep, c.positionStep);
    EXPECT_FLOAT_EQ(s.directionStep, c.directionStep);
    EXPECT_EQ(s.cameraErrors, c.cameraErrors);
    EXPECT_EQ(s.cameraDelayMs, c.delayMs);
    EXPECT_EQ(s.speedMs, 10);
    EXPECT_EQ(s.cameraRate, 30);
  }
}

}  // namespace
}  // namespace viren
