// The sample programs of sample/program: the committed files are the ones
// built here (VIREN_WRITE_SAMPLES=1 rewrites them), and each runs well on
// the simulated car.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "SimRig.h"
#include "core/DriveTypes.h"
#include "program/ProgramFile.h"
#include "settings/Settings.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::ProgramBuilder;

// A figure eight: a full circle to the left, then one to the right, for ever.
ProgramBuilder FigureEight() {
  ProgramBuilder p;
  p.Add(EVENT_SOUND, SOUND_REPEAT, 1);
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 0);
  const int left = p.Add(EVENT_HANDLE, HANDLE_LEFT, 360, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, 16, 0);
  const int right = p.Add(EVENT_HANDLE, HANDLE_RIGHT, 360, 0);
  const int straight = p.Add(EVENT_CAR, CAR_FORWARD, 16, 0);
  p.Link(straight, left);
  (void)right;
  return p;
}

// Shuttles across the course range, forward with left lock and back with
// right lock, so that the car turns a little further on every leg and sweeps
// the whole range.
ProgramBuilder CourseLap() {
  ProgramBuilder p;
  const int first = p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_POSITION, POSITION_LEAVE_COURSE);
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 0);
  p.Add(EVENT_CAR, CAR_REVERSE, 24);
  const int back = p.Add(EVENT_POSITION, POSITION_LEAVE_COURSE);
  p.Link(back, first);
  return p;
}

// Backs away from the centre, drives back to it, and stops.
ProgramBuilder GoToCentre() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_REVERSE, 150);
  p.Add(EVENT_POSITION, POSITION_CAMERA_CENTRE);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_TIMER, 0, 1, 0);
  p.Add(EVENT_END);
  return p;
}

// A slalom of four passes, timed: half a second left, half a second right.
ProgramBuilder RepeatTimer() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0, 1);  // with turbo
  const int left = p.Add(EVENT_HANDLE, HANDLE_LEFT, 0);
  p.Add(EVENT_TIMER, 0, 0, 5);
  p.Add(EVENT_HANDLE, HANDLE_RIGHT, 0);
  p.Add(EVENT_TIMER, 0, 0, 5);
  const int repeat = p.Add(EVENT_REPEAT, 0, 4);
  p.Link(repeat, left);
  p.Add(EVENT_HANDLE, HANDLE_STRAIGHT, 0);
  p.Add(EVENT_CAR, CAR_STOP);
  p.Add(EVENT_SOUND, SOUND_ONCE, 1);
  p.Add(EVENT_END);
  return p;
}

// Runs away from the ball, then ends ball recognition and stops.
ProgramBuilder BallAvoid() {
  ProgramBuilder p;
  p.Add(EVENT_CAR, CAR_FORWARD, 0);
  p.Add(EVENT_BALL, BALL_AVOID, 150, 1);
  p.Add(EVENT_BALL, BALL_END);
  p.Add(EVENT_TIMER, 0, 2, 0);
  p.Add(EVENT_END);
  return p;
}

const std::map<std::string, std::function<ProgramBuilder()>>& Samples() {
  static const std::map<std::string, std::function<ProgramBuilder()>> samples = {
      {"figure8.ntc", FigureEight},      {"lap.ntc", CourseLap},        {"centre.ntc", GoToCentre},
      {"repeat_timer.ntc", RepeatTimer}, {"ball_avoid.ntc", BallAvoid},
  };
  return samples;
}

std::string SampleFolder() {
  return test::SourceDir() + "/data/sample/program";
}

TEST(SamplePrograms, committedFilesAreTheBuiltOnes) {
  const bool write = std::getenv("VIREN_WRITE_SAMPLES") != nullptr;
  std::set<int> kinds;
  for (const auto& [name, build] : Samples()) {
    const std::string bytes = build().FileBytes();
    const std::string path = SampleFolder() + "/" + name;
    if (write) std::ofstream(path, std::ios::binary) << bytes;
    std::ifstream in(path, std::ios::binary);
    const std::string stored{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(stored, bytes) << name << " differs; VIREN_WRITE_SAMPLES=1 rewrites it";
    ProgramRecords records;
    int count = 0;
    ASSERT_EQ(DecodeProgramFile(stored, records, count), ProgramReadStatus::Ok) << name;
    for (int i = 0; i < count; ++i) kinds.insert(records[i].kind);
    // Saved files are compact: compaction leaves them as they are.
    ProgramRecords compacted = records;
    ASSERT_EQ(CompactProgram(compacted.data(), count), count) << name;
    EXPECT_EQ(0, std::memcmp(compacted.data(), records.data(), count * sizeof(EventRecord)))
        << name;
  }
  EXPECT_EQ(kinds.size(), 9u) << "every command kind appears in some sample";
}

class SampleRun : public ::testing::Test {
 protected:
  SampleRun() : settings(&ui) {
    settings.SetPaths(test::SourceDir() + "/data", dir.File("VIREN.ini"), dir.File("option.ini"));
  }
  std::vector<TrackRow> Run(const std::string& name, std::int64_t ms) {
    SimulatedRunOptions options;
    options.programFile = name;
    options.durationMs = ms;
    std::vector<TrackRow> track;
    EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_OK);
    EXPECT_TRUE(ui.messages().empty());
    return track;
  }
  test::TestDir dir;  // empty settings files: every value at its default
  test::FakeUiHost ui;
  Settings settings;
};

TEST_F(SampleRun, figureEightTurnsBothWaysAndComesBackToItsStart) {
  const auto track = Run("figure8.ntc", 60000);
  ASSERT_GT(track.size(), 5000u);
  const ProgramRecords records = [] {
    ProgramRecords r;
    int count = 0;
    DecodeProgramFile(FigureEight().FileBytes(), r, count);
    return r;
  }();
  // Heading change over each stretch of one steering command.
  std::vector<double> lefts, rights;
  bool returned = false;
  size_t begin = 0;
  for (size_t i = 1; i <= track.size(); ++i) {
    if (i < track.size() && track[i].command == track[begin].command) continue;
    const int c = track[begin].command;
    const double change = test::Unwrapped(track[i - 1]) - test::Unwrapped(track[begin]);
    if (c > 0 && records[c].kind == EVENT_HANDLE) {
      if (i == track.size()) break;  // cut off by the end of the run
      (records[c].option == HANDLE_LEFT ? lefts : rights).push_back(change);
    }
    begin = i;
  }
  for (const TrackRow& row : track) {
    const std::int64_t dx = row.position.x - 320, dy = row.position.y - 240;
    if (row.tMs > 5000 && dx * dx + dy * dy < 40 * 40) returned = true;
  }
  ASSERT_GE(lefts.size(), 5u);
  ASSERT_GE(rights.size(), 5u);
  for (double change : lefts) EXPECT_LT(change, -kTwoPi + 0.2);  // a full circle to the left
  for (double change : rights) EXPECT_GT(change, kTwoPi - 0.2);  // and one to the right
  EXPECT_TRUE(returned) << "the eight passes its crossing point again";
}

TEST_F(SampleRun, lapStaysInTheCourseRangeAndSweepsAllDirections) {
  const auto track = Run("lap.ntc", 60000);
  double low = 1e9, high = -1e9;
  for (const TrackRow& row : track) {
    EXPECT_GE(row.position.x, 160 - 12);
    EXPECT_LE(row.position.x, 480 + 12);
    EXPECT_GE(row.position.y, 120 - 12);
    EXPECT_LE(row.position.y, 360 + 12);
    low = std::min(low, test::Unwrapped(row));
    high = std::max(high, test::Unwrapped(row));
  }
  EXPECT_GT(high - low, kTwoPi);
}

TEST_F(SampleRun, goToCentreEndsNearTheCentreAndStops) {
  const auto track = Run("centre.ntc", 20000);
  const TrackRow& last = track.back();
  EXPECT_EQ(last.command, -1);  // the program has ended
  EXPECT_EQ(last.driveState & DRIVE_STATE_MOVING, 0u);
  const std::int64_t dx = last.position.x - 320, dy = last.position.y - 240;
  EXPECT_LT(dx * dx + dy * dy, 40 * 40);
  int minX = 1000;
  for (const TrackRow& row : track) minX = std::min(minX, row.position.x);
  EXPECT_LE(minX, 320 - 150);
}

TEST_F(SampleRun, repeatTimerSlalomsFourTimesThenStops) {
  const auto track = Run("repeat_timer.ntc", 10000);
  int lefts = 0;
  std::uint32_t previous = 0;
  std::int64_t endedAt = -1;
  for (const TrackRow& row : track) {
    if ((row.driveState & DRIVE_STATE_LEFT) && !(previous & DRIVE_STATE_LEFT)) ++lefts;
    if (endedAt < 0 && row.command == -1 && row.tMs > 0) endedAt = row.tMs;
    previous = row.driveState;
  }
  EXPECT_EQ(lefts, 4);
  EXPECT_NEAR(endedAt, 4000, 120);
  EXPECT_EQ(track.back().driveState, 0u);
}

TEST_F(SampleRun, ballAvoidRunsAwayFromTheBall) {
  const auto track = Run("ball_avoid.ntc", 10000);
  const TrackRow& last = track.back();
  const std::int64_t dx = last.position.x - 160, dy = last.position.y - 120;
  EXPECT_GT(dx * dx + dy * dy, 300 * 300);  // beyond twice the avoid distance
  EXPECT_EQ(last.command, -1);
}

TEST_F(SampleRun, twoRunsOnTheVirtualClockGiveTheSameTrack) {
  const auto first = Run("figure8.ntc", 30000);
  const auto second = Run("figure8.ntc", 30000);
  ASSERT_EQ(first.size(), second.size());
  std::string a, b;
  for (const TrackRow& row : first) a += FormatTrackRow(row) + "\n";
  for (const TrackRow& row : second) b += FormatTrackRow(row) + "\n";
  EXPECT_EQ(a, b);
  EXPECT_GE(first.back().tMs, 29990);
}

TEST(TrackRowTest, formatsTheColumnsOfTheTrackFile) {
  TrackRow row;
  row.tMs = 1230;
  row.position = Point{424, -3};
  row.direction = -1.5707963;
  row.turnCount = -2;
  row.driveState = 0x12;
  row.command = 4;
  EXPECT_EQ(FormatTrackRow(row), "1230,424,-3,-1.57080,-2,18,4");
  EXPECT_EQ(kTrackHeader, "t_ms,x,y,direction,turn_count,drive_state,command");
}

TEST_F(SampleRun, unreadableProgramIsReportedAndNothingRuns) {
  SimulatedRunOptions options;
  options.programFile = dir.File("missing.ntc");
  std::vector<TrackRow> track;
  EXPECT_EQ(RunProgramOnSimulatedCar(settings, ui, options, track), RUN_PROGRAM_UNREADABLE);
  EXPECT_EQ(ui.messageIds(), std::vector<int>{149});
  EXPECT_TRUE(track.empty());
}

}  // namespace
}  // namespace viren
