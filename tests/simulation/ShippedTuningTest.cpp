// The simulated car with the shipped VIREN.ini tuning behaves like a toy car
// on the table: it reaches points anywhere in the course range, a quarter
// turn ends near a quarter turn, and it turns inside the layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "SimRig.h"
#include "core/DriveTypes.h"
#include "settings/Settings.h"
#include "simulation/SimulatedRun.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::ProgramBuilder;

class ShippedTuning : public ::testing::Test {
 protected:
  ShippedTuning() : settings(&ui) {
    setenv("VIREN_AUDIO_SINK", "fakesink sync=true", 0);
    const std::string data = test::SourceDir() + "/data";
    settings.SetPaths(data, data + "/VIREN.ini", dir.File("option.ini"));
  }
  std::vector<TrackRow> Run(const ProgramBuilder& program, std::int64_t ms) {
    dir.Write("p.ntc", program.FileBytes());
    SimulatedRunOptions options;
    options.programFile = dir.File("p.ntc");
    options.durationMs = ms;
    std::vector<TrackRow> track;
    EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_OK);
    EXPECT_TRUE(ui.messages().empty());
    return track;
  }
  test::TestDir dir;
  test::FakeUiHost ui;
  Settings settings;
};

// From the centre, heading right, to every point of a 40 px grid over the
// course range (160..480 x 120..360): ahead, behind, beside. Left out are
// the start itself and the points inside the car's two turning circles there
// (radius 30 px, centres 30 px to either side): a car that only drives
// forward and steers toward its target circles round those, on the table as
// here.
TEST_F(ShippedTuning, goToPointReachesPointsAcrossTheCourseRange) {
  constexpr int kRadius = 30;
  int reached = 0;
  for (int x = 160; x <= 480; x += 40) {
    for (int y = 120; y <= 360; y += 40) {
      const auto inside = [&](int cy) {
        return (x - 320) * (x - 320) + (y - cy) * (y - cy) < kRadius * kRadius;
      };
      const bool start = x == 320 && y == 240;
      if (start || inside(240 - kRadius) || inside(240 + kRadius)) continue;
      ProgramBuilder p;
      const int go = p.Add(EVENT_POSITION, POSITION_POINT, x, y);
      p.Add(EVENT_CAR, CAR_STOP);
      p.Add(EVENT_END);
      const auto track = Run(p, 20000);
      ASSERT_FALSE(track.empty());
      const TrackRow& last = track.back();
      EXPECT_EQ(last.command, -1) << "(" << x << ", " << y << ") not reached in 20 s";
      const std::int64_t dx = last.position.x - x, dy = last.position.y - y;
      // Reached within POSITION_RANGE (32 px), plus the stopping step.
      EXPECT_LT(dx * dx + dy * dy, 36 * 36)
          << "(" << x << ", " << y << ") ends at " << last.position.x << ", " << last.position.y;
      // Well before the time is up: no long detours.
      const auto going = std::find_if(track.begin(), track.end(),
                                      [&](const TrackRow& r) { return r.command == go; });
      const auto arrived =
          std::find_if(going, track.end(), [&](const TrackRow& r) { return r.command != go; });
      ASSERT_NE(arrived, track.end());
      EXPECT_LT(arrived->tMs, 6000) << "(" << x << ", " << y << ")";
      for (const TrackRow& row : track) {
        ASSERT_TRUE(row.position.x >= 0 && row.position.x < 640 && row.position.y >= 0 &&
                    row.position.y < 480)
            << "(" << x << ", " << y << ") leaves the layout at " << row.tMs << " ms";
      }
      ++reached;
    }
  }
  EXPECT_GE(reached, 50);
}

// A quarter turn each way, forward and back: the heading the frame analysis
// would report ends near 90 degrees from where it started, and the car stays
// within two car lengths of its start.
TEST_F(ShippedTuning, quarterTurnEndsNearAQuarterTurn) {
  struct Case {
    int lock;
    int gear;
    double sign;  // the heading grows clockwise on the screen
  };
  const Case cases[] = {{HANDLE_LEFT, CAR_FORWARD, -1},
                        {HANDLE_RIGHT, CAR_FORWARD, +1},
                        {HANDLE_LEFT, CAR_REVERSE, +1},
                        {HANDLE_RIGHT, CAR_REVERSE, -1}};
  for (const Case& c : cases) {
    ProgramBuilder p;
    p.Add(EVENT_CAR, c.gear, 60, 0);  // a straight run first: the heading is known
    p.Add(EVENT_CAR, c.gear, 0, 0);
    const int turn = p.Add(EVENT_HANDLE, c.lock, 90, 0);  // straightens when turned
    p.Add(EVENT_CAR, CAR_STOP);
    p.Add(EVENT_END);
    const auto track = Run(p, 10000);
    ASSERT_FALSE(track.empty());
    const auto start = std::find_if(track.begin(), track.end(),
                                    [&](const TrackRow& r) { return r.command == turn; });
    ASSERT_NE(start, track.end());
    const TrackRow& last = track.back();
    EXPECT_EQ(last.command, -1);
    const double turned = test::Unwrapped(last) - test::Unwrapped(*start);
    EXPECT_NEAR(turned, c.sign * kHalfPi, 5 * kPi / 180) << "lock " << c.lock << " gear " << c.gear;
    const std::int64_t dx = last.position.x - start->position.x;
    const std::int64_t dy = last.position.y - start->position.y;
    EXPECT_LT(dx * dx + dy * dy, 120 * 120) << "lock " << c.lock << " gear " << c.gear;
  }
}

// Full lock for a whole circle stays within the course range: the turning
// circle is small beside the layout, as a toy car's is on the table.
TEST_F(ShippedTuning, fullCircleOnFullLockFitsInTheCourseRange) {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_TIMER, 0, 4, 0);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_END);
  const auto track = Run(p, 6000);
  int minX = 1 << 30, maxX = -minX, minY = minX, maxY = -minX;
  for (const TrackRow& row : track) {
    minX = std::min(minX, row.position.x);
    maxX = std::max(maxX, row.position.x);
    minY = std::min(minY, row.position.y);
    maxY = std::max(maxY, row.position.y);
  }
  EXPECT_GE(minX, 160);
  EXPECT_LE(maxX, 480);
  EXPECT_GE(minY, 120);
  EXPECT_LE(maxY, 360);
  // ... and it is a real circle, not a spin on the spot: two to five car lengths across.
  EXPECT_GE(maxY - minY, 60);
  EXPECT_LE(maxY - minY, 150);
}

}  // namespace
}  // namespace viren
