// Automatic driving on the simulated car under the virtual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "SimRig.h"
#include "core/DriveTypes.h"

namespace viren {
namespace {

using test::ProgramBuilder;
using test::SimRig;

std::int64_t Dist2(Point a, Point b) {
  const std::int64_t dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}

TEST(ProgramRunTest, forwardHundredEndsAfterTheThirteenthStep) {
  SimRig rig;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 100);
  const int stop = p.Add(EVENT_CAR, CAR_STOP);
  rig.Run(p);
  rig.Advance(3000);
  const auto entries = rig.log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].index, stop);
  EXPECT_EQ(entries[1].position, (Point{424, 240}));  // 320 + 13 * 8
  EXPECT_EQ(rig.car.carLayoutPosition.load(), (Point{424, 240}));
  EXPECT_TRUE(rig.engine.autoDriving);  // a chain end without END keeps the run
  EXPECT_EQ(rig.runner.CurrentCommand(), stop);
}

TEST(ProgramRunTest, ninetyDegreeLeftTurnEndsAtAQuarterTurnAndStraightens) {
  SimRig rig;
  ProgramBuilder p;
  const int go = p.Add(EVENT_CAR, CAR_FORWARD, 40);
  const int turn = p.Add(EVENT_HANDLE, HANDLE_LEFT, 90, 0);
  const int after = p.Add(EVENT_TIMER, 0, 1);
  rig.Run(p, false);
  rig.Advance(10000);
  const auto rows = rig.track.Rows();
  // The heading when the turn began, and at each later step of the turn.
  double start = 0;
  bool seenTurn = false;
  std::vector<double> during;
  for (const TrackRow& row : rows) {
    if (row.command == go) start = test::Unwrapped(row);
    if (row.command == turn) {
      seenTurn = true;
      during.push_back(test::Unwrapped(row) - start);
    }
  }
  ASSERT_TRUE(seenTurn);
  ASSERT_GE(during.size(), 2u);
  EXPECT_GE(std::fabs(during.back()), 1.570795);  // the step that ended it
  EXPECT_LT(std::fabs(during[during.size() - 2]), 1.570795);
  EXPECT_LT(during.back(), 0);  // left is anticlockwise
  const TrackRow& last = rows.back();
  EXPECT_EQ(last.command, after);
  EXPECT_EQ(last.driveState & DRIVE_STATE_STEERING, 0u);
}

TEST(ProgramRunTest, turnModeCountsWholeTurnsAndKeepsSteering) {
  SimRig rig(true, false);  // four-wheel: turns on the spot, heading exact
  ProgramBuilder p;
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 2, 1);
  const int after = p.Add(EVENT_TIMER, 0, 1);
  rig.Run(p);
  rig.Advance(20000);
  const auto entries = rig.log.Entries();
  ASSERT_EQ(entries.back().index, after);
  EXPECT_TRUE(entries.back().driveState & DRIVE_STATE_RIGHT);
  EXPECT_GE(test::Unwrapped(rig.car), 12.56636);
  // 2 turns of 0.02 rad each 10 ms: 629 steps
  EXPECT_NEAR(entries.back().tMs, 6290, 120);
}

TEST(ProgramRunTest, repeatOfThreeRunsItsStretchThreeTimes) {
  SimRig rig;
  ProgramBuilder p;
  const int timer = p.Add(EVENT_TIMER, 0, 1, 0);
  const int repeat = p.Add(EVENT_REPEAT, 0, 3);
  p.Link(repeat, timer);
  const int end = p.Add(EVENT_END);
  rig.Run(p);
  rig.Advance(10000);
  EXPECT_EQ(rig.log.Starts(timer), 3);
  EXPECT_EQ(rig.log.Starts(repeat), 3);
  ASSERT_EQ(rig.log.Entries().back().index, end);
  EXPECT_EQ(rig.log.Entries().back().tMs, 3000);
  EXPECT_FALSE(rig.engine.autoDriving);
  EXPECT_EQ(rig.log.runsEnded, 1);
}

TEST(ProgramRunTest, repeatOfOneGoesStraightOn) {
  SimRig rig;
  ProgramBuilder p;
  const int timer = p.Add(EVENT_TIMER, 0, 0, 5);
  const int repeat = p.Add(EVENT_REPEAT, 0, 1);
  p.Link(repeat, timer);
  p.Add(EVENT_END);
  rig.Run(p);
  rig.Advance(3000);
  EXPECT_EQ(rig.log.Starts(timer), 1);
}

TEST(ProgramRunTest, loopWithoutTimedCommandsMakesOnePassASecond) {
  SimRig rig;
  ProgramBuilder p;
  const int left = p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  const int right = p.Add(EVENT_HANDLE, HANDLE_RIGHT, 0);
  p.Link(right, left);
  rig.Run(p);
  rig.Advance(10000);
  const int passes = rig.log.Starts(left);
  EXPECT_GE(passes, 10);
  EXPECT_LE(passes, 11);
  const auto entries = rig.log.Entries();
  for (size_t i = 2; i < entries.size(); i += 2)
    EXPECT_EQ(entries[i].tMs - entries[i - 2].tMs, 1000) << i;
}

TEST(ProgramRunTest, linkThatNoLongerPointsBackIdlesUntilStopped) {
  SimRig rig;
  ProgramBuilder p;
  const int timer = p.Add(EVENT_TIMER, 0, 1);
  const int last = p.Add(EVENT_CAR, CAR_FORWARD, 0);
  const int later = p.Add(EVENT_END);
  p.Link(timer, later);  // forward jump: not a loop
  rig.Run(p);
  rig.Advance(5000);
  EXPECT_EQ(rig.log.Starts(timer), 1);
  EXPECT_EQ(rig.log.Starts(last), 0);
  EXPECT_TRUE(rig.engine.autoDriving);
}

TEST(ProgramRunTest, stoppingDuringASixtySecondTimerEndsAtOnce) {
  SimRig rig;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_TIMER, 0, 59, 9);
  rig.Run(p);
  rig.Advance(1000);
  rig.runner.StopAutoDriving();
  rig.runner.ReleaseDrivingResources();
  EXPECT_EQ(rig.clock.NowMs(), 1000);
  EXPECT_EQ(rig.runner.liveThreads(), 0);
  EXPECT_EQ(rig.drive.DriveState() & (DRIVE_STATE_MOVING | DRIVE_STATE_AUTO), 0u);
  EXPECT_EQ(rig.log.runsEnded, 1);
}

TEST(ProgramRunTest, stoppingDuringASixtySecondTimerEndsAtOnceInRealTime) {
  RealClock clock;
  EngineState engine;
  CarState car;
  StateDriveCommander drive(engine);
  DrivingProgram program;
  ProgramRunner runner(engine, car, drive, program, clock);
  ProgramBuilder p;
  p.Add(EVENT_TIMER, 0, 59, 9);
  p.LoadInto(program);
  runner.StartAutoDriving();
  clock.SleepFor(std::chrono::milliseconds(30));
  const auto before = clock.NowMs();
  runner.StopAutoDriving();
  runner.ReleaseDrivingResources();
  EXPECT_LT(clock.NowMs() - before, 1000);
  EXPECT_EQ(drive.History().back(), DRIVE_AUTO_OFF);
}

TEST(ProgramRunTest, cameraRangeWaitEndsAtTheFirstPositionPast638) {
  SimRig rig;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_POSITION, POSITION_LEAVE_CAMERA);
  const int stop = p.Add(EVENT_CAR, CAR_STOP);
  rig.Run(p);
  rig.Advance(5000);
  ASSERT_EQ(rig.log.Entries().back().index, stop);
  EXPECT_EQ(rig.log.Entries().back().position, (Point{640, 240}));
}

TEST(ProgramRunTest, courseRangeWaitShowsTheRangeWhileItWaits) {
  SimRig rig;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, 0);
  p.Add(EVENT_POSITION, POSITION_LEAVE_COURSE);
  const int stop = p.Add(EVENT_CAR, CAR_STOP);
  rig.Run(p);
  rig.Advance(200);
  EXPECT_TRUE(rig.engine.showCourseRange);
  rig.Advance(3000);
  ASSERT_EQ(rig.log.Entries().back().index, stop);
  EXPECT_EQ(rig.log.Entries().back().position, (Point{152, 240}));  // first x < 160
  EXPECT_FALSE(rig.engine.showCourseRange);
}

TEST(ProgramRunTest, goingToTheCameraCentreUsesTheLayoutCentreAndKeepsDriving) {
  SimRig rig;
  rig.engine.frameWidth = 320;  // the camera's resolution plays no part
  rig.engine.frameHeight = 240;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, 150);
  p.Add(EVENT_POSITION, POSITION_CAMERA_CENTRE);
  const int after = p.Add(EVENT_TIMER, 0, 1);
  rig.Run(p);
  rig.Advance(10000);
  const auto entries = rig.log.Entries();
  ASSERT_EQ(entries.back().index, after);
  EXPECT_LT(Dist2(entries.back().position, Point{320, 240}), 32 * 32);
  EXPECT_TRUE(entries.back().driveState & DRIVE_STATE_FORWARD);  // not stopped on arrival
  EXPECT_EQ(rig.car.cheesePosition.load().x, -1);
  EXPECT_EQ(rig.car.cheesePosition.load().y, 240);
  EXPECT_TRUE(rig.engine.targetFollowing);
}

TEST(ProgramRunTest, ballAvoidInSimulationEscapesBeyondTwiceTheRange) {
  SimRig rig;
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  const int avoid = p.Add(EVENT_BALL, BALL_AVOID, 150, 1);
  const int stop = p.Add(EVENT_CAR, CAR_STOP);
  rig.Run(p, false);
  rig.Advance(200);
  EXPECT_EQ(rig.runner.CurrentCommand(), avoid);
  EXPECT_EQ(rig.engine.ballMode, BallMode::Avoid);
  rig.Advance(5000);
  EXPECT_EQ(rig.runner.CurrentCommand(), stop);
  EXPECT_GT(Dist2(rig.car.carLayoutPosition, Point{160, 120}), 4 * 150 * 150);
  EXPECT_LT(Dist2(rig.car.carLayoutPosition, Point{160, 120}), 4 * 160 * 160);
}

TEST(ProgramRunTest, ballCommandWithoutPatternOutsideSimulationIsSkipped) {
  VirtualClock clock;
  EngineState engine;
  CarState car;
  StateDriveCommander drive(engine);
  DrivingProgram program;
  ProgramRunner runner(engine, car, drive, program, clock);
  ProgramBuilder p;
  p.Add(EVENT_BALL, BALL_FOLLOW, 100, 1);
  p.Add(EVENT_END);
  p.LoadInto(program);
  runner.StartAutoDriving();
  clock.SleepFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(engine.autoDriving);  // went straight on to the end
  EXPECT_EQ(engine.ballMode, BallMode::Off);
  runner.ReleaseDrivingResources();
}

class RecordingSound : public SoundControl {
 public:
  int LoadSound(int number) override {
    calls.push_back("load" + std::to_string(number));
    return number == failing ? -5 : 0;
  }
  void PlaySound(int number, bool repeat) override {
    calls.push_back((repeat ? "loop" : "play") + std::to_string(number));
  }
  void StopSound(int number) override { calls.push_back("stop" + std::to_string(number)); }
  void StopAllSounds() override { calls.push_back("stopall"); }
  int failing = -1;
  std::vector<std::string> calls;  // written by the turn holder only
};

TEST(ProgramRunTest, soundCommandsPlayAndAFailingLoadPreventsTheStart) {
  RecordingSound sound;  // outlives the rig, which stops sounds as it ends
  SimRig rig;
  rig.runner.SetSound(&sound);
  ProgramBuilder p;
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_SOUND, SOUND_REPEAT, 2);
  p.Add(EVENT_TIMER, 0, 1);
  p.Add(EVENT_SOUND, SOUND_STOP, 2);
  rig.Run(p);
  rig.Advance(2000);
  rig.runner.StopAutoDriving();
  rig.runner.ReleaseDrivingResources();
  // The stop, then the run's own end: nothing it started keeps playing.
  EXPECT_EQ(sound.calls, (std::vector<std::string>{"stopall", "load1", "load2", "load2", "play1",
                                                   "loop2", "stop2", "stopall", "stopall"}));
  sound.calls.clear();
  sound.failing = 2;
  EXPECT_EQ(rig.runner.StartAutoDriving(), -5);
  EXPECT_FALSE(rig.engine.autoDriving);
  rig.Advance(100);
  EXPECT_EQ(rig.runner.maxLiveThreads(), 1);
}

TEST(ProgramRunTest, damagedProgramsRunWithoutLeavingTheSlots) {
  std::mt19937 rng(7);
  for (int round = 0; round < 150; ++round) {
    SimRig rig;
    std::vector<EventRecord> r(2 + rng() % 20);
    r[0] = MakeStartRecord();
    for (size_t i = 0; i < r.size(); ++i) {
      if (i > 0) {
        r[i].kind = static_cast<std::uint8_t>(rng() % 12);
        r[i].option = static_cast<std::uint8_t>(rng() % 5);
        r[i].value1 = static_cast<std::int16_t>(rng() % 400 - 50);
        r[i].value2 = static_cast<std::int16_t>(rng() % 12 - 2);
      }
      r[i].next = static_cast<std::int16_t>(rng() % (r.size() + 4)) - 2;
      r[i].link = static_cast<std::int16_t>(rng() % (r.size() + 4)) - 3;
    }
    rig.program.Replace(r.data(), static_cast<int>(r.size()));
    rig.sim.StartSimulation();
    rig.runner.StartAutoDriving();
    rig.Advance(2000);
    rig.Finish();
    EXPECT_EQ(rig.runner.liveThreads(), 0);
  }
}

TEST(ProgramRunTest, steerTowardKeepsStraightWithinTheDirectionRange) {
  SimRig rig;
  rig.car.carDirection = 0.0;
  const Point car{100, 100};
  EXPECT_EQ(rig.runner.SteerToward(Point{200, 199}, car, 32), 0);  // 44.7 degrees off
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD);
  EXPECT_EQ(rig.runner.SteerToward(Point{90, 200}, car, 32), 0);  // 95.7 degrees, right
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD | DRIVE_STATE_RIGHT);
  // The error changes sign while turning: straighten.
  EXPECT_EQ(rig.runner.SteerToward(Point{200, 90}, car, 32), 0);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD);
  EXPECT_EQ(rig.runner.SteerToward(Point{90, 0}, car, 32), 0);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT);
  EXPECT_EQ(rig.runner.SteerToward(Point{120, 100}, car, 32), 1);  // within range
  EXPECT_EQ(rig.runner.SteerToward(Point{132, 100}, car, 32), 0);  // exactly 32 is not within
}

TEST(ProgramRunTest, steerTowardGivesUpWhenCirclingAwayFromTheTarget) {
  SimRig rig;
  rig.drive.SendDriveCommand(DRIVE_FORWARD);
  rig.drive.SendDriveCommand(DRIVE_LEFT);
  rig.runner.state().lastSteerError = -2.0;
  rig.car.turnCount = 5;
  const Point target{0, 0};
  rig.car.carDirection = -2.0;  // error -1.14 like the last one: no sign change
  EXPECT_EQ(rig.runner.SteerToward(target, Point{100, 0}, 10), 0);  // mark the turn
  rig.car.turnCount = 7;                                            // circled twice
  EXPECT_EQ(rig.runner.SteerToward(target, Point{100, 0}, 10), 0);  // mark the distance
  EXPECT_EQ(rig.runner.SteerToward(target, Point{90, 0}, 10), 0);   // nearer: go on
  EXPECT_EQ(rig.runner.SteerToward(target, Point{110, 0}, 10), 1);  // farther: give up
}

TEST(ProgramRunTest, fourWheelSteeringTurnsOnTheSpotTowardTheTarget) {
  SimRig rig(true, false);
  rig.car.carDirection = 0.0;
  rig.runner.SteerToward(Point{100, -300}, Point{100, 100}, 32);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_LEFT);
  rig.runner.SteerToward(Point{300, 100}, Point{100, 100}, 32);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD);
}

TEST(ProgramRunTest, followModesToggleAndLeavingThemStopsTheCar) {
  SimRig rig;
  rig.runner.ToggleFollowMode(FollowToggle::Target);
  EXPECT_TRUE(rig.engine.targetFollowing);
  EXPECT_TRUE(rig.car.targetActive);
  rig.runner.ToggleFollowMode(FollowToggle::FollowBall);
  EXPECT_FALSE(rig.engine.targetFollowing);
  EXPECT_EQ(rig.engine.ballMode, BallMode::Follow);
  rig.drive.SendDriveCommand(DRIVE_FORWARD);
  rig.drive.SendDriveCommand(DRIVE_RIGHT);
  rig.runner.ToggleFollowMode(FollowToggle::FollowBall);  // the same mode again: off
  EXPECT_EQ(rig.engine.ballMode, BallMode::Off);
  EXPECT_EQ(rig.drive.DriveState(), 0u);
}

TEST(ProgramRunTest, draggingTheCheeseMovesItWithinTheView) {
  SimRig rig;
  rig.engine.clientWidth = 320;
  rig.engine.clientHeight = 240;
  rig.car.cheesePosition = Point{100, 100};
  rig.runner.MoveCheese(CheeseAction::Move, Point{150, 150});
  rig.runner.MoveCheese(CheeseAction::Press, Point{150, 150});  // not over it: no drag
  rig.runner.MoveCheese(CheeseAction::Move, Point{104, 97});
  EXPECT_TRUE(rig.runner.state().cheeseHover);
  rig.runner.MoveCheese(CheeseAction::Press, Point{104, 97});
  rig.runner.MoveCheese(CheeseAction::Move, Point{500, 50});
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{319, 53}));
  EXPECT_TRUE(rig.car.targetActive);
  rig.runner.MoveCheese(CheeseAction::Release, Point{500, 50});
  rig.runner.MoveCheese(CheeseAction::Move, Point{10, 10});
  EXPECT_EQ(rig.car.cheesePosition.load(), (Point{319, 53}));  // no longer dragging
}

TEST(ProgramRunTest, frameFollowingStopsTheCarAtTheTarget) {
  SimRig rig;
  rig.runner.ToggleFollowMode(FollowToggle::Target);
  rig.car.cheesePosition = Point{300, 100};
  rig.car.carLayoutPosition = Point{200, 100};
  rig.runner.FollowStep(FollowSource::LayoutView, 640);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD);
  rig.car.carLayoutPosition = Point{280, 100};
  rig.runner.FollowStep(FollowSource::LayoutView, 640);
  EXPECT_EQ(rig.drive.DriveState(), 0u);
  EXPECT_FALSE(rig.car.targetActive);
  // In the camera view the range is scaled to the image: 320 wide -> 16 px.
  rig.car.targetActive = true;
  rig.car.cheesePosition = Point{150, 50};
  rig.car.carPosition = Point{130, 50};
  rig.runner.FollowStep(FollowSource::CameraView, 320);
  EXPECT_EQ(rig.drive.DriveState(), DRIVE_STATE_FORWARD);
}

// One rule for both callers: the simulation's step differs from a frame's
// only where it always has.
TEST(ProgramRunTest, followStepOfTheSimulationDiffersFromAFramesOnlyWhereItMust) {
  constexpr std::uint32_t kFwd = DRIVE_STATE_FORWARD;
  struct Case {
    const char* what;
    void (*set)(SimRig&);
    std::uint32_t afterFrame, afterSimulation;
  };
  const Case cases[] = {
      {"target not active",
       [](SimRig& r) {
         r.engine.targetFollowing = true;
         r.car.targetActive = false;
       },
       0, kFwd},
      {"avoiding while a wait runs",
       [](SimRig& r) {
         r.engine.autoDriving = true;
         r.runner.state().waitActive = 1;
         r.engine.ballMode = BallMode::Avoid;
       },
       0, kFwd},
      {"the cheese alone during a run",
       [](SimRig& r) {
         r.engine.autoDriving = true;
         r.engine.targetFollowing = true;
       },
       kFwd, 0},
      {"the ball 20 px ahead during a run",
       [](SimRig& r) {
         r.engine.autoDriving = true;
         r.engine.ballMode = BallMode::Follow;
         r.car.carLayoutPosition = Point{280, 100};
         r.drive.SendDriveCommand(DRIVE_FORWARD);
       },
       kFwd, 0},
      {"the editor placing a position",
       [](SimRig& r) {
         r.engine.targetFollowing = true;
         r.program.positionEditIndex = 1;
       },
       0, 0},
  };
  for (const Case& c : cases) {
    for (const FollowSource source : {FollowSource::LayoutView, FollowSource::Simulation}) {
      const bool simulation = source == FollowSource::Simulation;
      SimRig rig;
      rig.car.cheesePosition = Point{300, 100};
      rig.car.carLayoutPosition = Point{200, 100};
      rig.car.targetActive = true;
      c.set(rig);
      const bool activeBefore = rig.car.targetActive;
      rig.runner.FollowStep(source);
      EXPECT_EQ(rig.drive.DriveState(), simulation ? c.afterSimulation : c.afterFrame)
          << c.what << (simulation ? " (simulation)" : " (frame)");
      if (simulation) {
        EXPECT_EQ(rig.car.targetActive, activeBefore) << c.what;
      }
      rig.engine.autoDriving = false;
    }
  }
}

// Stop and start in quick succession, from two threads: never two walkers.
TEST(ProgramRunStress, tenThousandStartStopCyclesNeverLeaveASecondThread) {
  RealClock clock;
  EngineState engine;
  CarState car;
  StateDriveCommander drive(engine);
  DrivingProgram program;
  ProgramRunner runner(engine, car, drive, program, clock);
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 50);
  p.Add(EVENT_TIMER, 0, 59, 9);
  p.Add(EVENT_END);
  p.LoadInto(program);
  std::atomic<bool> done{false};
  std::thread other([&] {
    while (!done) {
      runner.StopAutoDriving();
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(runner.StartAutoDriving(), 0);
    if (i % 3 == 0) runner.NotifyFrame();
    runner.StopAutoDriving();
  }
  done = true;
  other.join();
  runner.ReleaseDrivingResources();
  EXPECT_EQ(runner.maxLiveThreads(), 1);
  EXPECT_EQ(runner.liveThreads(), 0);
}

}  // namespace
}  // namespace viren
