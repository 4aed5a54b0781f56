#include "vision/CFrameAnalyser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "support/CountAllocations.h"
#include "support/TestDir.h"
#include "vision/PixelTests.h"

namespace viren {
namespace {

constexpr int kW = 320;
constexpr int kH = 240;
constexpr int kCarW = 21;
constexpr int kCarH = 15;

// A still, textured table with a car of 4 x 4 checks on it: a move by four
// pixels along one axis changes every pixel the car covers before or after.
std::vector<std::uint8_t> MakeFrame(int carX, int carY, bool withCar = true) {
  std::vector<std::uint8_t> f(static_cast<size_t>(kW) * kH * 3);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      std::uint8_t* p = &f[(static_cast<size_t>(kH - 1 - y) * kW + x) * 3];
      const auto grey = static_cast<std::uint8_t>(100 + (x * 7 + y * 13) % 50);
      p[0] = p[1] = p[2] = grey;
      if (withCar && x >= carX && x < carX + kCarW && y >= carY && y < carY + kCarH) {
        const bool dark = ((x - carX) / 4 + (y - carY) / 4) % 2 != 0;
        p[0] = dark ? 0 : 255;
        p[1] = 0;
        p[2] = dark ? 255 : 0;
      }
    }
  return f;
}

class FakeDrive : public DriveCommander {
 public:
  void SendDriveCommand(int code, SendTo) override { sent.push_back(code); }
  std::uint32_t DriveState() const override {
    std::lock_guard lock(mutex);
    return state;
  }
  int SpeedLevel() const override { return 1; }
  void SetSpeedLevel(int) override {}
  std::atomic<std::uint32_t> state{0};
  std::vector<int> sent;
  mutable std::mutex mutex;  // held by the drive control while it resets the ring
};

class FakeView : public AnalysisView {
 public:
  void BeginFrame() override { ++begins; }
  void EndFrame() override { ++ends; }
  void PrepareFrameSize(int w, int h) override { prepared.push_back({w, h}); }
  void ReleaseFrameSize() override { ++released; }
  void PaintBinaryImage(const std::uint8_t* image, int w, int h) override {
    ++binaryPaints;
    painted.assign(image, image + static_cast<std::size_t>(w) * h);
  }
  void DrawView(const std::uint8_t*, int, int) override { ++draws; }
  void DrawTargetMarker() override { ++targetMarkers; }
  void DrawBallRectangle() override { ++ballRects; }
  void DrawCourseRange() override { ++courseRanges; }
  bool DumpFrame(int, int, int number) override {
    dumps.push_back(number);
    return true;
  }
  int begins = 0, ends = 0, released = 0, binaryPaints = 0, draws = 0, targetMarkers = 0;
  int ballRects = 0, courseRanges = 0;
  std::vector<Point> prepared;
  std::vector<int> dumps;
  std::vector<std::uint8_t> painted;
};

class FakePublisher : public PositionPublisher {
 public:
  bool MovingAreaBoxRequested() const override { return box; }
  void PublishPosition(const std::array<std::int16_t, 4>& v) override { positions.push_back(v); }
  void PublishBall(const Rect& r) override { balls.push_back(r); }
  bool box = false;
  std::vector<std::array<std::int16_t, 4>> positions;
  std::vector<Rect> balls;
};

class FakeBall : public BallSearch {
 public:
  bool SearchFrame(const std::uint8_t*, int, int, Rect& r) override {
    ++searches;
    r = rect;
    return found;
  }
  bool found = false;
  Rect rect{};
  int searches = 0;
};

class FakeFollower : public TargetFollower {
 public:
  void FollowAfterFrame(int frameWidth) override { widths.push_back(frameWidth); }
  std::vector<int> widths;
};

// The driving thread's side: what stood when it was told of a frame.
class FakeListener : public FrameListener {
 public:
  FakeListener(const FakeView& view, const CarState& car) : view_(view), car_(car) {}
  void OnFrameAnalysed() override {
    drawsWhenTold.push_back(view_.draws);
    positionsWhenTold.push_back(car_.carPosition);
  }
  std::vector<int> drawsWhenTold;
  std::vector<Point> positionsWhenTold;

 private:
  const FakeView& view_;
  const CarState& car_;
};

class FrameAnalyserTest : public ::testing::Test {
 protected:
  FrameAnalyserTest() : analyser(car, engine) {
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    dir.Write("VIREN.ini", "[VIEW]\nSAMPLING_FRAME=100\n");
    engine.captureRunning = true;
    analyser.SetPeers({&view, &ball, &follower, &publisher, &drive, &listener});
    analyser.SetPositionLogPath(dir.File("debug_position.log"));
  }
  void Load(const std::string& option = "") {
    dir.Write("option.ini", option);
    ASSERT_EQ(analyser.LoadAnalysisSettings(settings), 1);
  }
  void Feed(std::vector<std::uint8_t> frame) {
    analyser.AnalyseFrame(frame.data(), frame.size(), kW, kH);
  }
  // Sets the car state and runs one heading update, as the analysis does.
  void Sample(Point p) {
    car.carPosition = p;
    analyser.UpdateHeading();
  }

  test::TestDir dir;
  Settings settings;
  CarState car;
  EngineState engine;
  FakeDrive drive;
  FakeView view;
  FakePublisher publisher;
  FakeBall ball;
  FakeFollower follower;
  FakeListener listener{view, car};
  CFrameAnalyser analyser;
};

TEST_F(FrameAnalyserTest, movingCarIsFoundAtTheCentreOfTheAreaItSweptFrameByFrame) {
  Load();
  drive.state = DRIVE_STATE_FORWARD;
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(view.prepared, (std::vector<Point>{{kW, kH}}));
  EXPECT_EQ(car.centroid.load(), (Point{-1, -1}));  // the first frame only primes
  EXPECT_EQ(engine.frameWidth, kW);

  // Right, down, left, up by four pixels a frame; the analysis sees the
  // rectangle swept between two frames, centred between the car's centres.
  const Point legs[] = {{4, 0}, {0, 4}, {-4, 0}, {0, -4}};
  const double headings[] = {0.0, std::atan2(1, 0), std::atan2(0, -1), std::atan2(-1, 0)};
  Point at{40, 60};
  for (int leg = 0; leg < 4; ++leg) {
    analyser.ResetPositionRing();  // as every new drive command does
    for (int step = 0; step < 6; ++step) {
      const Point before = at;
      at = Point{at.x + legs[leg].x, at.y + legs[leg].y};
      Feed(MakeFrame(at.x, at.y));
      const Point expected{(before.x + at.x) / 2 + kCarW / 2, (before.y + at.y) / 2 + kCarH / 2};
      ASSERT_EQ(car.carPosition.load(), expected) << "leg " << leg << " step " << step;
      EXPECT_EQ(car.carLayoutPosition.load(), (Point{expected.x * 2, expected.y * 2}));
      EXPECT_EQ(car.lostCountdown, 15);
      if (step >= 4) {
        EXPECT_NEAR(car.carDirection.load(), headings[leg], 1e-9) << leg;
      }
    }
  }
  EXPECT_EQ(view.draws, 25);
  EXPECT_EQ(view.begins, 25);
  EXPECT_EQ(view.ends, 25);
}

TEST_F(FrameAnalyserTest, carStandingStillIsNotFoundAndKeepsItsLastState) {
  Load();
  drive.state = DRIVE_STATE_FORWARD;
  Feed(MakeFrame(40, 60));
  Feed(MakeFrame(44, 60));
  const Point found = car.carPosition;
  car.carDirection = 1.0;
  Feed(MakeFrame(44, 60));
  EXPECT_EQ(car.centroid.load(), (Point{-1, -1}));
  EXPECT_EQ(car.carPosition.load(), found);
  EXPECT_EQ(car.carDirection, 1.0);
}

// A five-megapixel camera with the default level: a dark blue car on a light
// table, moved by 40 pixels. The threshold once grew past 255 from 2560
// pixels of width on and nothing was ever found.
TEST_F(FrameAnalyserTest, largeCameraFindsTheCarWithTheDefaultLevel) {
  Load();
  constexpr int w = 2592, h = 1944, carW = 160, carH = 100;
  auto frame = [&](int carX, int carY) {
    std::vector<std::uint8_t> f(static_cast<size_t>(w) * h * 3, 200);
    for (int y = carY; y < carY + carH; ++y)
      for (int x = carX; x < carX + carW; ++x) {
        std::uint8_t* p = &f[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
        p[0] = 160, p[1] = 30, p[2] = 30;
      }
    return f;
  };
  auto first = frame(1200, 900), second = frame(1240, 900);
  analyser.AnalyseFrame(first.data(), first.size(), w, h);
  analyser.AnalyseFrame(second.data(), second.size(), w, h);
  // The swept strips at both ends centre between the car's two centres.
  const Point found = car.carPosition;
  EXPECT_NEAR(found.x, 1220 + carW / 2, 3);
  EXPECT_NEAR(found.y, 900 + carH / 2, 3);
  EXPECT_EQ(car.lostCountdown, 15);
}

TEST_F(FrameAnalyserTest, lostCountdownReadsMinusOneAfterSixteenFramesWithoutTheCarWhileDriving) {
  Load();
  drive.state = DRIVE_STATE_FORWARD;
  Feed(MakeFrame(40, 60));
  Feed(MakeFrame(44, 60));
  ASSERT_EQ(car.lostCountdown, 15);
  for (int k = 1; k <= 16; ++k) Feed(MakeFrame(44, 60));
  EXPECT_EQ(car.lostCountdown, -1);
  drive.state = 0;  // stopped: the countdown stands
  for (int k = 0; k < 5; ++k) Feed(MakeFrame(44, 60));
  EXPECT_EQ(car.lostCountdown, -1);
  drive.state = DRIVE_STATE_REVERSE;
  engine.externalDisplay = true;  // a window of another program: no countdown either
  Feed(MakeFrame(44, 60));
  EXPECT_EQ(car.lostCountdown, -1);
}

TEST_F(FrameAnalyserTest, compareFrameAnalysesEveryNthFrameAndSignalsTheDrivingThread) {
  Load("[VIEW]\nCOMPARE_FRAME=3\n");
  Feed(MakeFrame(40, 60));  // primes
  for (int k = 1; k <= 9; ++k) Feed(MakeFrame(40 + 4 * k, 60));
  // Frames 3, 6 and 9; the reference is the frame analysed before: three
  // frames of movement.
  std::vector<Point> expected;
  for (int k : {3, 6, 9}) expected.push_back(Point{40 + 4 * k - 6 + kCarW / 2, 60 + kCarH / 2});
  EXPECT_EQ(listener.positionsWhenTold, expected);
}

// The driving thread steers from the car state: it hears of each analysed
// frame as soon as that is known, before the frame is drawn.
TEST_F(FrameAnalyserTest, listenerHearsOfEachAnalysedFrameBeforeItIsDrawn) {
  Load("[VIEW]\nCOMPARE_FRAME=2\n");
  for (int k = 0; k < 5; ++k) Feed(MakeFrame(40 + 4 * k, 60));
  // Frame 0 primes, frames 2 and 4 are analysed; each is told before its own drawing.
  EXPECT_EQ(listener.drawsWhenTold, (std::vector<int>{2, 4}));
}

TEST_F(FrameAnalyserTest, analysisStaysOutWhenCaptureStopsSimulationRunsOrTheEditorIsShown) {
  Load();
  engine.captureRunning = false;
  Feed(MakeFrame(40, 60));
  engine.captureRunning = true;
  engine.simulating = true;
  Feed(MakeFrame(40, 60));
  engine.simulating = false;
  engine.viewMode = VIEW_PROGRAM;
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(view.begins, 0);
  EXPECT_FALSE(analyser.framePrimed());
  engine.autoDriving = true;  // the editor shown while a program runs: analysed, not drawn
  Feed(MakeFrame(40, 60));
  Feed(MakeFrame(44, 60));
  EXPECT_EQ(view.begins, 2);
  EXPECT_EQ(view.draws, 0);
  EXPECT_EQ(car.carPosition.load(), (Point{42 + kCarW / 2, 60 + kCarH / 2}));
}

TEST_F(FrameAnalyserTest, releasedBuffersMakeTheNextFramePrimeAgainAndShortFramesAreIgnored) {
  Load();
  Feed(MakeFrame(40, 60));
  analyser.ReleaseFrameBuffers(false);
  EXPECT_EQ(view.released, 1);
  Feed(MakeFrame(44, 60));
  EXPECT_EQ(car.centroid.load(), (Point{-1, -1}));  // primed, not analysed
  std::vector<std::uint8_t> shortFrame = MakeFrame(48, 60);
  analyser.AnalyseFrame(shortFrame.data(), shortFrame.size() - 3, kW, kH);
  EXPECT_EQ(car.centroid.load(), (Point{-1, -1}));
  Feed(MakeFrame(48, 60));
  EXPECT_EQ(car.carPosition.load(), (Point{46 + kCarW / 2, 60 + kCarH / 2}));
  analyser.ReleaseFrameBuffers(true);  // shut-down: later frames are left alone
  Feed(MakeFrame(52, 60));
  EXPECT_EQ(car.carPosition.load(), (Point{46 + kCarW / 2, 60 + kCarH / 2}));
}

TEST_F(FrameAnalyserTest, steadyStateAllocatesNothingPerFrame) {
  Load("[VIEW]\nMARKER_CHECK=1\n");
  drive.state = DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT;
  engine.autoDriving = true;
  std::vector<std::vector<std::uint8_t>> frames;
  for (int k = 0; k < 40; ++k) frames.push_back(MakeFrame(40 + 4 * k, 60 + (k % 2) * 4));
  for (int k = 0; k < 3; ++k) analyser.AnalyseFrame(frames[k].data(), frames[k].size(), kW, kH);
  listener.drawsWhenTold.reserve(frames.size());  // the fake's own records
  listener.positionsWhenTold.reserve(frames.size());
  gAllocations = 0;
  gCountAllocations = true;
  for (int k = 3; k < 40; ++k) analyser.AnalyseFrame(frames[k].data(), frames[k].size(), kW, kH);
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0);
  EXPECT_GT(car.carPosition.load().x, 150);  // the frames were analysed
}

// The difference view is shown the difference before the erosion (a moving
// speck the erosion removes included), and the car is found as in the other
// views.
TEST_F(FrameAnalyserTest, differenceViewShowsTheImageBeforeErosionAndFindsTheCarAsElsewhere) {
  Load();
  engine.viewMode = VIEW_DIFFERENCE;
  const std::vector<std::uint8_t> first = MakeFrame(40, 60);
  std::vector<std::uint8_t> second = MakeFrame(44, 60);
  const std::size_t speck = 200 * kW + 250;  // memory row 200, column 250
  second[3 * speck + 1] = static_cast<std::uint8_t>(second[3 * speck + 1] + 100);
  std::vector<std::uint8_t> expected(static_cast<std::size_t>(kW) * kH);
  DifferenceTest(second.data(), first.data(), expected.size(), DifferenceThreshold(90, kW),
                 expected.data());
  Feed(first);
  Feed(second);
  EXPECT_EQ(view.binaryPaints, 1);
  EXPECT_EQ(view.painted, expected);
  EXPECT_EQ(view.painted[speck], 1);
  EXPECT_EQ(car.carPosition.load(), (Point{42 + kCarW / 2, 60 + kCarH / 2}));
}

TEST_F(FrameAnalyserTest, positionBlockCarriesTheStateBeforeThisFrameOrTheMovingAreaBox) {
  Load();
  engine.interfaceActive = true;
  car.carPosition = Point{7, 8};
  car.turnCount = -2;
  car.carDirection = 0.0;
  Feed(MakeFrame(40, 60));
  Feed(MakeFrame(44, 60));
  ASSERT_EQ(publisher.positions.size(), 1u);
  EXPECT_EQ(publisher.positions[0], (std::array<std::int16_t, 4>{7, 8, -2, 180}));
  publisher.box = true;
  Feed(MakeFrame(48, 60));
  ASSERT_EQ(publisher.positions.size(), 2u);
  // Swept area x 44..68, y 60..74, less the eroded rim.
  EXPECT_EQ(publisher.positions[1], (std::array<std::int16_t, 4>{45, 61, 67, 73}));
  engine.interfaceActive = false;
  Feed(MakeFrame(52, 60));
  EXPECT_EQ(publisher.positions.size(), 2u);
}

TEST_F(FrameAnalyserTest, markerHeadingPointsFromCarToMarkerAndFillsTheBlockDegrees) {
  Load("[VIEW]\nMARKER_CHECK=1\n[CONTROL]\nCONTROL_4WD=1\n");
  engine.control4WD = true;
  car.carPosition = Point{100, 100};
  car.markerPosition = Point{100, 80};
  analyser.UpdateHeading();
  EXPECT_NEAR(car.carDirection.load(), -1.5708, 1e-4);
  engine.interfaceActive = true;
  Feed(MakeFrame(40, 60));
  car.carPosition = Point{100, 100};
  Feed(MakeFrame(44, 60));
  ASSERT_EQ(publisher.positions.size(), 1u);
  EXPECT_EQ(publisher.positions[0][3], 89);
  // The car's checks are half red: the marker is found among them.
  EXPECT_NE(car.markerPosition.load(), (Point{100, 80}));
}

TEST_F(FrameAnalyserTest, turnCountFollowsTheHeadingAcrossTheBack) {
  Load("[VIEW]\nMARKER_CHECK=3\n");
  engine.controlRoboQ = true;
  car.carPosition = Point{0, 0};
  auto heading = [&](double angle) {
    car.markerPosition = Point{static_cast<int>(std::lround(100 * std::cos(angle))),
                               static_cast<int>(std::lround(100 * std::sin(angle)))};
    analyser.UpdateHeading();
  };
  heading(3.0);
  heading(-3.0);  // down-left to up-left: once round through the back
  EXPECT_EQ(car.turnCount, 1);
  heading(-1.0);
  heading(1.0);  // through the front: no count
  EXPECT_EQ(car.turnCount, 1);
  heading(3.0);
  heading(-3.0);
  EXPECT_EQ(car.turnCount, 2);
  heading(3.0);  // and back the other way
  EXPECT_EQ(car.turnCount, 1);
  analyser.ResetPositionRing();
  EXPECT_EQ(car.turnCountAtCommand, 1);
}

TEST_F(FrameAnalyserTest, trackHeadingNeedsFiveSamplesOrSevenAfterARewind) {
  Load();
  drive.state = DRIVE_STATE_FORWARD;
  car.carDirection = 2.0;
  for (int k = 0; k < 4; ++k) Sample({10 * k, 0});
  EXPECT_EQ(car.carDirection, 2.0);
  Sample({40, 10});
  EXPECT_NEAR(car.carDirection.load(), std::atan2(10, 40), 1e-12);

  analyser.RewindPositionRing();
  car.carDirection = 2.0;
  for (int k = 0; k < 6; ++k) Sample({0, 10 * k});
  EXPECT_EQ(car.carDirection, 2.0);
  EXPECT_EQ(analyser.ringCount(), 4);
  Sample({0, 60});
  // The oldest counted sample is the third after the rewind.
  EXPECT_NEAR(car.carDirection.load(), std::atan2(1, 0), 1e-12);
}

TEST_F(FrameAnalyserTest, reverseStraightDrivingFacesAwayFromTheMotion) {
  Load();
  drive.state = DRIVE_STATE_REVERSE;
  for (int k = 0; k < 5; ++k) Sample({100 - 2 * k - (k == 4 ? 2 : 0), 100});
  EXPECT_EQ(car.carDirection, 0.0);
  car.carDirection = 1.0;
  drive.state = 0;  // not moving: no sample, no change
  Sample({50, 50});
  EXPECT_EQ(car.carDirection, 1.0);
}

TEST_F(FrameAnalyserTest, steeringFitsTheCircleThroughThreeSamples) {
  Load("[DEBUG]\nLOG_POSITION=1\n");
  drive.state = DRIVE_STATE_FORWARD | DRIVE_STATE_LEFT;
  // Counter-clockwise on the screen around (200, 200), radius 50.
  const Point offsets[] = {{50, 0}, {48, -14}, {40, -30}, {30, -40}, {14, -48}};
  for (const Point& o : offsets) Sample({200 + o.x, 200 + o.y});
  const Point centre = car.turnCentre;
  EXPECT_NEAR(centre.x, 200, 2);
  EXPECT_NEAR(centre.y, 200, 2);
  EXPECT_NEAR(car.turnRadius, 50, 2);
  const Point p = car.carPosition;
  EXPECT_NEAR(car.carDirection.load(), std::atan2(p.y - centre.y, p.x - centre.x) - kHalfPi, 1e-9);
  EXPECT_EQ(
      dir.Read("debug_position.log"),
      "CarPosition=" + std::to_string(p.x) + "," + std::to_string(p.y) + "\nCarDirection=" +
          [&] {
            char b[32];
            std::snprintf(b, sizeof b, "%.2f", car.carDirection.load());
            return std::string(b);
          }() +
          "\n");
}

TEST_F(FrameAnalyserTest, steeringWithCollinearSamplesChangesNothing) {
  Load("[DEBUG]\nLOG_POSITION=1\n");
  drive.state = DRIVE_STATE_FORWARD | DRIVE_STATE_RIGHT;
  car.carDirection = 0.5;
  car.turnCentre = Point{1, 2};
  car.turnRadius = 3;
  for (int k = 0; k < 8; ++k) Sample({10 + 5 * k, 20 + 5 * k});
  EXPECT_EQ(car.carDirection, 0.5);
  EXPECT_EQ(car.turnCentre.load(), (Point{1, 2}));
  EXPECT_EQ(car.turnRadius, 3);
  EXPECT_FALSE(dir.Exists("debug_position.log"));
}

TEST_F(FrameAnalyserTest, snapshotTruncatesTheLogOnlyWhenLoggingIsOn) {
  Load();
  analyser.WritePositionSnapshot();
  EXPECT_FALSE(dir.Exists("debug_position.log"));
  Load("[DEBUG]\nLOG_POSITION=1\n");
  dir.Write("debug_position.log", "old lines\n");
  car.carPosition = Point{12, 34};
  car.carDirection = -1.5708;
  car.cheesePosition = Point{-1, 5};
  analyser.WritePositionSnapshot();
  EXPECT_EQ(dir.Read("debug_position.log"),
            "CarPosition=12,34\nCarDirection=-1.57\nCheesePosition=-1,5\n");
}

TEST_F(FrameAnalyserTest, convertPositionUsesTheFrameSizeAndSurvivesNoFrameYet) {
  Load();
  EXPECT_EQ(analyser.ConvertPosition({100, 50}, false), (Point{100, 50}));
  EXPECT_EQ(car.carLayoutPosition.load(), (Point{0, 0}));
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(analyser.ConvertPosition({161, 121}, false), (Point{322, 242}));
  EXPECT_EQ(analyser.ConvertPosition({321, 241}, true), (Point{160, 120}));
  EXPECT_EQ(ConvertPosition({100, 100}, false, 0, 240), (Point{100, 100}));
}

TEST_F(FrameAnalyserTest, foundBallBecomesTheTargetInViewCoordinates) {
  Load();
  engine.ballMode = BallMode::Recognise;
  engine.interfaceActive = true;
  ball.found = true;
  ball.rect = Rect{100, 50, 140, 90};
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(car.cheesePosition.load(), (Point{120, 70}));
  EXPECT_TRUE(car.targetActive);
  EXPECT_EQ(car.ballRect.load(), ball.rect);
  EXPECT_EQ(publisher.balls.size(), 1u);
  EXPECT_EQ(view.ballRects, 1);
  engine.viewMode = VIEW_LAYOUT;
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(car.cheesePosition.load(), (Point{240, 140}));
}

// The analysis draws the cheese or the ball and leaves the steering to the
// driving program, with the width the ranges scale by.
TEST_F(FrameAnalyserTest, targetCheckDrawsTheTargetThenHandsTheFrameToTheFollower) {
  Load();
  car.cheesePosition = Point{30, 40};
  Feed(MakeFrame(40, 60));  // neither following mode: nothing
  engine.targetFollowing = true;
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(view.targetMarkers, 1);
  engine.ballMode = BallMode::Follow;
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(view.ballRects, 1);
  EXPECT_EQ(follower.widths, (std::vector<int>{kW, kW}));
  car.cheesePosition = Point{-1, 0};  // no target
  Feed(MakeFrame(40, 60));
  EXPECT_EQ(follower.widths.size(), 2u);
  EXPECT_EQ(view.targetMarkers + view.ballRects, 2);
}

TEST_F(FrameAnalyserTest, resettingTheRingFromOtherThreadsIsSafe) {
  Load();
  drive.state = DRIVE_STATE_FORWARD | DRIVE_STATE_RIGHT;
  std::atomic<bool> stop{false};
  // The drive control resets the ring while holding its own lock.
  std::thread sender([&] {
    while (!stop) {
      std::lock_guard lock(drive.mutex);
      analyser.ResetPositionRing();
      analyser.RewindPositionRing();
    }
  });
  for (int k = 0; k < 3000; ++k) Sample({200 + (k * 7) % 50, 100 + (k * 13) % 40});
  stop = true;
  sender.join();
  EXPECT_LE(analyser.ringCount(), 100);
  EXPECT_GE(analyser.ringCount(), -2);
}

}  // namespace
}  // namespace viren
